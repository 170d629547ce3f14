#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "support/GridLayout.h"

#include <cstdint>
#include <vector>

namespace Arealis::Detail
{

// The edges of one ring in a uniform grid, about one edge per cell, for telling quickly where
// a small ring lies against a large one: whether the large ring's boundary comes near it, and
// if not, whether it lies inside. Sorting the holes of a polygon into its exterior rings asks
// that for every hole, and an overlay per hole costs as much as the exterior ring is long.
// Whether the segments a-b and c-d lie farther apart than reach, told by a line or an axis
// between them; segments that are apart in a more slanted way count as near.
bool AreSegmentsApart(const Point& a, const Point& b, const Point& c, const Point& d,
                      double reach) noexcept;

// Whether the edge a-b crosses the ray from p to the right; half-open in y, so that a vertex on
// the ray's line is counted once.
bool CrossesRightwardRay(const Point& a, const Point& b, const Point& p) noexcept;

// Whether p lies inside the ring by the edges crossing the ray from p to the right: for points
// clearly off the ring's boundary.
bool IsInsideRing(const Ring& ring, const Point& p);

// Where a point lies against a ring, for a point clear of its boundary.
enum class PointPlace
{
    Inside,
    Outside,
    Unsure
};

// Where p lies against the ring by the even-odd count of its edges crossing the ray from p to
// the right; unsure when an edge comes within margin of p.
PointPlace PlaceOfClearPoint(const Ring& ring, const Point& p, double margin);

class RingEdgeGrid
{
public:
    explicit RingEdgeGrid(const Ring& ring);

    const Rectangle& Bounds() const noexcept { return m_bounds; }
    // Whether an edge of the ring may come within reach of the rectangle: true for every edge
    // that does, and possibly for one a little farther.
    bool HasEdgeNear(const Rectangle& rectangle, double reach) const;
    // The same for the edges of another ring, edge by edge.
    bool HasEdgeNear(const Ring& ring, double reach) const;
    // Whether p lies inside the ring; decided by the edges crossing a ray from p (the one that
    // leaves the grid soonest), so meant for points clearly off the boundary (HasEdgeNear said
    // no around them).
    bool Encloses(const Point& p) const;

private:
    enum class RayDirection
    {
        Left,
        Right,
        Down,
        Up
    };
    static bool CrossesRay(RayDirection direction, const Point& a, const Point& b,
                           const Point& p) noexcept;

    bool IsEdgeNear(std::int32_t edge, const Rectangle& area) const noexcept;
    // The edges registered in the cells of one row from firstColumn to lastColumn, appended.
    void CollectRun(std::size_t row, std::size_t firstColumn, std::size_t lastColumn,
                    std::vector<std::int32_t>& edges) const;

    std::vector<Point> m_points; // the ring's node positions; edge i runs from i to i + 1
    Rectangle m_bounds;
    GridLayout m_layout;
    // The edges of cell c are m_entries[m_starts[c]] .. m_entries[m_starts[c + 1] - 1].
    std::vector<std::uint32_t> m_starts;
    std::vector<std::int32_t> m_entries;
    mutable std::vector<std::int32_t> m_found; // scratch of the queries
    // The query that last counted each edge, and the current one's number.
    mutable std::vector<std::uint32_t> m_lastQuery;
    mutable std::uint32_t m_query = 0;
};

} // namespace Arealis::Detail
