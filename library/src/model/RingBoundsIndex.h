#pragma once

// The bounds of the rings of a committed polygon of many rings, indexed.

#include "Arealis/Rectangle.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Arealis
{
class Polygon;
class Ring;
} // namespace Arealis

namespace Arealis::Detail
{

// The rings of a polygon in its ring order with their bounds, the polygon's bounds and node
// count, and a hierarchy of the ring bounds. A union that puts thousands of small pieces into
// one large polygon leaves that polygon to be tested against each of its small neighbours;
// each test read every ring for the polygon's bounds and for the rings near the neighbour,
// quadratic in the count. The record is kept with a committed polygon (which cannot change
// without being taken out of its layer's index, which drops the record) from the first test
// that needs it, and read by any number of threads at once after that.
class RingBoundsIndex
{
public:
    // Polygons of fewer rings get no record: a walk over their rings costs as little.
    static constexpr std::int32_t ManyRings = 64;
    static constexpr std::size_t Fanout = 8;

    explicit RingBoundsIndex(const Polygon& polygon);

    // The record of a committed polygon of many rings, built by the first caller (under a
    // lock, so that threads testing the polygon at once may ask); null for any other polygon.
    static const RingBoundsIndex* Of(const Polygon& polygon);

    // As Polygon::GetBounds and Polygon::GetNodeCount answer.
    const Rectangle& Bounds() const noexcept { return m_bounds; }
    std::int64_t NodeCount() const noexcept { return m_nodeCount; }
    std::span<const Ring* const> Rings() const noexcept { return m_rings; }

    // The numbers (in ring order) of the rings whose bounds meet query, ascending.
    void FindRings(const Rectangle& query, std::vector<std::uint32_t>& found) const;

private:
    std::vector<const Ring*> m_rings;
    std::vector<Rectangle> m_ringBounds;
    Rectangle m_bounds;
    std::int64_t m_nodeCount = 0;
    // The ring numbers sorted so that neighbours in space are neighbours here; m_levels[0][g]
    // bounds the rings m_order[g * Fanout ..], m_levels[l][g] the groups g * Fanout .. of
    // level l - 1, and the last level has at most Fanout groups.
    std::vector<std::uint32_t> m_order;
    std::vector<std::vector<Rectangle>> m_levels;
};

} // namespace Arealis::Detail
