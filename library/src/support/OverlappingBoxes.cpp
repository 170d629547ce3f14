#include "support/OverlappingBoxes.h"

#include <cmath>

namespace Arealis::Detail
{

namespace
{

// Below this many boxes one strip does: the median and the counting cost more than they save.
constexpr std::size_t StripsFrom = 64;
// A box is placed in every strip it reaches; the strips are made higher until the places are
// at most this many per box, so that a few tall boxes among many short ones, or boxes all as
// tall as the whole, cannot make the strips hold far more than the boxes.
constexpr std::size_t PlacesPerBox = 4;

bool HasArea(const Rectangle& box) noexcept
{
    return box.MinX < box.MaxX && box.MinY < box.MaxY;
}

double MedianHeight(std::span<const Rectangle> boxes, const std::vector<std::uint32_t>& kept)
{
    std::vector<double> heights;
    heights.reserve(kept.size());
    for (const std::uint32_t b : kept)
    {
        heights.push_back(boxes[b].Height());
    }
    const auto middle = heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2);
    std::nth_element(heights.begin(), middle, heights.end());
    return *middle;
}

std::size_t CountPlaces(std::span<const Rectangle> boxes, const std::vector<std::uint32_t>& kept,
                        const LinearBuckets& rowOf)
{
    std::size_t places = 0;
    for (const std::uint32_t b : kept)
    {
        places += rowOf(boxes[b].MaxY) - rowOf(boxes[b].MinY) + 1;
    }
    return places;
}

} // namespace

BoxStrips::BoxStrips(std::span<const Rectangle> boxes)
{
    std::vector<std::uint32_t> kept;
    kept.reserve(boxes.size());
    double low = INFINITY;
    double high = -INFINITY;
    for (std::size_t b = 0; b < boxes.size(); ++b)
    {
        if (HasArea(boxes[b]))
        {
            kept.push_back(static_cast<std::uint32_t>(b));
            low = std::min(low, boxes[b].MinY);
            high = std::max(high, boxes[b].MaxY);
        }
    }
    std::size_t count = 1;
    if (kept.size() >= StripsFrom)
    {
        const double strips = (high - low) / (2.0 * MedianHeight(boxes, kept));
        count = strips >= 1.0 && strips < static_cast<double>(kept.size())
                    ? static_cast<std::size_t>(strips)
                    : (strips >= 1.0 ? kept.size() : 1);
    }
    m_rowOf = LinearBuckets(low, high, count);
    while (m_rowOf.Count() > 1 && CountPlaces(boxes, kept, m_rowOf) > PlacesPerBox * kept.size())
    {
        m_rowOf = LinearBuckets(low, high, m_rowOf.Count() / 2);
    }

    m_starts.assign(m_rowOf.Count() + 1, 0);
    for (const std::uint32_t b : kept)
    {
        for (std::size_t s = m_rowOf(boxes[b].MinY); s <= m_rowOf(boxes[b].MaxY); ++s)
        {
            ++m_starts[s + 1];
        }
    }
    for (std::size_t s = 1; s < m_starts.size(); ++s)
    {
        m_starts[s] += m_starts[s - 1];
    }
    m_entries.resize(m_starts.back());
    std::vector<std::uint32_t> next(m_starts.begin(), m_starts.end() - 1);
    for (const std::uint32_t b : kept)
    {
        for (std::size_t s = m_rowOf(boxes[b].MinY); s <= m_rowOf(boxes[b].MaxY); ++s)
        {
            m_entries[next[s]++] = b;
        }
    }
    for (std::size_t s = 0; s + 1 < m_starts.size(); ++s)
    {
        std::sort(m_entries.begin() + m_starts[s], m_entries.begin() + m_starts[s + 1],
                  [&](std::uint32_t a, std::uint32_t b) {
                      return boxes[a].MinX < boxes[b].MinX ||
                             (boxes[a].MinX == boxes[b].MinX && a < b);
                  });
    }
}

} // namespace Arealis::Detail
