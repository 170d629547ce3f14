#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"

#include <cstdint>

namespace Arealis::Detail
{

// An edge with its end nodes read once: the algorithms compare every edge with many others.
struct EdgeSnapshot
{
    LinearEdge Edge;
    const Node* StartNode = nullptr;
    const Node* EndNode = nullptr;
    Rectangle Bounds;

    // Reads the end nodes; throws ArgumentOutOfRangeException for indices outside the ring.
    explicit EdgeSnapshot(const LinearEdge& edge);
    EdgeSnapshot() = default;

    const Point& Start() const noexcept { return StartNode->Position; }
    const Point& End() const noexcept { return EndNode->Position; }
};

// The rectangle filter of the comparison of two lists: false when the bounds lie more than the
// tolerance apart on some axis.
bool AreBoundsNear(const Rectangle& a, const Rectangle& b, double tolerance) noexcept;

// Whether the edges join the same two vertices, in either direction.
bool AreIdenticalEdges(const EdgeSnapshot& a, const EdgeSnapshot& b) noexcept;

// Whether edges numbered a and b of a ring of count edges are neighbours: their numbers differ
// by 1, or they are the first and the last edge. Equal numbers: the two edges of a ring of two
// nodes, which share both nodes.
inline bool AreNeighbourEdgeNumbers(std::int64_t a, std::int64_t b, std::int64_t count) noexcept
{
    const std::int64_t difference = a > b ? a - b : b - a;
    return difference <= 1 || difference == count - 1;
}

// Whether the self-mode comparison must leave the pair out because the edges are neighbours in
// one ring. Inline: most candidates of a ring's own check are neighbours.
inline bool AreRingNeighbours(const LinearEdge& a, const LinearEdge& b)
{
    if (a.Ring != b.Ring)
    {
        return false;
    }
    // An edge from a node to the next one has the number of its start, as EdgeNumber says.
    const auto numberOf = [](const LinearEdge& edge)
    { return edge.EndIndex == edge.StartIndex + 1 ? edge.StartIndex : edge.EdgeNumber(); };
    return AreNeighbourEdgeNumbers(numberOf(a), numberOf(b), a.Ring->Count());
}

// Classifies the pair (a from the first list, b from the second or, in self mode, a earlier
// than b) and appends its entries to the result. Self mode compares exactly and reports
// identical edges at both ends; the comparison of two lists snaps end points within the
// tolerance, reports nothing for identical edges and drops touches along a shared boundary.
// Returns whether the edges meet at all, whether or not an entry was appended.
bool TestAndRecordPair(const EdgeSnapshot& a, const EdgeSnapshot& b, bool selfMode,
                       IntersectionList& result);

} // namespace Arealis::Detail
