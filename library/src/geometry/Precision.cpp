#include "Arealis/Precision.h"

#include "Exceptions/ArgumentException.h"
#include "Exceptions/Exception.h"

#include <cmath>

namespace Arealis
{

namespace
{
constexpr const char* Unit = "Precision";
} // namespace

namespace Detail
{
thread_local constinit Precision t_currentPrecision;
} // namespace Detail

void CheckPrecision(const Precision& precision)
{
    const auto isPositive = [](double value) { return std::isfinite(value) && value > 0.0; };
    if (!isPositive(precision.GridStep))
    {
        throw Exceptions::ArgumentException("The node grid step is not a positive finite number.",
                                            Exceptions::MakeLocation(Unit, __LINE__));
    }
    if (!isPositive(precision.Tolerance))
    {
        throw Exceptions::ArgumentException("The tolerance is not a positive finite number.",
                                            Exceptions::MakeLocation(Unit, __LINE__));
    }
    if (precision.Tolerance < precision.GridStep)
    {
        throw Exceptions::ArgumentException("The tolerance is smaller than the node grid step.",
                                            Exceptions::MakeLocation(Unit, __LINE__));
    }
}

} // namespace Arealis
