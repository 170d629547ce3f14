#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "support/LineReach.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Arealis::Detail
{

// The line through an edge, for letting go cheaply of points that lie plainly off the edge
// before the probe-square test (IsPointOnSegment, exact mode): a point that test puts on the
// edge lies within half a probe diagonal (0.71 grid steps) of the line. The filter keeps every
// point within two grid steps of it, and a margin for the rounding of both tests on top, so it
// never lets go of a point the test would take. Where a large polygon's long edges pass near
// many crossing points of a small one, almost all of the points it is asked about are far off.
class EdgeLineFilter
{
public:
    EdgeLineFilter(const Point& start, const Point& end, double gridStep) noexcept
        : m_line(start, end, ReachFor(start, end, gridStep))
    {
    }

    // False when the point lies plainly farther from the line than the probe square reaches.
    bool MayBeOn(const Point& p) const noexcept { return m_line.SideBeyond(p) == 0; }

    // False when the whole rectangle lies plainly on one side, beyond the probe square's reach:
    // no point in it is on the edge.
    bool MayMeet(const Rectangle& bounds) const noexcept { return !m_line.IsBeyond(bounds); }

private:
    // Two grid steps, and the rounding margin at the size of the coordinates and the edge.
    static double ReachFor(const Point& start, const Point& end, double gridStep) noexcept
    {
        constexpr double epsilon = std::numeric_limits<double>::epsilon();
        const double dx = end.X - start.X;
        const double dy = end.Y - start.Y;
        const double length = std::sqrt(dx * dx + dy * dy);
        const double magnitude =
            std::max({std::fabs(start.X), std::fabs(start.Y), std::fabs(end.X), std::fabs(end.Y)});
        return 2.0 * gridStep + 64.0 * epsilon * (magnitude + length);
    }

    LineReach m_line;
};

} // namespace Arealis::Detail
