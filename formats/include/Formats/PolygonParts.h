#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"

#include <cstddef>
#include <span>
#include <vector>

namespace Arealis
{
class Polygon;
class Ring;
} // namespace Arealis

namespace Formats
{

// A ring's points as every writer puts them out, read from the ring's nodes without copying:
// exteriors counter-clockwise and holes clockwise, closed by repeating the first point. The
// library keeps them the other way round (the sign of a ring's area is what makes it an
// exterior), so every ring is read in reverse node order.
class OrientedRing
{
public:
    explicit OrientedRing(const Arealis::Ring& ring);

    // The points written: every node and the first once more; none for a ring without nodes.
    std::size_t size() const { return m_nodes.empty() ? 0 : m_nodes.size() + 1; }

    const Arealis::Point& operator[](std::size_t i) const
    {
        const std::size_t last = m_nodes.size() - 1;
        return m_nodes[i > last ? last : last - i]->Position;
    }

private:
    std::span<Arealis::Node* const> m_nodes;
};

// The parts of a polygon: each exterior ring with the holes it directly encloses. Gathered
// into storage that a writer keeps from polygon to polygon, so that writing a layer allocates
// nothing per polygon or ring once the storage has grown.
class PolygonParts
{
public:
    // Replaces the parts with those of the polygon, organising a modified polygon first. One
    // walk over the polygon's ring circle, which the organised polygon keeps as each exterior
    // followed by its holes, so the cost is linear in the rings; holes that no exterior
    // encloses are left out. The parts stay valid while the polygon is not changed.
    void Gather(Arealis::Polygon& polygon);

    std::size_t Count() const { return m_partStarts.size(); }
    bool empty() const { return m_partStarts.empty(); }

    // The rings of a part: its exterior first, then its holes.
    std::span<const OrientedRing> operator[](std::size_t part) const
    {
        const std::size_t end =
            part + 1 < m_partStarts.size() ? m_partStarts[part + 1] : m_rings.size();
        return std::span<const OrientedRing>(m_rings).subspan(m_partStarts[part],
                                                              end - m_partStarts[part]);
    }

private:
    std::vector<OrientedRing> m_rings;
    std::vector<std::size_t> m_partStarts; // index in m_rings of each part's exterior
};

} // namespace Formats
