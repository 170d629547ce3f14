#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Arealis/Precision.h"
#include "Arealis/Rectangle.h"

#include <cmath>
#include <cstdint>
#include <span>

namespace Arealis
{

// Snaps one coordinate to a node grid of the given step: floor(v / step + 0.5) * step.
inline double SnapToNodeGrid(double value, double step) noexcept
{
    // From 2^51 grid steps on, neighbouring doubles lie half a step apart or more: rounding
    // there would only perturb the value, so that snapping twice could move it again, and
    // value / step overflows to infinity near the largest doubles.
    const double limit = 2251799813685248.0 * step;
    if (!(std::fabs(value) < limit))
    {
        return value;
    }
    return std::floor(value / step + 0.5) * step;
}
inline Point SnapToNodeGrid(const Point& p, double step) noexcept
{
    return {SnapToNodeGrid(p.X, step), SnapToNodeGrid(p.Y, step)};
}
// The same on the grid of the current precision (see Precision.h).
inline double SnapToNodeGrid(double value) noexcept
{
    return SnapToNodeGrid(value, CurrentPrecision().GridStep);
}
inline Point SnapToNodeGrid(const Point& p) noexcept
{
    return SnapToNodeGrid(p, CurrentPrecision().GridStep);
}

// Turn value at cur between prev and next: its sign tells on which side of the line through
// prev and cur the point next lies; zero means collinear.
inline double TurnValue(const Point& prev, const Point& cur, const Point& next) noexcept
{
    return (prev.X - cur.X) * (next.Y - cur.Y) - (next.X - cur.X) * (prev.Y - cur.Y);
}

// Squared distance from p to the segment a-b: perpendicular inside the band between the ends,
// otherwise to the nearer end (to a for a degenerate segment).
double SquaredDistanceToSegment(const Point& p, const Point& a, const Point& b) noexcept;

// Signed area of a closed node sequence; positive for clockwise rings (exterior rings).
double SignedArea(std::span<Node* const> nodes) noexcept;
double SignedArea(std::span<const Point> points) noexcept;

// Throws ArgumentException "dToleranceDistance < 0" with the given location when the
// tolerance is negative (or NaN, which no search could use).
void CheckTolerance(double dToleranceDistance, const char* unit, int line);

// Throws ArgumentException "A coordinate is not a finite number." with the given location
// when a coordinate of point is NaN or infinite: such a point has no place in the node
// order, and a lookup with it could land on an unrelated node.
void CheckFinite(const Point& point, const char* unit, int line);
void CheckFinite(std::span<const Point> points, const char* unit, int line);

// Index of the node nearest to p within dToleranceDistance (inclusive), -1 when none: the
// closest node wins, the earliest in the list among equally close ones. The tolerance must
// have been checked by the caller.
std::int32_t FindNearestNode(std::span<Node* const> nodes, const Point& p,
                             double dToleranceDistance) noexcept;

} // namespace Arealis
