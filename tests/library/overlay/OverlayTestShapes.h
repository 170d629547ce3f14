#pragma once

// Random polygon pairs for the overlay tests, built on an integer grid so that every
// relation between input vertices and edges is decided exactly: a vertex either lies exactly
// on an edge or stays at least 1/length of that edge away from it. Coordinates are scaled by
// 100 when polygons are made, so that this distance stays far above the 0.0005 within which
// the overlay snaps vertices onto edges, and the rounding of crossing points to the node grid
// stays small against the areas.

#include "Arealis/Point.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "PolygonQueries.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace OverlayTesting
{

using Arealis::Testing::NetArea;
using Arealis::Testing::Perimeter;

using Arealis::Point;
using Vertices = std::vector<Point>;

// One exterior ring (clockwise) with its holes (counter-clockwise).
struct Part
{
    Vertices Exterior;
    std::vector<Vertices> Holes;
};

struct Shape
{
    std::vector<Part> Parts;
};

inline constexpr double GridScale = 100.0;

// --- Exact predicates on grid coordinates --------------------------------------------------

inline double Cross(const Point& o, const Point& a, const Point& b)
{
    return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
}

inline bool IsOnSegment(const Point& p, const Point& a, const Point& b)
{
    return Cross(a, b, p) == 0 && std::min(a.X, b.X) <= p.X && p.X <= std::max(a.X, b.X) &&
           std::min(a.Y, b.Y) <= p.Y && p.Y <= std::max(a.Y, b.Y);
}

inline int Sign(double v)
{
    return (v > 0) - (v < 0);
}

// Closed segments: touching counts.
inline bool SegmentsMeet(const Point& a, const Point& b, const Point& c, const Point& d)
{
    const int d1 = Sign(Cross(a, b, c));
    const int d2 = Sign(Cross(a, b, d));
    const int d3 = Sign(Cross(c, d, a));
    const int d4 = Sign(Cross(c, d, b));
    if (d1 * d2 < 0 && d3 * d4 < 0)
    {
        return true;
    }
    return IsOnSegment(c, a, b) || IsOnSegment(d, a, b) || IsOnSegment(a, c, d) ||
           IsOnSegment(b, c, d);
}

// Positive for clockwise rings, as in the library.
inline double SignedArea(const Vertices& ring)
{
    double sum = 0;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        sum += (b.X - a.X) * (b.Y + a.Y);
    }
    return sum / 2;
}

inline bool IsSimple(const Vertices& ring)
{
    const std::size_t n = ring.size();
    if (n < 3 || SignedArea(ring) == 0)
    {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i)
    {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % n];
        if (a == b)
        {
            return false;
        }
        // Neighbouring edges may only share their common vertex.
        const Point& c = ring[(i + 2) % n];
        if (IsOnSegment(c, a, b) || IsOnSegment(a, b, c))
        {
            return false;
        }
        for (std::size_t j = i + 2; j < n; ++j)
        {
            if (i == 0 && j == n - 1)
            {
                continue;
            }
            if (SegmentsMeet(a, b, ring[j], ring[(j + 1) % n]))
            {
                return false;
            }
        }
    }
    return true;
}

inline bool BoundariesMeet(const Vertices& r, const Vertices& s)
{
    for (std::size_t i = 0; i < r.size(); ++i)
    {
        for (std::size_t j = 0; j < s.size(); ++j)
        {
            if (SegmentsMeet(r[i], r[(i + 1) % r.size()], s[j], s[(j + 1) % s.size()]))
            {
                return true;
            }
        }
    }
    return false;
}

// For a point off the ring's boundary.
inline bool IsInside(const Point& p, const Vertices& ring)
{
    bool inside = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
    {
        const Point& a = ring[i];
        const Point& b = ring[j];
        if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < (b.X - a.X) * (p.Y - a.Y) / (b.Y - a.Y) + a.X)
        {
            inside = !inside;
        }
    }
    return inside;
}

// Disjoint boundaries and the first ring's first vertex inside the second.
inline bool IsStrictlyInside(const Vertices& inner, const Vertices& outer)
{
    return !BoundariesMeet(inner, outer) && IsInside(inner.front(), outer);
}

inline bool AreApart(const Vertices& r, const Vertices& s)
{
    return !BoundariesMeet(r, s) && !IsInside(r.front(), s) && !IsInside(s.front(), r);
}

