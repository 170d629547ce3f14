#include "intersection/RingClearance.h"

#include "Arealis/Rectangle.h"
#include "support/GridLayout.h"
#include "support/LinearBuckets.h"
#include "support/ReusedBuffer.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace Arealis::Detail
{

namespace
{

constexpr double Epsilon = std::numeric_limits<double>::epsilon();

// The sign of the cross product of b - a and p - a: 1 when p lies left of the line from a to b,
// -1 when right, 0 when the rounding of the product could hide its sign.
int Orientation(const Point& a, const Point& b, const Point& p) noexcept
{
    const double px = (b.X - a.X) * (p.Y - a.Y);
    const double py = (b.Y - a.Y) * (p.X - a.X);
    const double error = 8.0 * Epsilon * (std::fabs(px) + std::fabs(py));
    const double cross = px - py;
    if (cross > error)
    {
        return 1;
    }
    return cross < -error ? -1 : 0;
}

// Whether p and q lie strictly on one side of the line through a and b, for certain.
bool AreOnOneSide(const Point& a, const Point& b, const Point& p, const Point& q) noexcept
{
    const int side = Orientation(a, b, p);
    return side != 0 && side == Orientation(a, b, q);
}

// Whether the distance of p from the segment a-b is at most the square root of limitSquared,
// as computed; the caller's limit holds the slack for the rounding. Most vertices looked at lie
// far from the edge's line, which is told without a division.
bool IsWithin(const Point& p, const Point& a, const Point& b, double limitSquared) noexcept
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double vx = p.X - a.X;
    const double vy = p.Y - a.Y;
    const double lengthSquared = dx * dx + dy * dy;
    const double cross = vx * dy - vy * dx;
    if (cross * cross > limitSquared * lengthSquared)
    {
        return false;
    }
    const double t =
        lengthSquared > 0.0 ? std::clamp((vx * dx + vy * dy) / lengthSquared, 0.0, 1.0) : 0.0;
    const double ex = vx - t * dx;
    const double ey = vy - t * dy;
    return ex * ex + ey * ey <= limitSquared;
}

bool AreNeighbours(std::uint32_t a, std::uint32_t b, std::size_t count) noexcept
{
    const std::uint32_t difference = a > b ? a - b : b - a;
    return difference <= 1 || difference + 1 == count;
}

} // namespace

bool RingClearance::IsClear(std::span<Node* const> nodes, double reach)
{
    Clear(true);
    const std::size_t count = nodes.size();
    if (count < 4 || count >= std::numeric_limits<std::uint32_t>::max())
    {
        return false;
    }
    m_points.reserve(count);
    for (const Node* node : nodes)
    {
        m_points.push_back(node->Position);
    }
    const bool clear = VerticesKeepClear(reach) && EdgesCrossNowhere();
    Clear(true);
    return clear;
}

