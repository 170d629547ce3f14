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

bool IsEndOf(const Point& p, const LinearEdge& edge)
{
    return p == edge.Start()->Position || p == edge.End()->Position;
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
    if (IsPointOnSegment(p, onto.Start()->Position, onto.End()->Position, ProximityMode::Exact))
    {
        return nullptr;
    }
    return &onto;
}

// Whether an edge of the ring other than the given one lies nearer to p than it.
bool HasNearerEdge(const Point& p, const LinearEdge& onto, EdgeList& nearby)
{
    const double squared =
        SquaredDistanceToSegment(p, onto.Start()->Position, onto.End()->Position);
    const double distance = std::sqrt(squared);
    // The list is appended to from one call to the next and emptied only now and then:
    // emptying it gives its storage back.
    constexpr std::int32_t KeptEdges = 1024;
    if (nearby.Count() > KeptEdges)
    {
        nearby.SetCount(0);
    }
    const std::int32_t first = nearby.Count();
    onto.Ring->GetEdgesInRectangle(
        Rectangle(p.X - distance, p.Y - distance, p.X + distance, p.Y + distance), nearby);
    for (std::int32_t i = first; i < nearby.Count(); ++i)
    {
        const LinearEdge& edge = nearby[i];
        if (!(edge == onto) &&
            SquaredDistanceToSegment(p, edge.Start()->Position, edge.End()->Position) < squared)
        {
            return true;
        }
    }
    return false;
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
        if (pOnto != nullptr && HasNearerEdge(entry.Location, *pOnto, nearby))
        {
            continue;
        }
        intersections[kept++] = entry;
    }
    intersections.SetCount(kept);
}

} // namespace Arealis::Detail
