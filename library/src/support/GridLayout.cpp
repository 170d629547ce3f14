#include "support/GridLayout.h"

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

GridLayout::Axis::Axis(double low, double high, std::size_t count) noexcept
    : Low(low), High(high), Width((high - low) / static_cast<double>(count)),
      Buckets(low, high, count)
{
}

double GridLayout::Axis::CellLow(std::size_t c, double slack) const noexcept
{
    if (c == 0 || !Buckets.Spreads())
    {
        return -std::numeric_limits<double>::infinity();
    }
    return Low + static_cast<double>(c) * Width - slack;
}

double GridLayout::Axis::CellHigh(std::size_t c, double slack) const noexcept
{
    if (c + 1 >= Buckets.Count() || !Buckets.Spreads())
    {
        return std::numeric_limits<double>::infinity();
    }
    return Low + static_cast<double>(c + 1) * Width + slack;
}

// About square cells: a flat rectangle gets one row, a thin upright one one column.
GridLayout::GridLayout(const Rectangle& bounds, std::size_t cells) noexcept
{
    if (bounds.IsEmpty())
    {
        return;
    }
    const double width = bounds.MaxX - bounds.MinX;
    const double height = bounds.MaxY - bounds.MinY;
    const double n = static_cast<double>(std::max<std::size_t>(cells, 1));
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
    m_x = Axis(bounds.MinX, bounds.MaxX, static_cast<std::size_t>(columns));
    m_y = Axis(bounds.MinY, bounds.MaxY, static_cast<std::size_t>(rows));
    m_slack = SlackOf(std::max({std::fabs(bounds.MinX), std::fabs(bounds.MaxX),
                                std::fabs(bounds.MinY), std::fabs(bounds.MaxY)}));
}

GridLayout::Walk GridLayout::WalkAlong(const Point& start, const Point& end,
                                       double reach) const noexcept
{
    Walk walk;
    walk.AlongX = std::fabs(end.X - start.X) >= std::fabs(end.Y - start.Y);
    const double s0 = walk.AlongX ? start.X : start.Y;
    const double s1 = walk.AlongX ? start.Y : start.X;
    const double e0 = walk.AlongX ? end.X : end.Y;
    const double e1 = walk.AlongX ? end.Y : end.X;
    walk.Slack = reach + m_slack +
                 SlackOf(std::max({std::fabs(s0), std::fabs(s1), std::fabs(e0), std::fabs(e1)}));
    walk.Start = s0;
    walk.StartMinor = s1;
    walk.Low = std::min(s0, e0);
    walk.High = std::max(s0, e0);
    walk.Slope = e0 == s0 ? 0.0 : (e1 - s1) / (e0 - s0);
    const Axis& major = walk.AlongX ? m_x : m_y;
    walk.First = major.CellOf(walk.Low - walk.Slack);
    walk.Last = major.CellOf(walk.High + walk.Slack);
    return walk;
}

} // namespace Arealis::Detail
