#include "overlay/SnappedPoints.h"

#include "Arealis/Geometry.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
#include "Arealis/Precision.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"

#include <cmath>

namespace Arealis::Detail
{

namespace
{

// The end points of an edge that the intersection search reported (its indices are valid):
// read from the ring's node list directly, as this runs for every entry of every overlay.
const Point& StartOf(const LinearEdge& edge)
{
    return edge.Ring->GetNodes()[static_cast<std::size_t>(edge.StartIndex)]->Position;
}

const Point& EndOf(const LinearEdge& edge)
{
    return edge.Ring->GetNodes()[static_cast<std::size_t>(edge.EndIndex)]->Position;
}

bool IsEndOf(const Point& p, const LinearEdge& edge)
{
    return p == StartOf(edge) || p == EndOf(edge);
}

// The edge that only the tolerance puts the entry's point on: the other operand's edge when
// the point is an end point of one edge and does not lie on the other (within the node grid's
// probe square). Null for crossings, shared nodes and end points that lie on the edge.
const LinearEdge* SnappedOnto(const EdgeIntersection& entry)
{
    const Point& p = entry.Location;
    const bool endOfFirst = IsEndOf(p, entry.FirstEdge);
    if (endOfFirst == IsEndOf(p, entry.SecondEdge))
    {
        return nullptr;
    }
    const LinearEdge& onto = endOfFirst ? entry.SecondEdge : entry.FirstEdge;
    if (IsPointOnSegment(p, StartOf(onto), EndOf(onto), ProximityMode::Exact))
    {
        return nullptr;
    }
    return &onto;
}

// Whether an edge of ring, other than the excluded ones, lies nearer to p than squared
// (squared distances). The list is appended to from one call to the next and emptied only now
// and then: emptying it gives its storage back.
template <class TExcluded>
bool HasEdgeNearer(const Ring& ring, const Point& p, double squared, const TExcluded& excluded,
                   EdgeList& nearby)
{
    constexpr std::int32_t KeptEdges = 1024;
    if (nearby.Count() > KeptEdges)
    {
        nearby.SetCount(0);
    }
    const double distance = std::sqrt(squared);
    const std::int32_t first = nearby.Count();
    ring.GetEdgesInRectangle(
        Rectangle(p.X - distance, p.Y - distance, p.X + distance, p.Y + distance), nearby);
    for (std::int32_t i = first; i < nearby.Count(); ++i)
    {
        const LinearEdge& edge = nearby[i];
        if (!excluded(edge) &&
            SquaredDistanceToSegment(p, edge.Start()->Position, edge.End()->Position) < squared)
        {
            return true;
        }
    }
    return false;
}

// Twice the signed area of the triangle a, b, c: positive when c lies left of a -> b.
double Turn(const Point& a, const Point& b, const Point& c) noexcept
{
    return TurnValue(b, a, c);
}

// Whether the segments u-v and a-b cross at a point inside both.
bool CrossProperly(const Point& u, const Point& v, const Point& a, const Point& b) noexcept
{
    const double ua = Turn(a, b, u);
    const double va = Turn(a, b, v);
    const double au = Turn(u, v, a);
    const double bu = Turn(u, v, b);
    return ((ua > 0.0 && va < 0.0) || (ua < 0.0 && va > 0.0)) &&
           ((au > 0.0 && bu < 0.0) || (au < 0.0 && bu > 0.0));
}

// Whether the segments u-v and a-b have a point in common, end points included.
bool Meet(const Point& u, const Point& v, const Point& a, const Point& b) noexcept
{
    const double ua = Turn(a, b, u);
    const double va = Turn(a, b, v);
    const double au = Turn(u, v, a);
    const double bu = Turn(u, v, b);
    if (ua == 0.0 && va == 0.0)
    {
        // Collinear: whether their bounds overlap.
        return Rectangle(u, v).Intersects(Rectangle(a, b));
    }
    return !((ua > 0.0 && va > 0.0) || (ua < 0.0 && va < 0.0)) &&
           !((au > 0.0 && bu > 0.0) || (au < 0.0 && bu < 0.0));
}

// The triangle that an edge s-e sweeps when a point p is put on it: the edge then runs
// s -> p -> e.
struct SweptTriangle
{
    Point S;
    Point P;
    Point E;

