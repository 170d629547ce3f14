#include "model/RayCrossings.h"

#include <algorithm>
#include <span>
#include <vector>

namespace Arealis
{

namespace
{

// The ray from a point towards +X, walked along a ring's edges in ring order: counts the
// crossings. Points at the height of vertices and horizontal edges are resolved by remembering
// from which side the ray's line was reached. An edge whose height range misses the ray's line
// changes nothing, so the walk may skip such edges as long as it keeps the order of the rest.
class RayCrossings
{
public:
    explicit RayCrossings(const Point& point) : m_point(point), m_arrivalSide(point.Y) {}

    void Step(const Point& prev, const Point& cur)
    {
        if (prev.Y == cur.Y)
        {
            // horizontal edge: it never crosses the ray by itself
        }
        else if (cur.Y == m_point.Y)
        {
            if (m_point.X <= cur.X)
            {
                m_arrivalSide = prev.Y;
            }
        }
        else if (prev.Y == m_point.Y)
        {
            const bool oppositeSides = (m_arrivalSide < m_point.Y && cur.Y > m_point.Y) ||
                                       (m_arrivalSide > m_point.Y && cur.Y < m_point.Y);
            if (m_point.X <= prev.X && oppositeSides)
            {
                ++m_crossings;
            }
        }
        else if ((prev.Y < m_point.Y) != (cur.Y < m_point.Y))
        {
            const double c =
                (cur.X - prev.X) * (m_point.Y - prev.Y) - (cur.Y - prev.Y) * (m_point.X - prev.X);
            const bool upward = prev.Y <= cur.Y;
            if ((upward && c > 0.0) || (!upward && c <= 0.0))
            {
                ++m_crossings;
            }
        }
    }

    std::int32_t Count() const noexcept { return m_crossings; }

private:
    Point m_point;
    double m_arrivalSide; // neither side until the ray's line is reached
    std::int32_t m_crossings = 0;
};

// Walks the edges of the ring from the first node off the ray's line, all of them or (with
// useIndex, on a long ring) only those that meet the ray's line, in the same order: the
// skipped edges are inert, so both walks give the same count. On a ring of n nodes the line
// meets about the square root of n edges.
std::int32_t Walk(const Ring& ring, const Point& point, bool useIndex)
{
    const std::int32_t n = ring.Count();
    if (n == 0)
    {
        return 0;
    }
    const Rectangle bounds = ring.GetBounds();
    if (!(bounds.MinY < point.Y && point.Y < bounds.MaxY) || point.X >= bounds.MaxX)
    {
        return 0;
    }
    std::int32_t start = 0;
    while (ring.GetNode(start)->Position.Y == point.Y)
    {
        ++start; // one node lies off the line: MinY < point.Y < MaxY
    }
    const std::span<Node* const> nodes = ring.GetNodes();
    const auto at = [&nodes, n](std::int32_t i) -> const Point&
    { return nodes[static_cast<std::size_t>(i % n)]->Position; };
    RayCrossings ray(point);
    if (!useIndex || n <= Ring::HeightIndexThreshold)
    {
        for (std::int32_t k = 0; k < n; ++k)
        {
            ray.Step(at(start + k), at(start + k + 1));
        }
        return ray.Count();
    }
    std::vector<std::int32_t> steps;
    ring.GetEdgesAtHeight(point.Y, steps);
    for (std::int32_t& step : steps)
    {
        step = (step - start + n) % n; // position of the edge in the walk from start
    }
    std::sort(steps.begin(), steps.end());
    for (const std::int32_t k : steps)
    {
        ray.Step(at(start + k), at(start + k + 1));
    }
    return ray.Count();
}

} // namespace

std::int32_t CountRayCrossings(const Ring& ring, const Point& point)
{
    return Walk(ring, point, true);
}

std::int32_t CountRayCrossingsByScan(const Ring& ring, const Point& point)
{
    return Walk(ring, point, false);
}

} // namespace Arealis
