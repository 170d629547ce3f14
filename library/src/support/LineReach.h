#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"

#include <cmath>
#include <limits>

namespace Arealis::Detail
{

// The line through two points, for telling cheaply that a point lies farther from it than a
// reach, on one side, even after the rounding of the test; points it is not sure of count as
// near. Edges that plainly lie apart, and points plainly off an edge, are let go this way
// before the exact tests.
class LineReach
{
public:
    LineReach(const Point& a, const Point& b, double reach) noexcept
        : m_start(a), m_dx(b.X - a.X), m_dy(b.Y - a.Y),
          m_reach(reach == 0.0 ? 0.0 : reach * std::sqrt(m_dx * m_dx + m_dy * m_dy))
    {
    }

    // +1 or -1 for a point plainly beyond the reach on that side of the line, 0 otherwise.
    int SideBeyond(const Point& p) const noexcept
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

    // Whether both points lie plainly beyond the reach on the same side: then no point of the
    // segment between them comes within the reach of the line.
    bool AreBeyond(const Point& p, const Point& q) const noexcept
    {
        const int side = SideBeyond(p);
        return side != 0 && side == SideBeyond(q);
    }

    // Whether the whole rectangle lies plainly beyond the reach on one side: no point in it
    // comes within the reach of the line.
    bool IsBeyond(const Rectangle& area) const noexcept
    {
        const int side = SideBeyond({area.MinX, area.MinY});
        return side != 0 && side == SideBeyond({area.MaxX, area.MinY}) &&
               side == SideBeyond({area.MinX, area.MaxY}) &&
               side == SideBeyond({area.MaxX, area.MaxY});
    }

private:
    Point m_start;
    double m_dx;
    double m_dy;
    double m_reach; // the reach times the length of the direction (m_dx, m_dy)
};

} // namespace Arealis::Detail
