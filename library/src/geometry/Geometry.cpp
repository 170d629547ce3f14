#include "Arealis/Geometry.h"

#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"

#include <cmath>

namespace Arealis
{

namespace
{

template <class TGetPoint>
double SignedAreaOf(std::size_t count, TGetPoint pointAt) noexcept
{
    // The edges in order, the closing one last, each point read once: the same sum, term by
    // term, as indexing the next point modulo the count, without a division per edge.
    if (count == 0)
    {
        return 0.0;
    }
    double sum = 0.0;
    const Point first = pointAt(0);
    Point a = first;
    for (std::size_t i = 1; i < count; ++i)
    {
        const Point b = pointAt(i);
        sum += (b.X - a.X) * (b.Y + a.Y);
        a = b;
    }
    sum += (first.X - a.X) * (first.Y + a.Y);
    return 0.5 * sum;
}

} // namespace

double SignedArea(std::span<Node* const> nodes) noexcept
{
    return SignedAreaOf(nodes.size(),
                        [nodes](std::size_t i) -> const Point& { return nodes[i]->Position; });
}

double SignedArea(std::span<const Point> points) noexcept
{
    return SignedAreaOf(points.size(),
                        [points](std::size_t i) -> const Point& { return points[i]; });
}

double SquaredDistanceToSegment(const Point& p, const Point& a, const Point& b) noexcept
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double alongFromA = (p.X - a.X) * dx + (p.Y - a.Y) * dy;
    const double alongFromB = (p.X - b.X) * dx + (p.Y - b.Y) * dy;
    if (alongFromA > 0.0 && alongFromB < 0.0)
    {
        const double cross = (p.X - a.X) * dy - (p.Y - a.Y) * dx;
        return cross * cross / (dx * dx + dy * dy);
    }
    return alongFromA <= 0.0 ? SquaredDistance(p, a) : SquaredDistance(p, b);
}

void CheckTolerance(double dToleranceDistance, const char* unit, int line)
{
    if (!(dToleranceDistance >= 0.0))
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::NegativeTolerance,
                                            Exceptions::MakeLocation(unit, line));
    }
}

void CheckFinite(const Point& point, const char* unit, int line)
{
    if (!std::isfinite(point.X) || !std::isfinite(point.Y))
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::NonFiniteCoordinate,
                                            Exceptions::MakeLocation(unit, line));
    }
}

void CheckFinite(std::span<const Point> points, const char* unit, int line)
{
    for (const Point& point : points)
    {
        CheckFinite(point, unit, line);
    }
}

std::int32_t FindNearestNode(std::span<Node* const> nodes, const Point& p,
                             double dToleranceDistance) noexcept
{
    const Rectangle box{p.X - dToleranceDistance, p.Y - dToleranceDistance,
                        p.X + dToleranceDistance, p.Y + dToleranceDistance};
    double best = dToleranceDistance * dToleranceDistance;
    std::int32_t found = -1;
    for (std::size_t i = 0; i < nodes.size(); ++i)
    {
        const Point& q = nodes[i]->Position;
        if (!box.Contains(q))
        {
            continue;
        }
        const double d = SquaredDistance(p, q);
        if (d < best || (found < 0 && d == best))
        {
            found = static_cast<std::int32_t>(i);
            best = d;
        }
    }
    return found;
}

} // namespace Arealis
