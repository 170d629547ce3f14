#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace Arealis::Detail
{

// Buckets for values from low to high by a linear map of the value: a smaller value never
// lands in a later bucket, and rounding at the top is clamped into the last bucket. Without a
// width to spread over, or with one too wide or too narrow to scale, every value lands in the
// first bucket. Sorting by bucket first leaves a pass or two of work for values spread over
// their range, however many there are.
class LinearBuckets
{
public:
    LinearBuckets(double low, double high, std::size_t count) noexcept
        : m_low(low), m_count(std::max<std::size_t>(1, count))
    {
        const double width = high - low;
        const double scale = static_cast<double>(m_count) / width;
        m_scale = width > 0.0 && std::isfinite(width) && std::isfinite(scale) ? scale : 0.0;
    }

    std::size_t Count() const noexcept { return m_count; }
    // Whether the values are spread over the buckets at all.
    bool Spreads() const noexcept { return m_scale > 0.0; }

    // The bucket of a value from low to high.
    std::size_t operator()(double x) const noexcept
    {
        if (m_scale == 0.0)
        {
            return 0;
        }
        return std::min(static_cast<std::size_t>((x - m_low) * m_scale), m_count - 1);
    }

private:
    double m_low;
    double m_scale = 0.0;
    std::size_t m_count;
};

// Turns the number of values of each bucket into the place where the bucket starts; placing
// each value at its bucket's place and advancing it leaves there where the bucket ends.
inline void CountsToStarts(std::span<std::uint32_t> counts) noexcept
{
    std::uint32_t start = 0;
    for (std::uint32_t& count : counts)
    {
        const std::uint32_t size = count;
        count = start;
        start += size;
    }
}

} // namespace Arealis::Detail
