#include "Arealis/SegmentIntersection.h"

namespace Arealis
{

namespace
{

// Half the side of the probe square around a point: a point counts as lying on an edge when
// the edge meets one of the square's diagonals, which absorbs the rounding of computed
// crossing points.
constexpr double ProbeHalfSide = 5e-07;
constexpr double ProbeSide = 1e-06;
// The square of the tolerance: end points nearer than this to each other are left to the
// probe test rather than snapped onto the edge.
constexpr double SquaredTolerance = IntersectionTolerance * IntersectionTolerance;

// Whether v lies between 0 and den inclusive, decided on the signs without dividing.
bool IsWithinUnitRange(double v, double den) noexcept
{
    return v == 0.0 || (v < 0.0 && den <= v) || (v > 0.0 && v <= den);
}

// Crossing test of the edges aStart + t aDelta and bStart + r bDelta, both for 0 <= t, r <= 1.
bool CrossesWithDeltas(const Point& aStart, const Point& aDelta, const Point& bStart,
                       const Point& bDelta, Point* pPoint) noexcept
{
    const double den = bDelta.X * aDelta.Y - bDelta.Y * aDelta.X;
    if (den == 0.0)
    {
        return false;
    }
    const double wx = bStart.X - aStart.X;
    const double wy = bStart.Y - aStart.Y;
    const double s = bDelta.X * wy - bDelta.Y * wx;
    const double u = aDelta.X * wy - wx * aDelta.Y;
    if (!IsWithinUnitRange(s, den) || !IsWithinUnitRange(u, den))
    {
        return false;
    }
    if (pPoint != nullptr)
    {
        const double t = s / den;
        *pPoint = {aStart.X + t * aDelta.X, aStart.Y + t * aDelta.Y};
    }
    return true;
}

// Nearer than the tolerance to the line of the edge, projecting strictly inside it and
// farther than the tolerance from both of its ends. The edge length cancels out, so the bound
// is an absolute distance of 0.0005.
bool IsNearEdgeInterior(const Point& p, const Point& start, const Point& end) noexcept
{
    const double dx = end.X - start.X;
    const double dy = end.Y - start.Y;
    const double toleranceSquare =
        (dx * dx + dy * dy) * IntersectionTolerance * IntersectionTolerance;
    const double vx = p.X - start.X;
    const double vy = p.Y - start.Y;
    const double wx = p.X - end.X;
    const double wy = p.Y - end.Y;
    const double cross = vx * dy - dx * vy;
    return cross * cross < toleranceSquare && vx * dx + vy * dy > 0.0 && wx * dx + wy * dy < 0.0 &&
           vx * vx + vy * vy > SquaredTolerance && wx * wx + wy * wy > SquaredTolerance;
}

bool MeetsProbeSquare(const Point& p, const Point& start, const Point& end) noexcept
{
    const Point edgeDelta{end.X - start.X, end.Y - start.Y};
    const Point rising{p.X - ProbeHalfSide, p.Y - ProbeHalfSide};
    const Point falling{p.X - ProbeHalfSide, p.Y + ProbeHalfSide};
    return CrossesWithDeltas(start, edgeDelta, rising, {ProbeSide, ProbeSide}, nullptr) ||
           CrossesWithDeltas(start, edgeDelta, falling, {ProbeSide, -ProbeSide}, nullptr);
}

// Adds one end point found on the other edge; returns true once the edges overlap.
bool AddEndPointOnEdge(SegmentsIntersection& result, const Point& p) noexcept
{
    if (result.Kind == IntersectionKind::None)
    {
        result.Kind = IntersectionKind::Touching;
        result.Location = p;
        return false;
    }
    if (result.Kind == IntersectionKind::Touching && !(p == result.Location))
    {
        result.Kind = IntersectionKind::Overlapping;
        result.OverlapStart = result.Location;
        result.OverlapEnd = p;
        return true;
    }
    return false;
}

} // namespace

bool IsPointOnSegment(const Point& p, const Point& start, const Point& end,
                      ProximityMode mode) noexcept
{
    if (p == start || p == end)
    {
        return true;
    }
    if (mode == ProximityMode::Tolerant && IsNearEdgeInterior(p, start, end))
    {
        return true;
    }
    return MeetsProbeSquare(p, start, end);
}

bool FindSegmentsCrossing(const Point& aStart, const Point& aEnd, const Point& bStart,
                          const Point& bEnd, Point* pPoint) noexcept
{
    return CrossesWithDeltas(aStart, {aEnd.X - aStart.X, aEnd.Y - aStart.Y}, bStart,
                             {bEnd.X - bStart.X, bEnd.Y - bStart.Y}, pPoint);
}

SegmentsIntersection SegmentsIntersection::Classify(const Point& aStart, const Point& aEnd,
                                                    const Point& bStart, const Point& bEnd,
                                                    ProximityMode mode) noexcept
{
    SegmentsIntersection result;
    for (const Point* p : {&bStart, &bEnd})
    {
        if (IsPointOnSegment(*p, aStart, aEnd, mode) && AddEndPointOnEdge(result, *p))
        {
            return result;
        }
    }
    for (const Point* p : {&aStart, &aEnd})
    {
        if (IsPointOnSegment(*p, bStart, bEnd, mode) && AddEndPointOnEdge(result, *p))
        {
            return result;
        }
    }
    if (result.Kind != IntersectionKind::None)
    {
        return result;
    }
    if (FindSegmentsCrossing(aStart, aEnd, bStart, bEnd, &result.Location))
    {
        result.Kind = IntersectionKind::Crossing;
    }
    return result;
}

} // namespace Arealis
