#include "validation/RingEdgeGrid.h"

#include "Arealis/Geometry.h"
#include "support/LineReach.h"

#include <algorithm>

namespace Arealis::Detail
{

bool CrossesRightwardRay(const Point& a, const Point& b, const Point& p) noexcept
{
    return (a.Y > p.Y) != (b.Y > p.Y) && a.X + (p.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y) > p.X;
}

bool RingEdgeGrid::CrossesRay(RayDirection direction, const Point& a, const Point& b,
                              const Point& p) noexcept
{
    switch (direction)
    {
    case RayDirection::Right:
        return CrossesRightwardRay(a, b, p);
    case RayDirection::Left:
        return (a.Y > p.Y) != (b.Y > p.Y) && a.X + (p.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y) < p.X;
    case RayDirection::Up:
        return (a.X > p.X) != (b.X > p.X) && a.Y + (p.X - a.X) * (b.Y - a.Y) / (b.X - a.X) > p.Y;
    case RayDirection::Down:
        return (a.X > p.X) != (b.X > p.X) && a.Y + (p.X - a.X) * (b.Y - a.Y) / (b.X - a.X) < p.Y;
    }
    return false;
}

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
    return LineReach(a, b, reach).AreBeyond(c, d) || LineReach(c, d, reach).AreBeyond(a, b);
}

PointPlace PlaceOfClearPoint(const Ring& ring, const Point& p, double margin)
{
    const double margin2 = margin * margin;
    bool inside = false;
    const std::int32_t n = ring.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        const Point& a = ring.GetNode(i)->Position;
        const Point& b = ring.GetNode(i + 1 < n ? i + 1 : 0)->Position;
        const bool farAside =
            std::min(a.X, b.X) - p.X > margin || p.X - std::max(a.X, b.X) > margin ||
            std::min(a.Y, b.Y) - p.Y > margin || p.Y - std::max(a.Y, b.Y) > margin;
        if (!farAside && SquaredDistanceToSegment(p, a, b) <= margin2)
        {
            return PointPlace::Unsure;
        }
        if (CrossesRightwardRay(a, b, p))
        {
            inside = !inside;
        }
    }
    return inside ? PointPlace::Inside : PointPlace::Outside;
}

bool IsInsideRing(const Ring& ring, const Point& p)
{
    const std::int32_t n = ring.Count();
    bool inside = false;
    for (std::int32_t i = 0; i < n; ++i)
    {
        if (CrossesRightwardRay(ring.GetNode(i)->Position,
                                ring.GetNode(i + 1 < n ? i + 1 : 0)->Position, p))
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
    m_lastQuery.assign(m_points.size(), 0);
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
    return !LineReach(a, b, 0.0).IsBeyond(area);
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
            if (!AreSegmentsApart(m_points[k], m_points[k + 1 < m_points.size() ? k + 1 : 0], start,
                                  end, reach))
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
    // Any ray from a point off the boundary crosses the ring an odd number of times exactly
    // when the point is inside, so the one through the fewest cells is taken.
    const std::size_t row = m_layout.RowOf(p.Y);
    const std::size_t column = m_layout.ColumnOf(p.X);
    const std::size_t lastRow = m_layout.Rows() - 1;
    const std::size_t lastColumn = m_layout.Columns() - 1;
    const std::size_t across = std::min(column, lastColumn - column);
    const std::size_t along = std::min(row, lastRow - row);
    m_found.clear();
    RayDirection direction{};
    if (across <= along)
    {
        direction = column <= lastColumn - column ? RayDirection::Left : RayDirection::Right;
        const bool left = direction == RayDirection::Left;
        CollectRun(row, left ? 0 : column, left ? column : lastColumn, m_found);
    }
    else
    {
        direction = row <= lastRow - row ? RayDirection::Down : RayDirection::Up;
        const bool down = direction == RayDirection::Down;
        for (std::size_t r = down ? 0 : row; r <= (down ? row : lastRow); ++r)
        {
            CollectRun(r, column, column, m_found);
        }
    }
    // An edge that passes several of the cells is counted once.
    if (++m_query == 0)
    {
        std::fill(m_lastQuery.begin(), m_lastQuery.end(), 0);
        m_query = 1;
    }
    bool inside = false;
    for (const std::int32_t edge : m_found)
    {
        const auto i = static_cast<std::size_t>(edge);
        if (m_lastQuery[i] == m_query)
        {
            continue;
        }
        m_lastQuery[i] = m_query;
        if (CrossesRay(direction, m_points[i], m_points[i + 1 < m_points.size() ? i + 1 : 0], p))
        {
            inside = !inside;
        }
    }
    return inside;
}

} // namespace Arealis::Detail
