#include "validation/RingEdgeGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Arealis::Detail
{

namespace
{

// The side of the line through a and b on which p lies farther than reach, even after the
// rounding of the test (1 or -1), or 0.
int SideBeyond(const Point& a, const Point& b, const Point& p, double reach) noexcept
{
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double px = (p.X - a.X) * dy;
    const double py = (p.Y - a.Y) * dx;
    const double error = 8.0 * epsilon * (std::fabs(px) + std::fabs(py));
    const double cross = px - py;
    if (std::fabs(cross) - error <= reach * std::sqrt(dx * dx + dy * dy))
    {
        return 0;
    }
    return cross > 0.0 ? 1 : -1;
}

bool AreBeyondLine(const Point& a, const Point& b, const Point& p, const Point& q,
                   double reach) noexcept
{
    const int side = SideBeyond(a, b, p, reach);
    return side != 0 && side == SideBeyond(a, b, q, reach);
}

bool CrossesRay(const Point& a, const Point& b, const Point& p) noexcept
{
    return (a.Y > p.Y) != (b.Y > p.Y) && a.X + (p.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y) > p.X;
}

} // namespace

bool AreSegmentsApart(const Point& a, const Point& b, const Point& c, const Point& d,
                      double reach) noexcept
{
    const Rectangle first(a, b);
    const Rectangle second(c, d);
    if (second.MinX > first.MaxX + reach || second.MaxX < first.MinX - reach ||
        second.MinY > first.MaxY + reach || second.MaxY < first.MinY - reach)
    {
        return true;
    }
    return AreBeyondLine(a, b, c, d, reach) || AreBeyondLine(c, d, a, b, reach);
}

bool IsInsideRing(const Ring& ring, const Point& p)
{
    const std::int32_t n = ring.Count();
    bool inside = false;
    for (std::int32_t i = 0; i < n; ++i)
    {
        if (CrossesRay(ring.GetNode(i)->Position, ring.GetNode(i + 1 < n ? i + 1 : 0)->Position, p))
        {
            inside = !inside;
        }
    }
    return inside;
}

RingEdgeGrid::RingEdgeGrid(const Ring& ring)
{
    const std::int32_t n = ring.Count();
    m_points.reserve(static_cast<std::size_t>(n));
    for (std::int32_t i = 0; i < n; ++i)
    {
        m_points.push_back(ring.GetNode(i)->Position);
        m_bounds.Extend(m_points.back());
    }
    m_layout = GridLayout(m_bounds, m_points.size());
    // Each edge in every cell it passes: counted first, then placed.
    m_starts.assign(m_layout.CellCount() + 1, 0);
    const auto forEachCellOfEdge = [this](std::size_t i, auto visit)
    {
        const Point& start = m_points[i];
        const Point& end = m_points[i + 1 < m_points.size() ? i + 1 : 0];
        m_layout.ForEachRunNearSegment(
            start, end, 0.0,
            [&](std::size_t row, std::size_t firstColumn, std::size_t lastColumn)
            {
                for (std::size_t c = firstColumn; c <= lastColumn; ++c)
                {
                    visit(row * m_layout.Columns() + c);
                }
            });
    };
    for (std::size_t i = 0; i < m_points.size(); ++i)
    {
        forEachCellOfEdge(i, [this](std::size_t cell) { ++m_starts[cell + 1]; });
    }
    for (std::size_t c = 1; c < m_starts.size(); ++c)
    {
        m_starts[c] += m_starts[c - 1];
    }
    m_entries.resize(m_starts.back());
    std::vector<std::uint32_t> next(m_starts.begin(), m_starts.end() - 1);
    for (std::size_t i = 0; i < m_points.size(); ++i)
    {
        forEachCellOfEdge(i, [&](std::size_t cell)
                          { m_entries[next[cell]++] = static_cast<std::int32_t>(i); });
    }
}

void RingEdgeGrid::CollectRun(std::size_t row, std::size_t firstColumn, std::size_t lastColumn,
                              std::vector<std::int32_t>& edges) const
{
    const std::size_t first = row * m_layout.Columns() + firstColumn;
    const std::size_t last = row * m_layout.Columns() + lastColumn;
    edges.insert(edges.end(), m_entries.begin() + m_starts[first],
                 m_entries.begin() + m_starts[last + 1]);
}

// Near unless the edge's bounds miss the area or all four corners of the area lie clearly on
// one side of the edge's line.
bool RingEdgeGrid::IsEdgeNear(std::int32_t edge, const Rectangle& area) const noexcept
{
    const auto i = static_cast<std::size_t>(edge);
    const Point& a = m_points[i];
    const Point& b = m_points[i + 1 < m_points.size() ? i + 1 : 0];
    if (!Rectangle(a, b).Intersects(area))
    {
        return false;
    }
    constexpr double epsilon = std::numeric_limits<double>::epsilon();
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    int sides = 0;
    for (const Point& corner : {Point{area.MinX, area.MinY}, Point{area.MaxX, area.MinY},
                                Point{area.MinX, area.MaxY}, Point{area.MaxX, area.MaxY}})
    {
        const double px = (corner.X - a.X) * dy;
        const double py = (corner.Y - a.Y) * dx;
        const double error = 8.0 * epsilon * (std::fabs(px) + std::fabs(py));
        const double cross = px - py;
        if (std::fabs(cross) <= error)
        {
            return true;
        }
        sides |= cross > 0.0 ? 1 : 2;
    }
    return sides == 3;
}

bool RingEdgeGrid::HasEdgeNear(const Rectangle& rectangle, double reach) const
{
    if (m_points.empty())
    {
        return false;
    }
    const Rectangle area{rectangle.MinX - reach, rectangle.MinY - reach, rectangle.MaxX + reach,
                         rectangle.MaxY + reach};
    const std::size_t firstColumn = m_layout.ColumnOf(area.MinX);
    const std::size_t lastColumn = m_layout.ColumnOf(area.MaxX);
    for (std::size_t row = m_layout.RowOf(area.MinY); row <= m_layout.RowOf(area.MaxY); ++row)
    {
        m_found.clear();
        CollectRun(row, firstColumn, lastColumn, m_found);
        for (const std::int32_t edge : m_found)
        {
            if (IsEdgeNear(edge, area))
            {
                return true;
            }
        }
    }
    return false;
}

bool RingEdgeGrid::HasEdgeNear(const Ring& ring, double reach) const
{
    const std::int32_t n = ring.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        const Point& start = ring.GetNode(i)->Position;
        const Point& end = ring.GetNode(i + 1 < n ? i + 1 : 0)->Position;
        m_found.clear();
        m_layout.ForEachRunNearSegment(
            start, end, reach,
            [&](std::size_t row, std::size_t firstColumn, std::size_t lastColumn)
            { CollectRun(row, firstColumn, lastColumn, m_found); });
        for (const std::int32_t edge : m_found)
        {
            const auto k = static_cast<std::size_t>(edge);
            if (!AreSegmentsApart(m_points[k], m_points[k + 1 < m_points.size() ? k + 1 : 0],
                                  start, end, reach))
            {
                return true;
            }
        }
    }
    return false;
}

bool RingEdgeGrid::Encloses(const Point& p) const
{
    if (m_points.empty())
    {
        return false;
    }
    m_found.clear();
    CollectRun(m_layout.RowOf(p.Y), m_layout.ColumnOf(p.X), m_layout.Columns() - 1, m_found);
    std::sort(m_found.begin(), m_found.end());
    m_found.erase(std::unique(m_found.begin(), m_found.end()), m_found.end());
    bool inside = false;
    for (const std::int32_t edge : m_found)
    {
        const auto i = static_cast<std::size_t>(edge);
        const Point& a = m_points[i];
        const Point& b = m_points[i + 1 < m_points.size() ? i + 1 : 0];
        if (CrossesRay(a, b, p))
        {
            inside = !inside;
        }
    }
    return inside;
}

} // namespace Arealis::Detail
