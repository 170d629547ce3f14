#pragma once

#include "Arealis/Point.h"

#include <bit>
#include <cstdint>

namespace Arealis::Detail
{

// Hash of a position that agrees with Point's equality: both zeros hash alike. Grid points
// differ mostly in the low bits of their mantissas, so every bit of both coordinates is
// multiplied and folded into the bits that choose a slot.
inline std::uint64_t HashOfPosition(const Point& position) noexcept
{
    const auto bitsOf = [](double value)
    { return std::bit_cast<std::uint64_t>(value == 0.0 ? 0.0 : value); };
    std::uint64_t h = bitsOf(position.X) * 0x9E3779B97F4A7C15ULL;
    h ^= std::rotl(bitsOf(position.Y), 29) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 31;
    h *= 0xD6E8FEB86659FD93ULL;
    h ^= h >> 32;
    return h;
}

} // namespace Arealis::Detail