    // Whether the edge u-v crosses the moved edge where the graph will have no node: it
    // crosses one of the two new sides, s-p or p-e, but does not meet the old side s-e. An
    // edge that meets the old side (crosses it, or ends on it within the node grid's probe
    // square) is cut there, at a point that stays on the moved edge's walk, so it meets the
    // moved edge at that node; one that crosses a new side only (it leaves an end point inside
    // the triangle, or passes between the old side and p) has no node there.
    bool IsCrossedBy(const Point& u, const Point& v) const noexcept
    {
        return (CrossProperly(u, v, S, P) || CrossProperly(u, v, P, E)) && !Meet(u, v, S, E) &&
               !IsPointOnSegment(u, S, E, ProximityMode::Exact) &&
               !IsPointOnSegment(v, S, E, ProximityMode::Exact);
    }
};

// Whether an edge of ring crosses the edge moved onto p where the graph has no node (the edge
// s-e itself crosses no side properly). The list is used as in HasEdgeNearer.
bool HasEdgeCrossingSweep(const Ring& ring, const SweptTriangle& sweep, EdgeList& nearby)
{
    constexpr std::int32_t KeptEdges = 1024;
    if (nearby.Count() > KeptEdges)
    {
        nearby.SetCount(0);
    }
    Rectangle bounds(sweep.S, sweep.E);
    bounds.Extend(sweep.P);
    const std::int32_t first = nearby.Count();
    ring.GetEdgesInRectangle(bounds, nearby);
    for (std::int32_t i = first; i < nearby.Count(); ++i)
    {
        if (sweep.IsCrossedBy(StartOf(nearby[i]), EndOf(nearby[i])))
        {
            return true;
        }
    }
    return false;
}

// Whether snapping the entry's point onto the edge would fold a ring: another part of the
// edge's ring lies nearer to the point than the edge (the point belongs there, not here), or
// the point's own ring has an edge, not one of the point's own two, within the distance that
// the snap moves it (the point would cross it). The snap also moves the whole edge, not only
// the point: the edge then runs through the point, and sweeps a long thin triangle on the way.
// An edge of either ring that reaches into that triangle through one of its new sides ends up
// crossing the moved edge, which the intersection search, made before the move, did not see:
// the rings then cross where the graph has no crossing point, and the tracing follows them
// to a wrong (or inside-out) ring.
bool FoldsARing(const EdgeIntersection& entry, const LinearEdge& onto, EdgeList& nearby)
{
    const Point& p = entry.Location;
    const double squared = SquaredDistanceToSegment(p, StartOf(onto), EndOf(onto));
    if (HasEdgeNearer(*onto.Ring, p, squared,
                      [&onto](const LinearEdge& edge) { return edge == onto; }, nearby))
    {
        return true;
    }
    const LinearEdge& own = &onto == &entry.FirstEdge ? entry.SecondEdge : entry.FirstEdge;
    if (HasEdgeNearer(*own.Ring, p, squared,
                      [&p](const LinearEdge& edge) { return IsEndOf(p, edge); }, nearby))
    {
        return true;
    }
    // A point within a grid step of the edge (a crossing point of an earlier overlay, rounded
    // to the grid off the edge it was found on) moves the edge by the rounding only: what lies
    // in so thin a triangle lies on the edge for the node grid, and is cut in there as well.
    const double step = CurrentPrecision().GridStep;
    if (squared <= step * step)
    {
        return false;
    }
    const SweptTriangle sweep{StartOf(onto), p, EndOf(onto)};
    return HasEdgeCrossingSweep(*onto.Ring, sweep, nearby) ||
           HasEdgeCrossingSweep(*own.Ring, sweep, nearby);
}

// Where the entry's two edges cross properly (exactly, away from their end points), when they
// do. A snap of an end point that lies within the tolerance of a nearly parallel edge is all the
// tolerant search reports for such a pair, even when the edges cross well before that end point.
bool FindExactCrossing(const EdgeIntersection& entry, Point& location)
{
    const SegmentsIntersection meeting = SegmentsIntersection::Classify(
        StartOf(entry.FirstEdge), EndOf(entry.FirstEdge), StartOf(entry.SecondEdge),
        EndOf(entry.SecondEdge), ProximityMode::Exact);
    if (meeting.Kind != IntersectionKind::Crossing)
    {
        return false;
    }
    location = meeting.Location;
    return true;
}

} // namespace

void KeepNearestSnaps(IntersectionList& intersections)
{
    EdgeList nearby;
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < intersections.Count(); ++i)
    {
        const EdgeIntersection& entry = intersections[i];
        const LinearEdge* pOnto = SnappedOnto(entry);
        if (pOnto != nullptr && FoldsARing(entry, *pOnto, nearby))
        {
            // The snap goes; a crossing of the two edges must stay, or an edge would pass
            // from one side of the other ring to the other without a node there.
            Point crossing;
            if (FindExactCrossing(entry, crossing))
            {
                intersections[kept] = entry;
                intersections[kept++].Location = crossing;
            }
            continue;
        }
        intersections[kept++] = entry;
    }
    intersections.SetCount(kept);
}

} // namespace Arealis::Detail
