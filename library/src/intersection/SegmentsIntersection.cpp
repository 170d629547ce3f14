#include "Arealis/SegmentIntersection.h"
#include "support/LineReach.h"

#include <cmath>
#include <limits>

namespace Arealis
{

namespace
{

// The probe square around a point is one grid step wide: a point counts as lying on an edge
// when the edge meets one of the square's diagonals, which absorbs the rounding of computed
// crossing points.

// Whether v lies between 0 and den inclusive, decided on the signs without dividing.
bool IsWithinUnitRange(double v, double den) noexcept
{
    return v == 0.0 || (v < 0.0 && den <= v) || (v > 0.0 && v <= den);
}

// A segment given as start + t delta, with a bound of the rounding error of its delta (zero
// for a delta that is exact, such as a probe diagonal).
struct Segment
{
    Point Start;
    Point Delta;
    double DeltaError = 0.0;
};

Segment SegmentBetween(const Point& start, const Point& end) noexcept
{
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    return {start,
            {end.X - start.X, end.Y - start.Y},
            epsilon *
                (std::fabs(start.X) + std::fabs(start.Y) + std::fabs(end.X) + std::fabs(end.Y))};
}

// Crossing test of two segments, end points included. The determinant of collinear segments
// comes out as rounding noise rather than zero, and the noise then passes the sign test at
// random; a determinant within its rounding error therefore counts as zero: parallel.
bool Crosses(const Segment& a, const Segment& b, Point* pPoint) noexcept
{
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    const double den = b.Delta.X * a.Delta.Y - b.Delta.Y * a.Delta.X;
    const double denError =
        4.0 * epsilon * (std::fabs(b.Delta.X * a.Delta.Y) + std::fabs(b.Delta.Y * a.Delta.X)) +
        (std::fabs(b.Delta.X) + std::fabs(b.Delta.Y)) * a.DeltaError +
        (std::fabs(a.Delta.X) + std::fabs(a.Delta.Y)) * b.DeltaError;
    if (std::fabs(den) <= denError)
    {
        return false;
    }
    const double wx = b.Start.X - a.Start.X;
    const double wy = b.Start.Y - a.Start.Y;
    const double s = b.Delta.X * wy - b.Delta.Y * wx;
    const double u = a.Delta.X * wy - wx * a.Delta.Y;
    if (!IsWithinUnitRange(s, den) || !IsWithinUnitRange(u, den))
    {
        return false;
    }
    if (pPoint != nullptr)
    {
        const double t = s / den;
        *pPoint = {a.Start.X + t * a.Delta.X, a.Start.Y + t * a.Delta.Y};
    }
    return true;
}

// Nearer than the tolerance to the line of the edge, projecting strictly inside it and
// farther than the tolerance from both of its ends (end points nearer than that to each other
// are left to the probe test rather than snapped onto the edge). The edge length cancels out,
// so the bound is an absolute distance.
bool IsNearEdgeInterior(const Point& p, const Point& start, const Point& end,
                        double tolerance) noexcept
{
    const double dx = end.X - start.X;
    const double dy = end.Y - start.Y;
    const double squaredTolerance = tolerance * tolerance;
    const double toleranceSquare = (dx * dx + dy * dy) * tolerance * tolerance;
    const double vx = p.X - start.X;
    const double vy = p.Y - start.Y;
    const double wx = p.X - end.X;
    const double wy = p.Y - end.Y;
    const double cross = vx * dy - dx * vy;
    return cross * cross < toleranceSquare && vx * dx + vy * dy > 0.0 && wx * dx + wy * dy < 0.0 &&
           vx * vx + vy * vy > squaredTolerance && wx * wx + wy * wy > squaredTolerance;
}

bool MeetsProbeSquare(const Point& p, const Point& start, const Point& end,
                      double probeSide) noexcept
{
    const double half = 0.5 * probeSide;
    const Segment edge = SegmentBetween(start, end);
    const Segment rising{{p.X - half, p.Y - half}, {probeSide, probeSide}};
    const Segment falling{{p.X - half, p.Y + half}, {probeSide, -probeSide}};
    return Crosses(edge, rising, nullptr) || Crosses(edge, falling, nullptr);
}

bool IsPointOnSegmentWith(const Point& p, const Point& start, const Point& end, ProximityMode mode,
                          const Precision& precision) noexcept
{
    if (p == start || p == end)
    {
        return true;
    }
    if (mode == ProximityMode::Tolerant && IsNearEdgeInterior(p, start, end, precision.Tolerance))
    {
        return true;
    }
    return MeetsProbeSquare(p, start, end, precision.GridStep);
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

// Edges that are apart by more than both the tolerance and the probe square, told by one of
// them lying wholly on one side of the other's line: most pairs that a sweep offers in a
// crowd of long, thin shapes are such, and they need none of the end point tests.
bool AreClearlyApart(const Point& aStart, const Point& aEnd, const Point& bStart, const Point& bEnd,
                     const Precision& precision) noexcept
{
    const double margin = 2.0 * precision.Tolerance + precision.GridStep;
    return Detail::LineReach(aStart, aEnd, margin).AreBeyond(bStart, bEnd) ||
           Detail::LineReach(bStart, bEnd, margin).AreBeyond(aStart, aEnd);
}

} // namespace

bool IsPointOnSegment(const Point& p, const Point& start, const Point& end,
                      ProximityMode mode) noexcept
{
    return IsPointOnSegmentWith(p, start, end, mode, CurrentPrecision());
}

bool FindSegmentsCrossing(const Point& aStart, const Point& aEnd, const Point& bStart,
                          const Point& bEnd, Point* pPoint) noexcept
{
    return Crosses(SegmentBetween(aStart, aEnd), SegmentBetween(bStart, bEnd), pPoint);
}

SegmentsIntersection SegmentsIntersection::Classify(const Point& aStart, const Point& aEnd,
                                                    const Point& bStart, const Point& bEnd,
                                                    ProximityMode mode) noexcept
{
    const Precision precision = CurrentPrecision();
    SegmentsIntersection result;
    if (AreClearlyApart(aStart, aEnd, bStart, bEnd, precision))
    {
        return result;
    }
    for (const Point* p : {&bStart, &bEnd})
    {
        if (IsPointOnSegmentWith(*p, aStart, aEnd, mode, precision) &&
            AddEndPointOnEdge(result, *p))
        {
            return result;
        }
    }
    for (const Point* p : {&aStart, &aEnd})
    {
        if (IsPointOnSegmentWith(*p, bStart, bEnd, mode, precision) &&
            AddEndPointOnEdge(result, *p))
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
