#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace Arealis::ByteOrder
{

// Shapefiles mix byte orders within one header; every field is assembled byte by byte so the
// reader does not depend on the host's order.
inline std::int32_t BigEndianInt32(const unsigned char* bytes) noexcept
{
    const std::uint32_t value = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    return static_cast<std::int32_t>(value);
}

inline std::int32_t LittleEndianInt32(const unsigned char* bytes) noexcept
{
    const std::uint32_t value = (std::uint32_t{bytes[3]} << 24) | (std::uint32_t{bytes[2]} << 16) |
                                (std::uint32_t{bytes[1]} << 8) | std::uint32_t{bytes[0]};
    return static_cast<std::int32_t>(value);
}

inline double LittleEndianDouble(const unsigned char* bytes) noexcept
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
    {
        value = (value << 8) | std::uint64_t{bytes[i]};
    }
    return std::bit_cast<double>(value);
}

} // namespace Arealis::ByteOrder
