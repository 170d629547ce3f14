#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "support/LinearBuckets.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Arealis::Detail
{

// The cells of a uniform grid over a rectangle, about square, a given number of them. The cell
// of a value is a monotone function of it (values beyond the rectangle go to its edge cells),
// so the cells of an interval are those from the cell of its low end to the cell of its high
// end, whatever the rounding: the walks along a segment below rely on that.
class GridLayout
{
public:
    GridLayout() = default;
    GridLayout(const Rectangle& bounds, std::size_t cells) noexcept;

    std::size_t Columns() const noexcept { return m_x.Buckets.Count(); }
    std::size_t Rows() const noexcept { return m_y.Buckets.Count(); }
    std::size_t CellCount() const noexcept { return Columns() * Rows(); }
    std::size_t ColumnOf(double x) const noexcept { return m_x.CellOf(x); }
    std::size_t RowOf(double y) const noexcept { return m_y.CellOf(y); }
    std::size_t CellOf(const Point& p) const noexcept
    {
        return RowOf(p.Y) * Columns() + ColumnOf(p.X);
    }

    // Calls visit(row, firstColumn, lastColumn) for runs of cells that hold at least every
    // point within reach of the segment in both coordinates; each cell once.
    template <typename Visit>
    void ForEachRunNearSegment(const Point& start, const Point& end, double reach,
                               Visit visit) const
    {
        const Walk walk = WalkAlong(start, end, reach);
        const Axis& major = walk.AlongX ? m_x : m_y;
        const Axis& minor = walk.AlongX ? m_y : m_x;
        for (std::size_t c = walk.First; c <= walk.Last; ++c)
        {
            const double a = walk.MinorAt(major.CellLow(c, walk.Slack));
            const double b = walk.MinorAt(major.CellHigh(c, walk.Slack));
            const std::size_t from = minor.CellOf(std::min(a, b) - walk.Slack);
            const std::size_t to = minor.CellOf(std::max(a, b) + walk.Slack);
            if (walk.AlongX)
            {
                for (std::size_t row = from; row <= to; ++row)
                {
                    visit(row, c, c);
                }
            }
            else
            {
                visit(c, from, to);
            }
        }
    }

private:
    // The cells of one axis and their bounds.
    struct Axis
    {
        double Low = 0.0;
        double High = 0.0;
        double Width = 0.0; // of one cell
        LinearBuckets Buckets{0.0, 0.0, 1};

        Axis() = default;
        Axis(double low, double high, std::size_t count) noexcept;
        // The cell of any value: those beyond the ends go to the end cells.
        std::size_t CellOf(double value) const noexcept
        {
            if (!(value > Low))
            {
                return 0;
            }
            return value < High ? Buckets(value) : Buckets.Count() - 1;
        }
        // The values that can lie in cell c, widened by slack on both sides; the end cells
        // take everything beyond them.
        double CellLow(std::size_t c, double slack) const noexcept;
        double CellHigh(std::size_t c, double slack) const noexcept;
    };

    // A segment seen along its longer axis: its other coordinate then changes by at most as
    // much, so computing it costs no more than a few units of rounding.
    struct Walk
    {
        bool AlongX = true;
        double Slack = 0.0;
        double Start = 0.0; // on the major axis
        double StartMinor = 0.0;
        double Low = 0.0;
        double High = 0.0;
        double Slope = 0.0;
        std::size_t First = 0;
        std::size_t Last = 0;

        double MinorAt(double v) const noexcept
        {
            return StartMinor + (std::clamp(v, Low, High) - Start) * Slope;
        }
    };
    Walk WalkAlong(const Point& start, const Point& end, double reach) const noexcept;

    Axis m_x;
    Axis m_y;
    // Rounding slack of the coordinates' magnitude, added to every reach.
    double m_slack = 0.0;
};

} // namespace Arealis::Detail