inline bool IsValid(const Shape& shape)
{
    for (std::size_t i = 0; i < shape.Parts.size(); ++i)
    {
        const Part& part = shape.Parts[i];
        if (!IsSimple(part.Exterior) || SignedArea(part.Exterior) <= 0)
        {
            return false;
        }
        for (std::size_t h = 0; h < part.Holes.size(); ++h)
        {
            const Vertices& hole = part.Holes[h];
            if (!IsSimple(hole) || SignedArea(hole) >= 0 || !IsStrictlyInside(hole, part.Exterior))
            {
                return false;
            }
            for (std::size_t g = 0; g < h; ++g)
            {
                if (!AreApart(hole, part.Holes[g]))
                {
                    return false;
                }
            }
        }
        for (std::size_t j = 0; j < i; ++j)
        {
            if (!AreApart(part.Exterior, shape.Parts[j].Exterior))
            {
                return false;
            }
        }
    }
    return !shape.Parts.empty();
}

inline double Area(const Shape& shape)
{
    double area = 0;
    for (const Part& part : shape.Parts)
    {
        area += SignedArea(part.Exterior);
        for (const Vertices& hole : part.Holes)
        {
            area += SignedArea(hole);
        }
    }
    return area * GridScale * GridScale;
}

// --- Polygons ------------------------------------------------------------------------------

inline void AddRing(Arealis::Polygon& polygon, const Vertices& ring)
{
    Arealis::Ring* pRing = polygon.CreateRing();
    for (const Point& p : ring)
    {
        pRing->AddNode(p.X * GridScale, p.Y * GridScale);
    }
}

inline void AddRings(Arealis::Polygon& polygon, const Shape& shape)
{
    for (const Part& part : shape.Parts)
    {
        AddRing(polygon, part.Exterior);
        for (const Vertices& hole : part.Holes)
        {
            AddRing(polygon, hole);
        }
    }
}

inline std::unique_ptr<Arealis::Polygon> MakeFreePolygon(const Shape& shape)
{
    auto polygon = std::make_unique<Arealis::Polygon>(nullptr);
    AddRings(*polygon, shape);
    return polygon;
}

inline Arealis::Polygon* MakeLayerPolygon(Arealis::PolygonLayer& layer, const Shape& shape)
{
    Arealis::Polygon* pPolygon = layer.CreatePolygon();
    AddRings(*pPolygon, shape);
    return pPolygon;
}

// Bound of the area change of a result whose crossing points were rounded to the node grid:
// moving a vertex by at most 0.71e-6 changes the area by that much times half the length of
// its two edges, and a result's boundary is no longer than both operands' boundaries.
inline double RoundingBound(const Arealis::Polygon& a, const Arealis::Polygon& b)
{
    return 0.71e-6 * (Perimeter(a) + Perimeter(b));
}

inline int ExteriorRingCount(const Arealis::Polygon& polygon)
{
    int count = 0;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        count += rings.Current()->IsExterior() ? 1 : 0;
    }
    return count;
}

// --- Random shapes -------------------------------------------------------------------------

class ShapeGenerator
{
public:
    static constexpr int GridSize = 48;

    explicit ShapeGenerator(std::uint32_t seed) : m_random(seed) {}

    int Uniform(int low, int high)
    {
        if (low > high)
        {
            throw std::logic_error("empty range " + std::to_string(low) + ".." +
                                   std::to_string(high));
        }
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }
    bool Chance(int percent) { return Uniform(1, 100) <= percent; }

    static Vertices Rectangle(int x0, int y0, int x1, int y1)
    {
        return {{double(x0), double(y0)},
                {double(x0), double(y1)},
                {double(x1), double(y1)},
                {double(x1), double(y0)}};
    }

    Vertices RandomRectangle(int x0, int y0, int x1, int y1)
    {
        const int ax = Uniform(x0, x1 - 2);
        const int bx = Uniform(ax + 2, x1);
        const int ay = Uniform(y0, y1 - 2);
        const int by = Uniform(ay + 2, y1);
        return Rectangle(ax, ay, bx, by);
    }

