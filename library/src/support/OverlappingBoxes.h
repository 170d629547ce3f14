#pragma once

#include "Arealis/Rectangle.h"
#include "support/LinearBuckets.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Arealis::Detail
{

// Boxes cut into horizontal strips, each strip's boxes in order of their left sides, for
// finding the pairs of boxes that overlap. A sweep over the whole height compares every box
// with every box beside it, however far above or below: for the hundreds of thousands of
// long, thin pieces of an overlay of spiky polygons that was hundreds of millions of
// comparisons. Strips about twice as high as the median box leave each box beside few others.
class BoxStrips
{
public:
    // Boxes without area (or with a coordinate that is not a number) take part in no strip.
    explicit BoxStrips(std::span<const Rectangle> boxes);

    std::size_t Count() const noexcept { return m_rowOf.Count(); }
    std::size_t StripOf(double y) const noexcept { return m_rowOf(y); }
    // The boxes of strip s, by their left sides (equal sides by number).
    std::span<const std::uint32_t> BoxesOf(std::size_t s) const noexcept
    {
        return {m_entries.data() + m_starts[s], m_entries.data() + m_starts[s + 1]};
    }

private:
    LinearBuckets m_rowOf{0.0, 0.0, 1};
    // The boxes of strip s are m_entries[m_starts[s]] .. m_entries[m_starts[s + 1] - 1].
    std::vector<std::uint32_t> m_starts;
    std::vector<std::uint32_t> m_entries;
};

// Calls visit(a, b), a < b, for every pair of boxes that overlap with some area (each one's
// interior meets the other's), in no particular order, until visit returns false; returns
// whether it saw them all. Each pair is visited once, in the strip of the higher of the two
// bottoms, which lies in the strips of both.
template <typename Visit>
bool VisitOverlappingBoxPairs(std::span<const Rectangle> boxes, Visit visit)
{
    if (boxes.size() < 2)
    {
        return true;
    }
    const BoxStrips strips(boxes);
    for (std::size_t s = 0; s < strips.Count(); ++s)
    {
        const std::span<const std::uint32_t> inStrip = strips.BoxesOf(s);
        for (std::size_t i = 0; i < inStrip.size(); ++i)
        {
            const Rectangle& left = boxes[inStrip[i]];
            for (std::size_t j = i + 1; j < inStrip.size() && boxes[inStrip[j]].MinX < left.MaxX;
                 ++j)
            {
                // The right box starts at or after the left one's left side and has width, so
                // the two overlap across X.
                const Rectangle& right = boxes[inStrip[j]];
                if (right.MaxY > left.MinY && right.MinY < left.MaxY &&
                    strips.StripOf(std::max(left.MinY, right.MinY)) == s &&
                    !visit(std::min(inStrip[i], inStrip[j]), std::max(inStrip[i], inStrip[j])))
                {
                    return false;
                }
            }
        }
    }
    return true;
}

} // namespace Arealis::Detail
