#pragma once

#include "Arealis/Precision.h"

#include <optional>

namespace Formats
{

// The node grid and tolerance a user asked for; what is not given comes from the defaults,
// which for a source in longitude and latitude (a geographic reference system) are scaled
// to degrees. The tool, the Python package and Orvista choose a source's precision by it.
struct PrecisionChoice
{
    std::optional<double> Grid;
    std::optional<double> Tolerance;

    static PrecisionChoice Exactly(const Arealis::Precision& precision)
    {
        return {precision.GridStep, precision.Tolerance};
    }
    // Throws std::runtime_error when the result has a tolerance below its grid step.
    Arealis::Precision For(bool geographic) const;
    // Whether a source of that kind takes a default scaled to degrees.
    bool TakesDegreeDefaults(bool geographic) const
    {
        return geographic && (!Grid || !Tolerance);
    }
};

} // namespace Formats
