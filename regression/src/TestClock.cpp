#include "Regression/TestClock.h"

#include <chrono>

namespace Arealis::Regression
{

std::uint32_t TickCount() noexcept
{
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

} // namespace Arealis::Regression
