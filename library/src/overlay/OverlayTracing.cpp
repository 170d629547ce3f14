// Tracing the result rings through the overlay graph.
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "overlay/OverlayGraph.h"
#include "support/AngleOrder.h"

#include <cstdint>
#include <vector>

namespace Arealis::Detail
{

namespace
{

// Corner results that let a way out of a crossing point into the result, one bit per result
// of TestCorner: 0 outside, 1 inside, 2 along the other ring against its order, 3 along the
// other ring in its order.
struct AcceptedCorners
{
    std::uint8_t Bits;

    bool Contains(int corner) const noexcept { return ((Bits >> corner) & 1U) != 0; }
};

constexpr AcceptedCorners OutsideOrAlong{0b1001};    // {0, 3}
constexpr AcceptedCorners InsideOrAlong{0b1010};     // {1, 3}
constexpr AcceptedCorners OutsideOrOpposite{0b0101}; // {0, 2}

AcceptedCorners CornersAccepted(OverlayOperation operation, bool fromFirst) noexcept
{
    switch (operation)
    {
    case OverlayOperation::Union:
        return OutsideOrAlong;
    case OverlayOperation::Intersection:
        return InsideOrAlong;
    case OverlayOperation::FirstMinusSecond:
        return fromFirst ? OutsideOrOpposite : InsideOrAlong;
    case OverlayOperation::SecondMinusFirst:
        return fromFirst ? InsideOrAlong : OutsideOrOpposite;
    }
    return OutsideOrAlong;
}

} // namespace

int OverlayGraph::TestCorner(const Point& a, const Point& c, const Point& b,
                             const Point& q) noexcept
{
    if (q == a)
    {
        return 2;
    }
    if (q == b)
    {
        return 3;
    }
    const double s1 = (a.X - c.X) * (q.Y - c.Y) - (q.X - c.X) * (a.Y - c.Y);
    const double s2 = (q.Y - b.Y) * (c.X - b.X) - (c.Y - b.Y) * (q.X - b.X);
    const double t = (b.Y - c.Y) * (a.X - c.X) - (a.Y - c.Y) * (b.X - c.X);
    if (t > 0.0)
    {
        return s1 >= 0.0 && s2 >= 0.0 ? 1 : 0;
    }
    return s1 > 0.0 || s2 > 0.0 ? 1 : 0;
}

// Tests q against the corner of the other operand's ring whose direction is nearest to the
// one at position, below it or above it in angle order (cyclically).
int OverlayGraph::TestOtherCorner(std::int32_t crossing, std::size_t position, bool upwards,
                                  const Point& q) const
{
    const CrossingPoint& point = CrossingPointAt(crossing);
    const std::size_t m = point.Directions.size();
    const Operand side = DirectionAt(point.Directions[position]).Side;
    std::size_t other = position;
    for (std::size_t step = 1; step < m; ++step)
    {
        // One step round the circle of directions, without a division.
        if (upwards)
        {
            other = other + 1 == m ? 0 : other + 1;
        }
        else
        {
            other = other == 0 ? m - 1 : other - 1;
        }
        const Direction& candidate = DirectionAt(point.Directions[other]);
        if (candidate.Side == side)
        {
            continue;
        }
        const Piece& piece = PieceAt(candidate.Piece);
        return TestCorner(EndPointOf(piece.Prev), point.Location, StartPointOf(piece.Next), q);
    }
    // The other operand does not pass this point: decide by its area around the way out.
    const Polygon& otherPolygon = side == Operand::First ? m_second : m_first;
    const Point middle{(point.Location.X + q.X) / 2, (point.Location.Y + q.Y) / 2};
    return otherPolygon.ContainsPoint(middle) ? 1 : 0;
}

bool OverlayGraph::IsAccepted(std::int32_t crossing, std::size_t position,
                              OverlayOperation operation)
{
    const CrossingPoint& point = CrossingPointAt(crossing);
    Direction& direction = m_directions[static_cast<std::size_t>(point.Directions[position])];
    const AcceptedCorners accepted = CornersAccepted(operation, direction.Side == Operand::First);
    if (direction.CornerBelow == UnknownCorner)
    {
        direction.CornerBelow = static_cast<std::int8_t>(
            TestOtherCorner(crossing, position, false, PointReachedBy(direction)));
    }
    if (!accepted.Contains(direction.CornerBelow))
    {
        return false;
    }
    if (direction.CornerAbove == UnknownCorner)
    {
        direction.CornerAbove = static_cast<std::int8_t>(
            TestOtherCorner(crossing, position, true, PointReachedBy(direction)));
    }
    return accepted.Contains(direction.CornerAbove);
}

// Visits the ways out of the crossing point in ascending angle order (counter-clockwise) from
// the arrival direction, including it when starting a ring, after it and past its angle when
// continuing, and returns the first that the operation accepts, or -1. The first accepted way
// counter-clockwise turns furthest towards the result's inside, so a traced ring bounds one
// connected piece: pieces that touch at a point become rings of their own instead of one ring
// passing the point twice or an exterior ring enclosing them with a hole between them.
std::int32_t OverlayGraph::ChooseWayOn(std::int32_t arrival, bool continuing,
                                       OverlayOperation operation)
{
    const Direction& from = DirectionAt(arrival);
    const std::int32_t crossing = PieceAt(from.Piece).Crossing;
    const std::pmr::vector<std::int32_t>& directions = CrossingPointAt(crossing).Directions;
    const std::size_t m = directions.size();
    std::size_t start = 0;
    while (directions[start] != arrival)
    {
        ++start;
    }
    for (std::size_t step = continuing ? 1 : 0; step < m; ++step)
    {
        // start + step stays below 2 m: one subtraction wraps it round, without a division.
        const std::size_t position = start + step < m ? start + step : start + step - m;
        const Direction& candidate = DirectionAt(directions[position]);
        if (continuing && IsSameAngle(candidate.Dx, candidate.Dy, from.Dx, from.Dy))
        {
            continue;
        }
        if (IsEligible(candidate, operation) && IsAccepted(crossing, position, operation))
        {
            return directions[position];
        }
    }
    return -1;
}

void OverlayGraph::AppendPiece(std::int32_t piece, Way way,
                               std::vector<TracedVertex>& vertices) const
{
    const Piece& p = PieceAt(piece);
    const Ring& source = *WalkAt(p.Walk).pRing;
    if (p.IsPoint)
    {
        const Point& location = CrossingPointAt(p.Crossing).Location;
        vertices.push_back(
            TracedVertex{p.First >= 0 ? source.GetNode(p.First) : nullptr, location});
        return;
    }
    if (way == Way::Forward)
    {
        for (std::int32_t i = p.First; i <= p.Last; ++i)
        {
            const Node* pNode = source.GetNode(i);
            vertices.push_back(TracedVertex{pNode, pNode->Position});
        }
    }
    else
    {
        for (std::int32_t i = p.Last; i >= p.First; --i)
        {
            const Node* pNode = source.GetNode(i);
            vertices.push_back(TracedVertex{pNode, pNode->Position});
        }
    }
}

// The first point of a piece walked in the given way.
Point OverlayGraph::EntryPointOf(std::int32_t piece, Way way) const
{
    return way == Way::Forward ? StartPointOf(piece) : EndPointOf(piece);
}

void OverlayGraph::TraceRing(std::int32_t start, OverlayOperation operation, TracedRing& ring)
{
    std::int32_t piece = DirectionAt(start).Piece;
    Way way = DirectionAt(start).WayOut;
    // Most traced rings are small pieces: one allocation instead of the vector's doublings.
    constexpr std::size_t UsualVertexCount = 16;
    ring.Vertices.reserve(UsualVertexCount);
    for (;;)
    {
        AppendPiece(piece, way, ring.Vertices);
        PieceAt(piece).Visited = true;
        const Piece& current = PieceAt(piece);
        std::int32_t next = way == Way::Forward ? current.Next : current.Prev;
        const Piece& reached = PieceAt(next);
        if (reached.IsPoint)
        {
            // The arrival direction points back the way the walk came.
            const std::int32_t arrival =
                way == Way::Forward ? reached.BackwardDirection : reached.ForwardDirection;
            const std::int32_t chosen = ChooseWayOn(arrival, true, operation);
            if (chosen < 0)
            {
                ring.Closed =
                    CrossingPointAt(reached.Crossing).Location == ring.Vertices.front().Location;
                return;
            }
            next = DirectionAt(chosen).Piece;
            way = DirectionAt(chosen).WayOut;
        }
        if (PieceAt(next).Visited)
        {
            ring.Closed = EntryPointOf(next, way) == ring.Vertices.front().Location;
            return;
        }
        piece = next;
    }
}

// A ring that no other ring crosses lies wholly inside or wholly outside the other operand.
void OverlayGraph::AppendUncrossedWalk(const RingWalk& walk, OverlayOperation operation,
                                       const OperandContainment& other,
                                       TracedRings& rings) const
{
    const Ring& ring = *walk.pRing;
    if (ring.Count() == 0)
    {
        return;
    }
    const bool fromFirst = walk.Side == Operand::First;
    const bool inside = other.Contains(ring.GetNode(0)->Position);
    bool take = false;
    bool reversed = false;
    switch (operation)
    {
    case OverlayOperation::Union:
        take = !inside;
        break;
    case OverlayOperation::Intersection:
        take = inside;
        break;
    case OverlayOperation::FirstMinusSecond:
        take = fromFirst ? !inside : inside;
        reversed = !fromFirst;
        break;
    case OverlayOperation::SecondMinusFirst:
        take = fromFirst ? inside : !inside;
        reversed = fromFirst;
        break;
    }
    if (!take)
    {
        return;
    }
    TracedRing& traced = rings.Add();
    if (!reversed)
    {
        traced.pWhole = &ring;
        traced.WholeOfFirst = fromFirst;
    }
    const std::int32_t n = ring.Count();
    traced.Vertices.reserve(static_cast<std::size_t>(n));
    for (std::int32_t k = 0; k < n; ++k)
    {
        const Node* pNode = ring.GetNode(reversed ? n - 1 - k : k);
        traced.Vertices.push_back(TracedVertex{pNode, pNode->Position});
    }
}

OperandContainment OverlayGraph::ContainmentOf(Operand side) const
{
    std::size_t asked = 0;
    std::size_t otherRings = 0;
    for (const RingWalk& walk : m_walks)
    {
        if (walk.pRing->Count() == 0)
        {
            continue;
        }
        if (walk.Side == side)
        {
            asked += walk.Crossed ? 0 : 1;
        }
        else
        {
            ++otherRings;
        }
    }
    OperandContainment containment(side == Operand::First ? m_second : m_first);
    if (OperandContainment::IndexPays(otherRings, asked))
    {
        std::vector<BoundedRing> rings;
        rings.reserve(otherRings);
        for (const RingWalk& walk : m_walks)
        {
            if (walk.Side != side && walk.pRing->Count() > 0)
            {
                rings.push_back(BoundedRing{walk.pRing, walk.Bounds});
            }
        }
        containment.IndexRings(rings);
    }
    return containment;
}

void OverlayGraph::Trace(OverlayOperation operation, TracedRings& rings)
{
    for (Piece& piece : m_pieces)
    {
        piece.Visited = false;
    }
    rings.Clear();
    // Where the uncrossed rings of each side lie: asked once per such ring.
    const OperandContainment inSecond = ContainmentOf(Operand::First);
    const OperandContainment inFirst = ContainmentOf(Operand::Second);
    for (const RingWalk& walk : m_walks)
    {
        if (!walk.Crossed)
        {
            AppendUncrossedWalk(walk, operation,
                                walk.Side == Operand::First ? inSecond : inFirst, rings);
            continue;
        }
        std::int32_t piece = walk.Head;
        do
        {
            const Piece& current = PieceAt(piece);
            if (current.IsPoint)
            {
                const std::int32_t chosen =
                    ChooseWayOn(current.BackwardDirection, false, operation);
                if (chosen >= 0 && !PieceAt(DirectionAt(chosen).Piece).Visited)
                {
                    TraceRing(chosen, operation, rings.Add());
                }
            }
            piece = current.Next;
        } while (piece != walk.Head);
    }
}

} // namespace Arealis::Detail