// Files the vertices in a grid of about one cell per vertex, then walks every edge through the
// cells within reach of it and measures its distance from the vertices there that are not its
// own ends. The grid's walk covers every point within reach in both coordinates, so every
// vertex within reach is measured.
bool RingClearance::VerticesKeepClear(double reach)
{
    const auto count = static_cast<std::uint32_t>(m_points.size());
    Rectangle bounds;
    double magnitude = 0.0;
    for (const Point& p : m_points)
    {
        bounds.Extend(p);
        magnitude = std::max({magnitude, std::fabs(p.X), std::fabs(p.Y)});
    }
    const GridLayout grid(bounds, count);
    const std::size_t cells = grid.CellCount();
    m_cellStarts.assign(cells + 1, 0);
    for (const Point& p : m_points)
    {
        ++m_cellStarts[grid.CellOf(p)];
    }
    CountsToStarts(m_cellStarts);
    m_cellVertices.resize(count);
    m_cellPoints.resize(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::uint32_t at = m_cellStarts[grid.CellOf(m_points[i])]++;
        m_cellVertices[at] = i;
        m_cellPoints[at] = m_points[i];
    }
    // Each start has moved on to the next cell's: move them back.
    std::copy_backward(m_cellStarts.begin(), m_cellStarts.end() - 1, m_cellStarts.end());
    m_cellStarts.front() = 0;

    // The distance is computed from differences of coordinates up to magnitude: its rounding
    // stays far below this slack.
    const double limit = reach + 64.0 * Epsilon * magnitude;
    const double limitSquared = limit * limit;
    const std::size_t allowed = MaxWorkPerVertex * count;
    std::size_t work = 0;
    bool near = false;
    for (std::uint32_t edge = 0; edge < count && !near && work <= allowed; ++edge)
    {
        const std::uint32_t end = NextNode(edge);
        const Point& a = m_points[edge];
        const Point& b = m_points[end];
        grid.ForEachRunNearSegment(
            a, b, limit,
            [&](std::size_t row, std::size_t firstColumn, std::size_t lastColumn)
            {
                if (near || work > allowed)
                {
                    return;
                }
                const std::size_t rowStart = row * grid.Columns();
                const std::uint32_t from = m_cellStarts[rowStart + firstColumn];
                const std::uint32_t to = m_cellStarts[rowStart + lastColumn + 1];
                work += (lastColumn - firstColumn + 1) + (to - from);
                for (std::uint32_t i = from; i < to && !near; ++i)
                {
                    const std::uint32_t vertex = m_cellVertices[i];
                    near = IsWithin(m_cellPoints[i], a, b, limitSquared) && vertex != edge &&
                           vertex != end;
                }
            });
    }
    return !near && work <= allowed;
}

// The sweep over the vertices in the order of x, then y. Edges of length 0 have no place in
// the order and are left to the caller.
bool RingClearance::EdgesCrossNowhere()
{
    const auto count = static_cast<std::uint32_t>(m_points.size());
    m_edges.resize(count);
    for (std::uint32_t edge = 0; edge < count; ++edge)
    {
        const Point& start = m_points[edge];
        const Point& end = m_points[NextNode(edge)];
        if (start == end)
        {
            return false;
        }
        const bool startsLeft = start < end;
        m_edges[edge] = {startsLeft ? start : end, startsLeft ? end : start, startsLeft};
    }
    m_order.resize(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        m_order[i] = i;
    }
    std::sort(m_order.begin(), m_order.end(),
              [this](std::uint32_t a, std::uint32_t b) { return m_points[a] < m_points[b]; });
    m_places.resize(count);
    for (const std::uint32_t vertex : m_order)
    {
        if (!ProcessVertex(vertex))
        {
            return false;
        }
    }
    return true;
}

// The edges that end at the vertex leave the status before those that start there enter it.
bool RingClearance::ProcessVertex(std::uint32_t vertex)
{
    const auto count = static_cast<std::uint32_t>(m_points.size());
    const std::uint32_t before = vertex == 0 ? count - 1 : vertex - 1;
    const std::uint32_t after = vertex;
    const bool beforeEndsHere = StartsLeft(before);
    const bool afterEndsHere = !StartsLeft(after);
    if ((beforeEndsHere && !LeaveStatus(before)) || (afterEndsHere && !LeaveStatus(after)))
    {
        return false;
    }
    m_enteringVertex = vertex;
    return (beforeEndsHere || EnterStatus(before)) && (afterEndsHere || EnterStatus(after));
}

// Removes the edge; the edges on either side of it become adjacent and are tested.
bool RingClearance::LeaveStatus(std::uint32_t edge)
{
    const Status::iterator place = m_places[edge];
    const Status::iterator above = std::next(place);
    const bool hasBoth = place != m_status.begin() && above != m_status.end();
    const std::uint32_t below = hasBoth ? *std::prev(place) : 0;
    m_status.erase(place);
    return !(hasBoth && MayCross(below, *above));
}

