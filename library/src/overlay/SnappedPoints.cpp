#include "overlay/SnappedPoints.h"

#include "Arealis/Geometry.h"
#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
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

// Whether snapping the entry's point onto the edge would fold a ring: another part of the
// edge's ring lies nearer to the point than the edge (the point belongs there, not here), or
// the point's own ring has an edge, not one of the point's own two, within the distance that
// the snap moves it (the point would cross it).
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
    return HasEdgeNearer(*own.Ring, p, squared,
                         [&p](const LinearEdge& edge) { return IsEndOf(p, edge); }, nearby);
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
