#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <vector>

namespace Arealis::Detail
{

// Tells whether the edges of a ring that are not neighbours keep apart, without testing the
// pairs whose bounds overlap (in a star of thousands of long spikes, most pairs of edges).
// Two edges that do not cross are nearest at an end point of one of them, so two steps
// suffice:
// 1. Every vertex lies farther than the reach from every edge that does not end at it: the
//    vertices are filed in a grid of about one cell per vertex, and every edge measures the
//    vertices in the cells within reach of it. This costs each edge the cells along it, which
//    for edges as long as the ring is wide grows with the square root of the vertices;
//    MaxWorkPerVertex bounds it.
// 2. No two edges cross: a sweep in the order of the vertices (x, then y; a sweep line turned
//    by an infinitesimal angle, so that no two vertices lie on it at once) keeps the active
//    edges in their order along the sweep line and tests only edges that become adjacent in
//    that order, when one enters or when one between them leaves: n log n.
// Once step 1 holds, two edges that are not neighbours share a point only where they cross,
// away from every vertex, and neighbours share only their common vertex (an edge folding back
// along its neighbour puts a vertex on a non-incident edge). Let p be the first crossing in
// sweep order, and a and b two edges through p that are adjacent among the edges through p
// just after the last vertex before p. An edge c between them there would have to leave the
// wedge that a and b close at p before reaching p: at a crossing before p or at a shared
// vertex between that vertex and p, neither of which exists. So a and b are adjacent then,
// and were tested when they became so; until that test the order is that of the plane, and
// every comparison of the sweep is consistent.
//
// The answer is true only when both steps hold for certain; false when a vertex may lie
// within reach of an edge, two edges may cross, a comparison was too close to call in
// floating point, the ring is degenerate (fewer than four nodes, an edge of length 0) or
// the grid met more work than it allows. Then the caller must test the pairs by other means.
// So a pair of edges that are not neighbours and lie within reach of each other is never
// passed over.
//
// The coordinates must be finite and at most 1e9 in absolute value, as a check requires of
// its ring: the rounding bounds of the distances and orientations rely on that.
class RingClearance
{
public:
    RingClearance() = default;
    RingClearance(const RingClearance&) = delete;
    RingClearance& operator=(const RingClearance&) = delete;

    // Whether the ring of these nodes keeps every vertex farther than reach from every edge
    // that does not end at it, and crosses itself nowhere.
    bool IsClear(std::span<Node* const> nodes, double reach);

    // Empties the working data; keep says whether its buffers stay allocated.
    void Clear(bool keep) noexcept;
    bool IsEmpty() const noexcept;
    std::size_t BufferBytes() const noexcept;

    // The grid gives up beyond this many cells and vertices looked at per vertex: rings whose
    // vertices crowd around long edges are left to the caller.
    static constexpr std::size_t MaxWorkPerVertex = 512;

private:
    // Orders the active edges along the sweep line; see IsBelow.
    struct Below
    {
        const RingClearance* Owner = nullptr;
        bool operator()(std::uint32_t a, std::uint32_t b) const noexcept
        {
            return Owner->IsBelow(a, b);
        }
    };
    using Status = std::set<std::uint32_t, Below>;

    bool VerticesKeepClear(double reach);
    bool EdgesCrossNowhere();
    bool ProcessVertex(std::uint32_t vertex);
    bool LeaveStatus(std::uint32_t edge);
    bool EnterStatus(std::uint32_t edge);
    bool MayCross(std::uint32_t a, std::uint32_t b) const noexcept;
    bool IsBelow(std::uint32_t a, std::uint32_t b) const noexcept;
    int SideOfEntering(std::uint32_t edge) const noexcept;

    std::uint32_t NextNode(std::uint32_t node) const noexcept
    {
        return node + 1 < m_points.size() ? node + 1 : 0;
    }
    // The end points of an edge in vertex order; whether its start comes first.
    const Point& LeftOf(std::uint32_t edge) const noexcept { return m_edges[edge].Left; }
    const Point& RightOf(std::uint32_t edge) const noexcept { return m_edges[edge].Right; }
    bool StartsLeft(std::uint32_t edge) const noexcept { return m_edges[edge].StartsLeft; }

    std::vector<Point> m_points;
    // The vertices of each grid cell and their points, and where each cell's run starts.
    std::vector<std::uint32_t> m_cellStarts;
    std::vector<std::uint32_t> m_cellVertices;
    std::vector<Point> m_cellPoints;
    // An edge's end points in sweep order, copied: the comparisons of the sweep read them.
    struct SweptEdge
    {
        Point Left;
        Point Right;
        bool StartsLeft = false;
    };

    // The vertices in sweep order, and the edges.
    std::vector<std::uint32_t> m_order;
    std::vector<SweptEdge> m_edges;
    Status m_status{Below{this}};
    std::vector<Status::iterator> m_places;
    // The edge being entered, the vertex where it starts, and whether a comparison could not
    // be decided.
    std::uint32_t m_entering = 0;
    std::uint32_t m_enteringVertex = 0;
    mutable bool m_undecided = false;
};

} // namespace Arealis::Detail