// Enters the edge at its left end, the vertex being processed, and tests it against the edges
// on either side of it.
bool RingClearance::EnterStatus(std::uint32_t edge)
{
    m_entering = edge;
    const auto [place, inserted] = m_status.insert(edge);
    if (!inserted || m_undecided)
    {
        return false;
    }
    m_places[edge] = place;
    if (place != m_status.begin() && MayCross(*std::prev(place), edge))
    {
        return false;
    }
    const Status::iterator above = std::next(place);
    return above == m_status.end() || !MayCross(edge, *above);
}

// Whether two edges may cross: neighbours never do once the vertices keep clear, and others
// do not when their boxes lie apart or one lies wholly on one side of the other's line.
bool RingClearance::MayCross(std::uint32_t a, std::uint32_t b) const noexcept
{
    if (AreNeighbours(a, b, m_points.size()))
    {
        return false;
    }
    const Point& aLeft = LeftOf(a);
    const Point& aRight = RightOf(a);
    const Point& bLeft = LeftOf(b);
    const Point& bRight = RightOf(b);
    const Rectangle aBounds(aLeft, aRight);
    const Rectangle bBounds(bLeft, bRight);
    if (aBounds.MaxX < bBounds.MinX || bBounds.MaxX < aBounds.MinX ||
        aBounds.MaxY < bBounds.MinY || bBounds.MaxY < aBounds.MinY)
    {
        return false;
    }
    return !AreOnOneSide(aLeft, aRight, bLeft, bRight) &&
           !AreOnOneSide(bLeft, bRight, aLeft, aRight);
}

// The set compares only the entering edge with edges already in it.
bool RingClearance::IsBelow(std::uint32_t a, std::uint32_t b) const noexcept
{
    if (a == b)
    {
        return false;
    }
    if (a == m_entering)
    {
        return SideOfEntering(b) < 0;
    }
    if (b == m_entering)
    {
        return SideOfEntering(a) > 0;
    }
    m_undecided = true;
    return a < b;
}

// 1 when the entering edge lies above the active edge along the sweep line, -1 when below, 0
// when that could not be told. An edge that starts at the same vertex is told by direction;
// any other active edge reaches past the vertex on both sides in sweep order, and the vertex,
// farther than the reach from it, lies clearly above or below its line.
int RingClearance::SideOfEntering(std::uint32_t edge) const noexcept
{
    const Point& vertex = m_points[m_enteringVertex];
    int side = 0;
    if (LeftOf(edge) == vertex)
    {
        side = Orientation(vertex, RightOf(edge), RightOf(m_entering));
    }
    else
    {
        side = Orientation(LeftOf(edge), RightOf(edge), vertex);
    }
    if (side == 0)
    {
        m_undecided = true;
    }
    return side;
}

void RingClearance::Clear(bool keep) noexcept
{
    ResetBuffer(m_points, keep);
    ResetBuffer(m_cellStarts, keep);
    ResetBuffer(m_cellVertices, keep);
    ResetBuffer(m_cellPoints, keep);
    ResetBuffer(m_order, keep);
    ResetBuffer(m_edges, keep);
    ResetBuffer(m_places, keep);
    m_status.clear();
    m_entering = 0;
    m_enteringVertex = 0;
    m_undecided = false;
}

bool RingClearance::IsEmpty() const noexcept
{
    return m_points.empty() && m_cellPoints.empty() && m_cellStarts.empty() && m_cellVertices.empty() &&
           m_order.empty() && m_edges.empty() && m_places.empty() && m_status.empty();
}

std::size_t RingClearance::BufferBytes() const noexcept
{
    return (m_points.capacity() + m_cellPoints.capacity()) * sizeof(Point) +
           (m_cellStarts.capacity() + m_cellVertices.capacity() + m_order.capacity()) *
               sizeof(std::uint32_t) +
           m_edges.capacity() * sizeof(SweptEdge) + m_places.capacity() * sizeof(Status::iterator);
}

} // namespace Arealis::Detail
