#pragma once

#include <cstdint>

namespace Arealis::Regression
{

// Milliseconds of a steady clock, wrapping like a 32-bit tick counter; differences taken as
// unsigned values stay right across a wrap.
std::uint32_t TickCount() noexcept;

} // namespace Arealis::Regression
