#pragma once

#include <cstdint>

namespace Orvista
{

// An opaque RGB colour.
struct Colour
{
    std::uint8_t R = 0;
    std::uint8_t G = 0;
    std::uint8_t B = 0;

    friend bool operator==(const Colour&, const Colour&) = default;
};

inline constexpr Colour White{255, 255, 255};
inline constexpr Colour Red{255, 0, 0};

// The mask raster operation's result: destination AND source, channel by channel.
constexpr Colour operator&(Colour a, Colour b)
{
    return {static_cast<std::uint8_t>(a.R & b.R), static_cast<std::uint8_t>(a.G & b.G),
            static_cast<std::uint8_t>(a.B & b.B)};
}

} // namespace Orvista
