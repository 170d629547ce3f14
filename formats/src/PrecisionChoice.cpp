#include "Formats/PrecisionChoice.h"

#include <sstream>
#include <stdexcept>

namespace Formats
{

Arealis::Precision PrecisionChoice::For(bool geographic) const
{
    const Arealis::Precision defaults =
        geographic ? Arealis::Precision::Geographic() : Arealis::Precision{};
    const Arealis::Precision chosen{Grid.value_or(defaults.GridStep),
                                    Tolerance.value_or(defaults.Tolerance)};
    if (chosen.Tolerance < chosen.GridStep)
    {
        std::ostringstream text;
        text << "the tolerance " << chosen.Tolerance << " is smaller than the node grid step "
             << chosen.GridStep << "; the tolerance must be at least the grid step";
        throw std::runtime_error(text.str());
    }
    return chosen;
}

} // namespace Formats
