#pragma once

#include "Arealis/Point.h"
#include "Arealis/Polygon.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "support/BoundedEntry.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace Arealis::Detail
{

// A ring of an operand with the bounds the overlay graph took of it.
using BoundedRing = BoundedEntry<const Ring*>;

// Whether points lie inside an overlay operand, with the answer of Polygon::ContainsPoint (the
// even-odd count of the ray towards +X over all rings). An operand of many rings asked about
// many points (a large polygon with many holes, against the pieces a union puts into it) gets
// an R-tree of its rings' bounds: each point then walks only the rings whose bounds its ray
// meets, where Polygon::ContainsPoint walks every ring for every point.
class OperandContainment
{
public:
    // Answers through Polygon::ContainsPoint until the rings are indexed.
    explicit OperandContainment(const Polygon& polygon) : m_polygon(polygon) {}

    // Whether an index over this many rings pays for this many points asked about.
    static bool IndexPays(std::size_t rings, std::size_t asked) noexcept;
    // Indexes the polygon's rings that have nodes (all of them, with their bounds).
    void IndexRings(const std::vector<BoundedRing>& rings);

    bool Contains(const Point& point) const;

    // Whether the rings are indexed (for many rings and many points only).
    bool IsIndexed() const noexcept { return m_index != nullptr; }

private:
    using RingIndex = BoundsIndex<const Ring*>;

    const Polygon& m_polygon;
    std::unique_ptr<RingIndex> m_index;
};

} // namespace Arealis::Detail
