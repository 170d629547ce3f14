#include "StressCases.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Stress
{

namespace
{

using OverlayTesting::ShapeGenerator;
using Kind = ShapeGenerator::PairKind;

constexpr int GridKinds = static_cast<int>(Kind::Count);
constexpr double NearDistance = 1e-7;

std::uint64_t Mix(std::uint64_t seed, std::uint64_t index, std::uint64_t salt)
{
    std::uint64_t z = seed * 0x9E3779B97F4A7C15ULL + index * 0xBF58476D1CE4E5B9ULL + salt;
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31U);
}

double Uniform(std::mt19937_64& random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

// Extents from 1e-3 to 1e7, log-uniform; half of the cases far from the origin (up to 1e7).
Frame Place(std::mt19937_64& random, double gridExtent)
{
    const double extent = std::pow(10.0, Uniform(random, -3.0, 7.0));
    Frame frame;
    frame.Scale = extent / gridExtent;
    if (Uniform(random, 0, 1) < 0.5)
    {
        frame.OffsetX = std::pow(10.0, Uniform(random, 0.0, 7.0));
        frame.OffsetY = -std::pow(10.0, Uniform(random, 0.0, 7.0));
    }
    frame.Decade = static_cast<int>(std::floor(std::log10(extent)));
    frame.Far = frame.OffsetX != 0;
    return frame;
}

Vertices ToWorld(const OverlayTesting::Vertices& ring, const Frame& frame)
{
    Vertices world;
    world.reserve(ring.size());
    for (const Point& p : ring)
    {
        world.push_back(frame.ToWorld(p));
    }
    return world;
}

WorldShape ToWorld(const OverlayTesting::Shape& shape, const Frame& frame)
{
    WorldShape world;
    for (const OverlayTesting::Part& part : shape.Parts)
    {
        WorldPart worldPart{ToWorld(part.Exterior, frame), {}};
        for (const OverlayTesting::Vertices& hole : part.Holes)
        {
            worldPart.Holes.push_back(ToWorld(hole, frame));
        }
        world.push_back(std::move(worldPart));
    }
    return world;
}

// A vertex 1e-7 along the edge after a random vertex of the first exterior ring: the two
// are one node once snapped to the node grid.
void AddNearVertex(WorldShape& shape, std::mt19937_64& random)
{
    Vertices& ring = shape.front().Exterior;
    const std::size_t i = std::uniform_int_distribution<std::size_t>(0, ring.size() - 1)(random);
    const Point& p = ring[i];
    const Point& q = ring[(i + 1) % ring.size()];
    const double length = std::hypot(q.X - p.X, q.Y - p.Y);
    const Point near{p.X + (q.X - p.X) / length * NearDistance,
                     p.Y + (q.Y - p.Y) / length * NearDistance};
    ring.insert(ring.begin() + static_cast<std::ptrdiff_t>(i + 1), near);
}

// --- Coverages -------------------------------------------------------------------------------

constexpr int Pitch = 6;

// A jittered grid of k x k cells; some are left out, some get a small hole. Vertices copy
// those of the template grid with probability 1/2, so that two coverages made from one
// template share vertices and whole edges.
std::vector<OverlayTesting::Shape> Coverage(std::mt19937_64& random, int k,
                                            const std::vector<Point>& pattern, bool triangles,
                                            std::vector<Point>* pVertices)
{
    std::uniform_int_distribution<int> jitter(-2, 2);
    std::vector<Point> vertices;
    for (int i = 0; i <= k; ++i)
    {
        for (int j = 0; j <= k; ++j)
        {
            const std::size_t at = (static_cast<std::size_t>(i) * (k + 1)) + j;
            if (!pattern.empty() && Uniform(random, 0, 1) < 0.5)
            {
                vertices.push_back(pattern[at]);
            }
            else
            {
                vertices.push_back(
                    {double(i * Pitch + jitter(random)), double(j * Pitch + jitter(random))});
            }
        }
    }
    const auto vertex = [&](int i, int j)
    { return vertices[(static_cast<std::size_t>(i) * (k + 1)) + j]; };
    std::vector<OverlayTesting::Shape> cells;
    for (int i = 0; i < k; ++i)
    {
        for (int j = 0; j < k; ++j)
        {
            if (Uniform(random, 0, 1) < 0.15)
            {
                continue;
            }
            const Point a = vertex(i, j);
            const Point b = vertex(i, j + 1);
            const Point c = vertex(i + 1, j + 1);
            const Point d = vertex(i + 1, j);
            if (triangles && Uniform(random, 0, 1) < 0.5)
            {
                cells.push_back({{OverlayTesting::Part{{a, b, c}, {}}}});
                cells.push_back({{OverlayTesting::Part{{a, c, d}, {}}}});
                continue;
            }
            OverlayTesting::Part cell{{a, b, c, d}, {}};
            if (Uniform(random, 0, 1) < 0.15)
            {
                const double cx = i * Pitch + 3.0;
                const double cy = j * Pitch + 3.0;
                cell.Holes.push_back({{cx - 0.5, cy - 0.5},
                                      {cx + 0.5, cy - 0.5},
                                      {cx + 0.5, cy + 0.5},
                                      {cx - 0.5, cy + 0.5}});
            }
            cells.push_back({{cell}});
        }
    }
    if (pVertices != nullptr)
    {
        *pVertices = vertices;
    }
    return cells;
}

} // namespace

int PolygonKindCount()
{
    return GridKinds + 1;
}

PolygonCase MakePolygonCase(std::uint64_t seed, std::uint64_t index)
{
    std::mt19937_64 random(Mix(seed, index, 1));
    ShapeGenerator generator(static_cast<std::uint32_t>(Mix(seed, index, 2)));
    const int kindNumber = static_cast<int>(index % static_cast<std::uint64_t>(PolygonKindCount()));
    const bool near = kindNumber == GridKinds;
    // The near kind starts from pairs with shared edges or independent shapes.
    const Kind kind = near ? (index % 2 == 0 ? Kind::SharedEdge : Kind::Independent)
                           : static_cast<Kind>(kindNumber);
    const auto [gridA, gridB] = generator.RandomPair(kind);
    const double gridExtent =
        kind == Kind::Large ? 12.0 * ShapeGenerator::GridSize : double(ShapeGenerator::GridSize);
    PolygonCase result;
    result.Kind = near ? "vertices 1e-7 apart" : ShapeGenerator::Name(kind);
    result.Placement = Place(random, gridExtent);
    result.A = ToWorld(gridA, result.Placement);
    result.B = ToWorld(gridB, result.Placement);
    if (near)
    {
        AddNearVertex(result.A, random);
        if (Uniform(random, 0, 1) < 0.5)
        {
            AddNearVertex(result.B, random);
        }
    }
    return result;
}

LayerCase MakeLayerCase(std::uint64_t seed, std::uint64_t index)
{
    std::mt19937_64 random(Mix(seed, index, 3));
    const int k = std::uniform_int_distribution<int>(2, 4)(random);
    std::vector<Point> pattern;
    const std::vector<OverlayTesting::Shape> a = Coverage(random, k, {}, false, &pattern);
    const std::vector<OverlayTesting::Shape> b =
        Coverage(random, k, pattern, Uniform(random, 0, 1) < 0.5, nullptr);
    LayerCase result;
    result.Placement = Place(random, double(k * Pitch));
    for (const OverlayTesting::Shape& cell : a)
    {
        result.A.push_back(ToWorld(cell, result.Placement));
    }
    for (const OverlayTesting::Shape& cell : b)
    {
        result.B.push_back(ToWorld(cell, result.Placement));
    }
    return result;
}

std::string Describe(const WorldShape& shape)
{
    std::string text = "MULTIPOLYGON(";
    const auto ring = [&text](const Vertices& vertices)
    {
        text += "(";
        char buffer[64];
        for (std::size_t i = 0; i <= vertices.size(); ++i)
        {
            const Point& p = vertices[i % vertices.size()];
            std::snprintf(buffer, sizeof buffer, "%s%.17g %.17g", i == 0 ? "" : ", ", p.X, p.Y);
            text += buffer;
        }
        text += ")";
    };
    for (std::size_t p = 0; p < shape.size(); ++p)
    {
        text += p == 0 ? "(" : ", (";
        ring(shape[p].Exterior);
        for (const Vertices& hole : shape[p].Holes)
        {
            text += ", ";
            ring(hole);
        }
        text += ")";
    }
    return text + ")";
}

} // namespace Stress
