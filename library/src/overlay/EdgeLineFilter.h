#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"

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
        : m_start(start), m_dx(end.X - start.X), m_dy(end.Y - start.Y)
    {
        constexpr double epsilon = std::numeric_limits<double>::epsilon();
        const double length = std::sqrt(m_dx * m_dx + m_dy * m_dy);
        const double magnitude = std::max({std::fabs(start.X), std::fabs(start.Y),
                                           std::fabs(end.X), std::fabs(end.Y)});
        m_reach = (2.0 * gridStep + 64.0 * epsilon * (magnitude + length)) * length;
    }

    // False when the point lies plainly farther from the line than the probe square reaches.
    bool MayBeOn(const Point& p) const noexcept
    {
        return !IsBeyond(Side(p), 0);
    }

    // False when the whole rectangle lies plainly on one side, beyond the probe square's reach:
    // no point in it is on the edge.
    bool MayMeet(const Rectangle& bounds) const noexcept
    {
        const int side = Side({bounds.MinX, bounds.MinY});
        return side == 0 || !IsBeyond(Side({bounds.MinX, bounds.MaxY}), side) ||
               !IsBeyond(Side({bounds.MaxX, bounds.MinY}), side) ||
               !IsBeyond(Side({bounds.MaxX, bounds.MaxY}), side);
    }

private:
    // +1 or -1 for a point plainly beyond the reach on that side of the line, 0 otherwise.
    int Side(const Point& p) const noexcept
    {
        constexpr double epsilon = std::numeric_limits<double>::epsilon();
        const double px = (p.X - m_start.X) * m_dy;
        const double py = (p.Y - m_start.Y) * m_dx;
        const double error = 8.0 * epsilon * (std::fabs(px) + std::fabs(py));
        const double cross = px - py;
        if (std::fabs(cross) - error <= m_reach)
        {
            return 0;
        }
        return cross > 0.0 ? 1 : -1;
    }

    // Whether a side found is plainly beyond: on the given side, or on either for 0.
    static bool IsBeyond(int found, int side) noexcept
    {
        return found != 0 && (side == 0 || found == side);
    }

    Point m_start;
    double m_dx;
    double m_dy;
    double m_reach;
};

} // namespace Arealis::Detail
