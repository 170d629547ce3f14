#include "intersection/EdgePairTest.h"

#include "Arealis/Ring.h"

namespace Arealis::Detail
{

EdgeSnapshot::EdgeSnapshot(const LinearEdge& edge)
    : Edge(edge), StartNode(edge.Ring->GetNode(edge.StartIndex)),
      EndNode(edge.Ring->GetNode(edge.EndIndex)), Bounds(StartNode->Position, EndNode->Position)
{
}

bool AreBoundsNear(const Rectangle& a, const Rectangle& b, double tolerance) noexcept
{
    return !(b.MinX > a.MaxX + tolerance || b.MaxX < a.MinX - tolerance ||
             b.MinY > a.MaxY + tolerance || b.MaxY < a.MinY - tolerance);
}

bool AreIdenticalEdges(const EdgeSnapshot& a, const EdgeSnapshot& b) noexcept
{
    return (IsSameVertex(*a.StartNode, *b.StartNode) && IsSameVertex(*a.EndNode, *b.EndNode)) ||
           (IsSameVertex(*a.StartNode, *b.EndNode) && IsSameVertex(*a.EndNode, *b.StartNode));
}

namespace
{

void Append(IntersectionList& result, const LinearEdge& a, const LinearEdge& b, const Point& p)
{
    result.Append(EdgeIntersection{a, b, p});
}

// A touch at a common end point where edge a runs along one of the two edges of b's ring that
// meet there: the rings share that stretch of boundary, and reporting every shared vertex
// would cut them at points where they do not part. Touches of an edge numbered 0 are kept, so
// that rings that coincide entirely still meet somewhere.
bool IsSharedBoundaryTouch(const EdgeSnapshot& a, const EdgeSnapshot& b, const Point& p)
{
    if (a.Edge.EdgeNumber() == 0 || b.Edge.EdgeNumber() == 0)
    {
        return false;
    }
    Point q;
    if (p == a.Start())
    {
        q = a.End();
    }
    else if (p == a.End())
    {
        q = a.Start();
    }
    else
    {
        return false;
    }
    const Ring& ring = *b.Edge.Ring;
    const std::int32_t n = ring.Count();
    const std::int32_t k = b.Edge.EdgeNumber();
    const auto nodeAt = [&ring, n](std::int32_t i) { return ring.GetNode(i % n)->Position; };
    if (p == b.Start())
    {
        return q == nodeAt(k + 1) || q == nodeAt(k - 1 + n);
    }
    if (p == b.End())
    {
        return q == nodeAt(k) || q == nodeAt(k + 2);
    }
    return false;
}

} // namespace

bool TestAndRecordPair(const EdgeSnapshot& a, const EdgeSnapshot& b, bool selfMode,
                       IntersectionList& result)
{
    if (AreIdenticalEdges(a, b))
    {
        if (selfMode)
        {
            Append(result, a.Edge, b.Edge, a.Start());
            Append(result, a.Edge, b.Edge, a.End());
        }
        return true;
    }
    const SegmentsIntersection meeting =
        SegmentsIntersection::Classify(a.Start(), a.End(), b.Start(), b.End(),
                                       selfMode ? ProximityMode::Exact : ProximityMode::Tolerant);
    switch (meeting.Kind)
    {
    case IntersectionKind::None:
        return false;
    case IntersectionKind::Touching:
        if (selfMode || !IsSharedBoundaryTouch(a, b, meeting.Location))
        {
            Append(result, a.Edge, b.Edge, meeting.Location);
        }
        return true;
    case IntersectionKind::Overlapping:
        Append(result, a.Edge, b.Edge, meeting.OverlapStart);
        Append(result, a.Edge, b.Edge, meeting.OverlapEnd);
        return true;
    case IntersectionKind::Crossing:
    case IntersectionKind::Identical:
        Append(result, a.Edge, b.Edge, meeting.Location);
        return true;
    }
    return false;
}

} // namespace Arealis::Detail