    // Convex hull of random points, clockwise, without collinear vertices.
    Vertices RandomConvex(int x0, int y0, int x1, int y1, int step = 1)
    {
        for (;;)
        {
            std::vector<Point> points;
            const int count = Uniform(3, 10);
            points.reserve(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
            {
                points.push_back({double(Uniform(x0 / step, x1 / step) * step),
                                  double(Uniform(y0 / step, y1 / step) * step)});
            }
            Vertices hull = ConvexHull(points);
            if (hull.size() >= 3 && SignedArea(hull) >= 6)
            {
                return hull;
            }
        }
    }

    // A star-shaped ring around a centre; retried until simple.
    Vertices RandomStar(int x0, int y0, int x1, int y1, int minCount = 5, int maxCount = 12)
    {
        for (;;)
        {
            const double cx = Uniform(x0 + 2, x1 - 2);
            const double cy = Uniform(y0 + 2, y1 - 2);
            const double maxRadius = std::min({cx - x0, x1 - cx, cy - y0, y1 - cy});
            const int count = Uniform(minCount, maxCount);
            std::vector<double> angles;
            angles.reserve(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
            {
                angles.push_back(
                    std::uniform_real_distribution<double>(0, 2 * std::numbers::pi)(m_random));
            }
            std::sort(angles.begin(), angles.end(), std::greater<>());
            Vertices ring;
            for (const double angle : angles)
            {
                const double radius =
                    std::uniform_real_distribution<double>(1.5, std::max(2.0, maxRadius))(m_random);
                ring.push_back({std::round(cx + radius * std::cos(angle)),
                                std::round(cy + radius * std::sin(angle))});
            }
            if (IsSimple(ring) && SignedArea(ring) >= 6)
            {
                return ring;
            }
        }
    }

    // An x-monotone histogram: columns of random heights on a common base line. Columns of
    // equal height leave collinear vertices, which valid rings may have.
    Vertices RandomHistogram(int x0, int y0, int x1, int y1, int maxColumns = 5)
    {
        const int columns = Uniform(1, std::min(maxColumns, (x1 - x0) / 2));
        std::vector<int> xs{Uniform(x0, x1 - columns * 2)};
        for (int i = 0; i < columns; ++i)
        {
            xs.push_back(Uniform(xs.back() + 1, x1 - (columns - i - 1) * 2));
        }
        const int base = Uniform(y0, y1 - 2);
        Vertices ring{{double(xs[0]), double(base)}};
        for (int i = 0; i < columns; ++i)
        {
            const double height = Uniform(base + 1, y1);
            ring.push_back({double(xs[i]), height});
            ring.push_back({double(xs[i + 1]), height});
        }
        ring.push_back({double(xs.back()), double(base)});
        ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
        return ring;
    }

    Vertices RandomSimpleRing(int x0, int y0, int x1, int y1)
    {
        switch (Uniform(0, 3))
        {
        case 0:
            return RandomRectangle(x0, y0, x1, y1);
        case 1:
            return RandomConvex(x0, y0, x1, y1);
        case 2:
            return RandomStar(x0, y0, x1, y1);
        default:
            return RandomHistogram(x0, y0, x1, y1);
        }
    }

    // A part with up to two holes inside its exterior ring.
    Part RandomPartWithHoles(int x0, int y0, int x1, int y1)
    {
        for (;;)
        {
            Part part{Chance(50) ? RandomConvex(x0, y0, x1, y1) : RandomRectangle(x0, y0, x1, y1),
                      {}};
            const int holes = Uniform(1, 2);
            for (int attempt = 0; attempt < 40 && int(part.Holes.size()) < holes; ++attempt)
            {
                Vertices hole = RandomSimpleRing(x0, y0, x1, y1);
                std::reverse(hole.begin(), hole.end());
                Shape probe{{part}};
                probe.Parts[0].Holes.push_back(hole);
                if (IsValid(probe))
                {
                    part.Holes.push_back(hole);
                }
            }
            if (!part.Holes.empty())
            {
                return part;
            }
        }
    }

    Shape RandomShape()
    {
        const int g = GridSize;
        switch (Uniform(0, 5))
        {
        case 0:
            return {{Part{RandomPartWithHoles(0, 0, g, g)}}};
        case 1:
        {
            // Two exterior rings, one on each side of a random split.
            for (;;)
            {
                const int split = Uniform(g / 3, 2 * g / 3);
                Shape shape{{Part{RandomSimpleRing(0, 0, split - 1, g), {}},
                             Part{RandomSimpleRing(split + 1, 0, g, g), {}}}};
                if (IsValid(shape))
                {
                    return shape;
                }
            }
        }
        default:
            return {{Part{RandomSimpleRing(0, 0, g, g), {}}}};
        }
    }

    // The kinds of pairs that the property and differential tests draw from.
    enum class PairKind
    {
        Independent,
        SharedEdge,
        VertexOnEdge,
        Histograms,
        Identical,
        Nested,
        HoleFilled,
        Touching,
        Inscribed,
        Large,
        Count
    };

    static const char* Name(PairKind kind)
    {
        static const char* const names[] = {
            "independent", "shared edge", "vertex on edge", "histograms", "identical",
            "nested",      "hole filled", "touching",       "inscribed",  "large"};
        return names[static_cast<int>(kind)];
    }

    std::pair<Shape, Shape> RandomPair(PairKind kind)
    {
        for (;;)
        {
            std::pair<Shape, Shape> pair = MakePair(kind);
            if (IsValid(pair.first) && IsValid(pair.second))
            {
                if (Chance(50))
                {
                    std::swap(pair.first, pair.second);
                }
                return pair;
            }
        }
    }

private:
    static Vertices ConvexHull(std::vector<Point> points)
    {
        std::sort(points.begin(), points.end());
        points.erase(std::unique(points.begin(), points.end()), points.end());
        if (points.size() < 3)
        {
            return {};
        }
        // Monotone chain, counter-clockwise, dropping collinear points; reversed at the end.
        Vertices hull(2 * points.size());
        std::size_t k = 0;
        for (const Point& p : points)
        {
            while (k >= 2 && Cross(hull[k - 2], hull[k - 1], p) <= 0)
            {
                --k;
            }
            hull[k++] = p;
        }
        for (std::size_t i = points.size() - 1, t = k + 1; i-- > 0;)
        {
            const Point& p = points[i];
            while (k >= t && Cross(hull[k - 2], hull[k - 1], p) <= 0)
            {
                --k;
            }
            hull[k++] = p;
        }
        hull.resize(k - 1);
        std::reverse(hull.begin(), hull.end());
        return hull;
    }

    static Vertices Rotated(Vertices ring, std::size_t by)
    {
        std::rotate(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(by % ring.size()),
                    ring.end());
        return ring;
    }

    std::pair<Shape, Shape> MakePair(PairKind kind)
    {
        const int g = GridSize;
        switch (kind)
        {
        case PairKind::Independent:
            return {RandomShape(), RandomShape()};
        case PairKind::SharedEdge:
        {
            // Rectangles side by side: the common line is shared fully, partly or beyond.
            const int x = Uniform(8, g - 8);
            const int y0 = Uniform(0, g / 2);
            const int y1 = Uniform(y0 + 2, g);
            const int v0 = Chance(40) ? y0 : Uniform(0, g - 2);
            const int v1 = Chance(40) && y1 >= v0 + 2 ? y1 : Uniform(v0 + 2, g);
            Shape a{{Part{Rectangle(Uniform(0, x - 2), y0, x, y1), {}}}};
            Shape b{{Part{Chance(70) ? Rectangle(x, v0, Uniform(x + 2, g), v1)
                                     : RandomHistogram(x, v0, g, v1),
                          {}}}};
            if (Chance(30))
            {
                // Overlapping instead of adjacent, still sharing collinear stretches.
                b.Parts[0] = Part{Rectangle(Uniform(0, x - 2), v0, x, v1), {}};
            }
            return {a, b};
        }
        case PairKind::VertexOnEdge:
        {
            // Even coordinates, so that the midpoint of every edge lies on the grid.
            const Vertices a = RandomConvex(0, 0, g, g, 2);
            const std::size_t i = static_cast<std::size_t>(Uniform(0, int(a.size()) - 1));
            const Point& p = a[i];
            const Point& q = a[(i + 1) % a.size()];
            const Point middle{(p.X + q.X) / 2, (p.Y + q.Y) / 2};
            Vertices b{middle,
                       {double(Uniform(0, g)), double(Uniform(0, g))},
                       {double(Uniform(0, g)), double(Uniform(0, g))}};
            if (SignedArea(b) < 0)
            {
                std::reverse(b.begin(), b.end());
            }
            return {{{Part{a, {}}}}, {{Part{b, {}}}}};
        }
        case PairKind::Histograms:
        {
            // A common base line and overlapping columns: many collinear partial overlaps.
            const int base = Uniform(0, g / 2);
            return {{{Part{RandomHistogram(0, base, g, g), {}}}},
                    {{Part{RandomHistogram(0, base, g, g), {}}}}};
        }
        case PairKind::Identical:
        {
            Shape a = RandomShape();
            Shape b = a;
            for (Part& part : b.Parts)
            {
                part.Exterior = Rotated(part.Exterior, static_cast<std::size_t>(Uniform(0, 5)));
            }
            return {a, b};
        }
        case PairKind::Nested:
        {
            const Vertices outer = RandomRectangle(0, 0, g, g);
            const int x0 = int(outer[0].X);
            const int y0 = int(outer[0].Y);
            const int x1 = int(outer[2].X);
            const int y1 = int(outer[2].Y);
            Vertices inner = outer;
            if (x1 - x0 >= 6 && y1 - y0 >= 6)
            {
                inner = RandomSimpleRing(x0 + 1, y0 + 1, x1 - 1, y1 - 1);
            }
            return {{{Part{outer, {}}}}, {{Part{inner, {}}}}};
        }
        case PairKind::HoleFilled:
        {
            // B is A's hole turned into an exterior ring, or a ring inside the hole.
            const Part a = RandomPartWithHoles(0, 0, g, g);
            Vertices hole = a.Holes.front();
            std::reverse(hole.begin(), hole.end());
            return {{{a}}, {{Part{hole, {}}}}};
        }
        case PairKind::Touching:
        {
            // Rectangles meeting at a corner or along part of an edge, or a triangle whose
            // vertex touches a rectangle's edge from outside.
            const int x = Uniform(6, g - 6);
            const int y = Uniform(6, g - 6);
            Shape a{{Part{Rectangle(Uniform(0, x - 2), Uniform(0, y - 2), x, y), {}}}};
            switch (Uniform(0, 2))
            {
            case 0:
                return {a, {{Part{Rectangle(x, y, Uniform(x + 2, g), Uniform(y + 2, g)), {}}}}};
            case 1:
                return {
                    a,
                    {{Part{Rectangle(x, Uniform(0, y - 1), Uniform(x + 2, g), Uniform(y + 1, g)),
                           {}}}}};
            default:
            {
                const double ty = Uniform(int(a.Parts[0].Exterior[0].Y), y);
                Vertices b{{double(x), ty},
                           {double(Uniform(x + 1, g)), double(Uniform(0, g))},
                           {double(Uniform(x + 1, g)), double(Uniform(0, g))}};
                if (SignedArea(b) < 0)
                {
                    std::reverse(b.begin(), b.end());
                }
                return {a, {{Part{b, {}}}}};
            }
            }
        }
        case PairKind::Inscribed:
        {
            // A ring whose vertices lie on the four sides of a rectangle, one or two per side:
            // the differences are pieces that touch each other at those vertices.
            const int x0 = Uniform(0, g / 2 - 4);
            const int y0 = Uniform(0, g / 2 - 4);
            const int x1 = Uniform(x0 + 4, g);
            const int y1 = Uniform(y0 + 4, g);
            const Vertices a = Rectangle(x0, y0, x1, y1);
            Vertices b;
            const auto along = [&](const Point& p, const Point& q)
            {
                // Points strictly inside the side p-q, in order from p.
                const int count = Uniform(1, 2);
                std::vector<double> ts;
                for (int i = 0; i < count; ++i)
                {
                    const int length = int(std::abs(q.X - p.X) + std::abs(q.Y - p.Y));
                    ts.push_back(Uniform(1, length - 1) / double(length));
                }
                std::sort(ts.begin(), ts.end());
                ts.erase(std::unique(ts.begin(), ts.end()), ts.end());
                for (const double t : ts)
                {
                    b.push_back({p.X + t * (q.X - p.X), p.Y + t * (q.Y - p.Y)});
                }
            };
            for (std::size_t i = 0; i < a.size(); ++i)
            {
                along(a[i], a[(i + 1) % a.size()]);
            }
            return {{{Part{a, {}}}}, {{Part{b, {}}}}};
        }
        case PairKind::Large:
        {
            // Rings long enough for the sweep to find the intersections, on a finer grid.
            const int size = 12 * g;
            if (Chance(30))
            {
                const int base = Uniform(0, size / 2);
                return {{{Part{RandomHistogram(0, base, size, size, 60), {}}}},
                        {{Part{RandomHistogram(0, base, size, size, 60), {}}}}};
            }
            Shape a{{Part{RandomStar(0, 0, size, size, 30, 150), {}}}};
            Shape b{{Part{RandomStar(0, 0, size, size, 30, 150), {}}}};
            if (Chance(30))
            {
                // A frame around the middle with a long hole in it.
                Vertices hole = RandomStar(size / 3, size / 3, 2 * size / 3, 2 * size / 3, 20, 60);
                std::reverse(hole.begin(), hole.end());
                a.Parts[0] =
                    Part{Rectangle(Uniform(0, size / 4), Uniform(0, size / 4),
                                   Uniform(3 * size / 4, size), Uniform(3 * size / 4, size)),
                         {hole}};
            }
            return {a, b};
        }
        case PairKind::Count:
            break;
        }
        return {RandomShape(), RandomShape()};
    }

    std::mt19937 m_random;
};

} // namespace OverlayTesting
