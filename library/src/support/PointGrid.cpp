#include "support/PointGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Arealis::Detail
{

namespace
{

// Rounding of a coordinate of this magnitude, generously: a few thousand units in the last
// place, far below any distance the overlay tells apart.
double SlackOf(double magnitude) noexcept
{
    return 1e-12 * magnitude;
}

} // namespace

double PointGrid::Axis::CellLow(std::size_t c, double slack) const noexcept
{
    if (c == 0 || !Buckets.Spreads())
    {
        return -std::numeric_limits<double>::infinity();
    }
    return Low + static_cast<double>(c) * Width - slack;
}

double PointGrid::Axis::CellHigh(std::size_t c, double slack) const noexcept
{
    if (c + 1 >= Buckets.Count() || !Buckets.Spreads())
    {
        return std::numeric_limits<double>::infinity();
    }
    return Low + static_cast<double>(c + 1) * Width + slack;
}

PointGrid::Axis PointGrid::MakeAxis(double low, double high, std::size_t count) noexcept
{
    Axis axis;
    axis.Low = low;
    axis.High = high;
    axis.Width = (high - low) / static_cast<double>(count);
    axis.Buckets = LinearBuckets(low, high, count);
    return axis;
}

// About one cell per point, the cells about square: a flat set of points gets one row.
void PointGrid::Layout(const Rectangle& bounds, std::size_t count) noexcept
{
    const double width = bounds.IsEmpty() ? 0.0 : bounds.MaxX - bounds.MinX;
    const double height = bounds.IsEmpty() ? 0.0 : bounds.MaxY - bounds.MinY;
    const double n = static_cast<double>(std::max<std::size_t>(count, 1));
    double columns = 1.0;
    if (height > 0.0 && width > 0.0)
    {
        columns = std::clamp(std::round(std::sqrt(n * width / height)), 1.0, n);
    }
    else if (width > 0.0)
    {
        columns = n;
    }
    const double rows = std::max(1.0, std::round(n / columns));
    if (bounds.IsEmpty())
    {
        return;
    }
    m_x = MakeAxis(bounds.MinX, bounds.MaxX, static_cast<std::size_t>(columns));
    m_y = MakeAxis(bounds.MinY, bounds.MaxY, static_cast<std::size_t>(rows));
    const double magnitude = std::max({std::fabs(bounds.MinX), std::fabs(bounds.MaxX),
                                       std::fabs(bounds.MinY), std::fabs(bounds.MaxY)});
    m_slack = SlackOf(magnitude);
}

void PointGrid::CollectCells(std::size_t row, std::size_t firstColumn, std::size_t lastColumn,
                             std::pmr::vector<std::int32_t>& found) const
{
    const std::size_t first = row * m_x.Buckets.Count() + firstColumn;
    const std::size_t last = row * m_x.Buckets.Count() + lastColumn;
    found.insert(found.end(), m_entries.begin() + m_starts[first],
                 m_entries.begin() + m_starts[last + 1]);
}

// Along the segment's longer axis cell by cell: within one cell's stretch of that axis the
// segment covers an interval of the other axis, whose slope is at most one, so computing it
// costs no more than a few units of rounding.
void PointGrid::CollectNearSegment(const Point& start, const Point& end, double reach,
                                   std::pmr::vector<std::int32_t>& found) const
{
    if (m_entries.empty())
    {
        return;
    }
    const bool alongX = std::fabs(end.X - start.X) >= std::fabs(end.Y - start.Y);
    const Axis& major = alongX ? m_x : m_y;
    const Axis& minor = alongX ? m_y : m_x;
    const double s0 = alongX ? start.X : start.Y;
    const double s1 = alongX ? start.Y : start.X;
    const double e0 = alongX ? end.X : end.Y;
    const double e1 = alongX ? end.Y : end.X;
    const double slack =
        reach + m_slack +
        SlackOf(std::max({std::fabs(s0), std::fabs(s1), std::fabs(e0), std::fabs(e1)}));
    const double low = std::min(s0, e0);
    const double high = std::max(s0, e0);
    const double slope = e0 == s0 ? 0.0 : (e1 - s1) / (e0 - s0);
    const auto minorAt = [&](double v) { return s1 + (std::clamp(v, low, high) - s0) * slope; };
    const std::size_t firstCell = major.CellOf(low - slack);
    const std::size_t lastCell = major.CellOf(high + slack);
    for (std::size_t c = firstCell; c <= lastCell; ++c)
    {
        const double a = minorAt(major.CellLow(c, slack));
        const double b = minorAt(major.CellHigh(c, slack));
        const std::size_t from = minor.CellOf(std::min(a, b) - slack);
        const std::size_t to = minor.CellOf(std::max(a, b) + slack);
        if (alongX)
        {
            for (std::size_t row = from; row <= to; ++row)
            {
                CollectCells(row, c, c, found);
            }
        }
        else
        {
            CollectCells(c, from, to, found);
        }
    }
}

} // namespace Arealis::Detail
