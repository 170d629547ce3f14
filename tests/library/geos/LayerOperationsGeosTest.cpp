// Compares the layer operations with GEOS on two generated layers: a coverage of jittered
// quadrilaterals (some cells left out, some with a hole) against a regular mesh of triangles
// (some left out) laid across it, so that edges cross everywhere. Every vertex lies either
// exactly on a foreign edge or farther than 0.001 from it. Areas are compared per parent set;
// errors are relative to the area of the smallest source polygon involved, the scale at which
// crossing points are rounded to the node grid.
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "GeosContext.h"
#include "PolygonQueries.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <geos_c.h>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace Arealis;
using namespace Arealis::Testing;

namespace
{

using Vertices = std::vector<Point>;
using PolygonSet = std::set<const Polygon*>;

// --- GEOS ---------------------------------------------------------------------------------------

class Geos : public Arealis::Testing::GeosContext
{
public:
    // The rings of a polygon of one exterior ring (first) and its holes.
    Geometry FromPolygon(const Polygon& polygon) const
    {
        std::vector<GEOSGeometry*> rings;
        RingEnumerator enumerator = polygon.GetRings();
        while (enumerator.MoveNext())
        {
            rings.push_back(LinearRing(PointsOf(*enumerator.Current())));
        }
        return Own(GEOSGeom_createPolygon_r(m_context, rings.front(), rings.data() + 1,
                                            static_cast<unsigned>(rings.size() - 1)));
    }

    Geometry Intersection(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return Own(GEOSIntersection_r(m_context, pA, pB));
    }

    Geometry Difference(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return Own(GEOSDifference_r(m_context, pA, pB));
    }

    Geometry UnionOf(const std::vector<const GEOSGeometry*>& parts) const
    {
        std::vector<Geometry> clones;
        clones.reserve(parts.size());
        for (const GEOSGeometry* pPart : parts)
        {
            clones.push_back(Own(GEOSGeom_clone_r(m_context, pPart)));
        }
        return GeosContext::UnionOf(std::move(clones));
    }

    // Whether the interiors share an area.
    bool Overlap(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return GEOSRelatePattern_r(m_context, pA, pB, "2********") == 1;
    }
};

// --- Generated layers -------------------------------------------------------------------------

constexpr int Cells = 18;          // cells per side of the coverage
constexpr double CellSize = 100.0; // coverage pitch
constexpr double Jitter = 25.0;    // largest move of a coverage vertex along each axis
constexpr double HoleHalfSide = 10.0;
constexpr int MeshSquares = 17; // squares per side of the mesh, two triangles each
constexpr double MeshPitch = 110.0;
constexpr double MeshOrigin = -43.0; // so that mesh edges cross the cells
constexpr double Clearance = 0.0011; // 0.001 and the node grid's rounding

// Uniform in [low, high), the same on every platform.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_engine(seed) {}
    double Between(double low, double high)
    {
        const double unit = static_cast<double>(m_engine() >> 11U) * 0x1.0p-53;
        return low + unit * (high - low);
    }
    bool Chance(double probability) { return Between(0.0, 1.0) < probability; }

private:
    std::mt19937_64 m_engine;
};

double SignedArea(const Vertices& ring)
{
    double twice = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const Point& p = ring[i];
        const Point& q = ring[(i + 1) % ring.size()];
        twice += (q.X - p.X) * (q.Y + p.Y);
    }
    return twice / 2.0; // positive for clockwise rings
}

Vertices Clockwise(Vertices ring)
{
    if (SignedArea(ring) < 0.0)
    {
        std::reverse(ring.begin(), ring.end());
    }
    return ring;
}

double DistanceToSegment(const Point& p, const Point& a, const Point& b)
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double t =
        std::clamp(((p.X - a.X) * dx + (p.Y - a.Y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.X - (a.X + t * dx), p.Y - (a.Y + t * dy));
}

// A vertex on a foreign edge or clear of it.
bool IsClear(const Point& p, const Point& a, const Point& b)
{
    const double distance = DistanceToSegment(p, a, b);
    return distance == 0.0 || distance > Clearance;
}

// The coverage: one ring (and maybe a hole) per kept cell, from a jittered vertex grid. Some
// vertices are put exactly on a vertical line of the mesh.
class Coverage
{
public:
    explicit Coverage(Random& random) : m_random(random)
    {
        for (int i = 0; i <= Cells; ++i)
        {
            for (int j = 0; j <= Cells; ++j)
            {
                m_vertices.push_back(Jittered(i, j));
            }
        }
        for (int i = 0; i < Cells; ++i)
        {
            for (int j = 0; j < Cells; ++j)
            {
                if (m_random.Chance(0.85))
                {
                    m_cells.push_back({i, j, m_random.Chance(0.15), HoleCentre(i, j)});
                }
            }
        }
    }

    std::vector<std::vector<Vertices>> Polygons() const
    {
        std::vector<std::vector<Vertices>> polygons;
        for (const Cell& cell : m_cells)
        {
            polygons.push_back({Exterior(cell)});
            if (cell.HasHole)
            {
                polygons.back().push_back(Hole(cell));
            }
        }
        return polygons;
    }

    // Moves every vertex that comes too close to a foreign edge, and every vertex of a ring that
    // a foreign vertex comes too close to, until none does.
    void Separate(const std::vector<Vertices>& foreign)
    {
        for (int round = 0; round < 100; ++round)
        {
            if (!MoveCloseVertices(foreign))
            {
                return;
            }
        }
        throw std::runtime_error("could not separate the generated layers");
    }

private:
    struct Cell
    {
        int I;
        int J;
        bool HasHole;
        Point HoleCentre;
    };

    static std::size_t VertexIndex(int i, int j)
    {
        return static_cast<std::size_t>(i) * (Cells + 1) + static_cast<std::size_t>(j);
    }
    Point& Vertex(int i, int j) { return m_vertices[VertexIndex(i, j)]; }
    const Point& Vertex(int i, int j) const { return m_vertices[VertexIndex(i, j)]; }

    Point Jittered(int i, int j)
    {
        Point p{i * CellSize + m_random.Between(-Jitter, Jitter),
                j * CellSize + m_random.Between(-Jitter, Jitter)};
        if (m_random.Chance(0.1)) // onto the nearest vertical mesh line, when within reach
        {
            const double line = MeshOrigin + std::round((p.X - MeshOrigin) / MeshPitch) * MeshPitch;
            if (std::abs(line - i * CellSize) < Jitter)
            {
                p.X = line;
            }
        }
        return p;
    }

    Point HoleCentre(int i, int j)
    {
        return {(i + 0.5) * CellSize + m_random.Between(-5, 5),
                (j + 0.5) * CellSize + m_random.Between(-5, 5)};
    }

    Vertices Exterior(const Cell& cell) const
    {
        return {Vertex(cell.I, cell.J), Vertex(cell.I, cell.J + 1), Vertex(cell.I + 1, cell.J + 1),
                Vertex(cell.I + 1, cell.J)};
    }

    static Vertices Hole(const Cell& cell)
    {
        const Point& c = cell.HoleCentre;
        const double h = HoleHalfSide;
        return {{c.X - h, c.Y - h}, {c.X + h, c.Y - h}, {c.X + h, c.Y + h}, {c.X - h, c.Y + h}};
    }

    bool MoveCloseVertices(const std::vector<Vertices>& foreign)
    {
        bool moved = false;
        for (Cell& cell : m_cells)
        {
            const Vertices exterior = Exterior(cell);
            const bool exteriorClear = IsSeparated(exterior, foreign);
            if (!exteriorClear)
            {
                constexpr std::array<std::pair<int, int>, 4> corners{
                    {{0, 0}, {0, 1}, {1, 1}, {1, 0}}};
                for (const auto& [di, dj] : corners)
                {
                    Vertex(cell.I + di, cell.J + dj) = Jittered(cell.I + di, cell.J + dj);
                }
            }
            if (cell.HasHole && !IsSeparated(Hole(cell), foreign))
            {
                cell.HoleCentre = HoleCentre(cell.I, cell.J);
                moved = true;
            }
            moved = moved || !exteriorClear;
        }
        return moved;
    }

    // No vertex of the ring near an edge of the foreign rings, and the other way round.
    static bool IsSeparated(const Vertices& ring, const std::vector<Vertices>& foreign)
    {
        for (const Vertices& other : foreign)
        {
            for (std::size_t e = 0; e < other.size(); ++e)
            {
                const Point& a = other[e];
                const Point& b = other[(e + 1) % other.size()];
                for (std::size_t v = 0; v < ring.size(); ++v)
                {
                    if (!IsClear(ring[v], a, b) ||
                        !IsClear(a, ring[v], ring[(v + 1) % ring.size()]))
                    {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    Random& m_random;
    std::vector<Point> m_vertices;
    std::vector<Cell> m_cells;
};

// Triangles of a regular mesh, diagonals alternating, some left out.
std::vector<Vertices> Mesh(Random& random)
{
    std::vector<Vertices> triangles;
    for (int i = 0; i < MeshSquares; ++i)
    {
        for (int j = 0; j < MeshSquares; ++j)
        {
            const double x0 = MeshOrigin + i * MeshPitch;
            const double y0 = MeshOrigin + j * MeshPitch;
            const double x1 = x0 + MeshPitch;
            const double y1 = y0 + MeshPitch;
            const bool rising = (i + j) % 2 == 0;
            const std::vector<Vertices> halves =
                rising ? std::vector<Vertices>{{{x0, y0}, {x1, y1}, {x1, y0}},
                                               {{x0, y0}, {x0, y1}, {x1, y1}}}
                       : std::vector<Vertices>{{{x0, y1}, {x1, y0}, {x0, y0}},
                                               {{x0, y1}, {x1, y1}, {x1, y0}}};
            for (const Vertices& half : halves)
            {
                if (random.Chance(0.7))
                {
                    triangles.push_back(Clockwise(half));
                }
            }
        }
    }
    return triangles;
}

// --- Scene ------------------------------------------------------------------------------------

// A topology deleted at the end of the suite.
PolygonSet ParentsOf(const PolygonLayer& layer, Polygon* pPolygon)
{
    PolygonSet parents;
    PolygonEnumerator enumerator = layer.GetParents(pPolygon);
    while (enumerator.MoveNext())
    {
        parents.insert(enumerator.Current());
    }
    return parents;
}

// The largest relative difference of a set of compared areas.
struct Statistics
{
    int Compared = 0;
    double Worst = 0.0;

    void Add(double actual, double expected, double scale)
    {
        ++Compared;
        const double error = std::abs(actual - expected) / scale;
        Worst = std::max(Worst, error);
        EXPECT_LT(error, 1e-6) << "area " << actual << " expected " << expected;
    }

    void Print(const char* name, double seconds) const
    {
        std::printf("%-14s %5d areas compared, worst relative error %.2g, operation %.3f s\n", name,
                    Compared, Worst, seconds);
    }
};

class LayerOperationsGeosTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_operands.reset(Topology::Create());
        s_results.reset(Topology::Create());
        Random random(20240611U);
        const std::vector<Vertices> mesh = Mesh(random);
        Coverage coverage(random);
        coverage.Separate(mesh);
        s_a = MakeLayer(coverage.Polygons());
        std::vector<std::vector<Vertices>> triangles;
        triangles.reserve(mesh.size());
        for (const Vertices& triangle : mesh)
        {
            triangles.push_back({triangle});
        }
        s_b = MakeLayer(triangles);
        // Sparse subsets, so that the union falls apart into many groups.
        s_sparseA = MakeLayer(Sample(coverage.Polygons(), random));
        s_sparseB = MakeLayer(Sample(triangles, random));
        s_geos = std::make_unique<Geos>();
        for (PolygonLayer* layer : {s_a, s_b, s_sparseA, s_sparseB})
        {
            for (const Polygon* polygon : PolygonsOf(*layer))
            {
                s_shapes.emplace(polygon, s_geos->FromPolygon(*polygon));
            }
        }
    }

    static void TearDownTestSuite()
    {
        s_shapes.clear();
        s_geos.reset();
        s_results.reset(); // first: its Parents collections name operand polygons
        s_operands.reset();
    }

    static std::vector<std::vector<Vertices>> Sample(const std::vector<std::vector<Vertices>>& all,
                                                     Random& random)
    {
        std::vector<std::vector<Vertices>> sample;
        for (const std::vector<Vertices>& polygon : all)
        {
            if (random.Chance(0.3))
            {
                sample.push_back(polygon);
            }
        }
        return sample;
    }

    static PolygonLayer* MakeLayer(const std::vector<std::vector<Vertices>>& polygons)
    {
        PolygonLayer* layer = s_operands->CreatePolygonLayer(false);
        for (const std::vector<Vertices>& rings : polygons)
        {
            Polygon* polygon = layer->CreatePolygon();
            for (const Vertices& points : rings)
            {
                Ring* ring = polygon->CreateRing();
                for (const Point& p : points)
                {
                    ring->AddNode(p.X, p.Y);
                }
            }
        }
        layer->Commit();
        return layer;
    }

    template <class TOperation>
    static std::pair<PolygonLayer*, double> Timed(TOperation operation)
    {
        const auto start = std::chrono::steady_clock::now();
        PolygonLayer* result = operation();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        return {result, elapsed.count()};
    }

    static const GEOSGeometry* Shape(const Polygon* polygon) { return s_shapes.at(polygon).get(); }
    static double SourceArea(const Polygon* polygon) { return s_geos->Area(Shape(polygon)); }

    // The polygons of the other layer whose bounds meet the polygon's bounds.
    static std::vector<const Polygon*> Near(const Polygon* polygon, const PolygonLayer& other)
    {
        std::vector<const Polygon*> near;
        PolygonEnumerator found = other.GetPolygons(polygon->GetBounds());
        while (found.MoveNext())
        {
            near.push_back(found.Current());
        }
        return near;
    }

    // Area of each overlapping pair of a polygon of A and one of B.
    static std::map<PolygonSet, double> PairAreas()
    {
        std::map<PolygonSet, double> areas;
        for (const Polygon* a : PolygonsOf(*s_a))
        {
            for (const Polygon* b : Near(a, *s_b))
            {
                const double area = s_geos->Area(s_geos->Intersection(Shape(a), Shape(b)).get());
                if (area > 0.0)
                {
                    areas[{a, b}] = area;
                }
            }
        }
        return areas;
    }

    // Area of the polygon outside every polygon of the other layer.
    static double OutsideArea(const Polygon* polygon, const PolygonLayer& other)
    {
        std::vector<const GEOSGeometry*> near;
        for (const Polygon* candidate : Near(polygon, other))
        {
            near.push_back(Shape(candidate));
        }
        if (near.empty())
        {
            return SourceArea(polygon);
        }
        const Geos::Geometry cover = s_geos->UnionOf(near);
        return s_geos->Area(s_geos->Difference(Shape(polygon), cover.get()).get());
    }

    static std::map<PolygonSet, double> ResultAreas(const PolygonLayer& result)
    {
        std::map<PolygonSet, double> areas;
        for (Polygon* polygon : PolygonsOf(result))
        {
            areas[ParentsOf(result, polygon)] += NetArea(*polygon);
        }
        return areas;
    }

    // Compares the areas per parent set, over the parent sets of both.
    static void CompareAreas(const std::map<PolygonSet, double>& actual,
                             const std::map<PolygonSet, double>& expected, Statistics& statistics)
    {
        std::set<PolygonSet> keys;
        for (const auto& entry : actual)
        {
            keys.insert(entry.first);
        }
        for (const auto& entry : expected)
        {
            keys.insert(entry.first);
        }
        for (const PolygonSet& parents : keys)
        {
            double scale = std::numeric_limits<double>::max();
            for (const Polygon* parent : parents)
            {
                scale = std::min(scale, SourceArea(parent));
            }
            const auto found = actual.find(parents);
            const auto wanted = expected.find(parents);
            statistics.Add(found == actual.end() ? 0.0 : found->second,
                           wanted == expected.end() ? 0.0 : wanted->second, scale);
        }
    }

    static void CompareUnion(PolygonLayer* pA, PolygonLayer* pB, const char* name);

    static TopologyPtr s_operands;
    static TopologyPtr s_results;
    static PolygonLayer* s_a;
    static PolygonLayer* s_b;
    static PolygonLayer* s_sparseA;
    static PolygonLayer* s_sparseB;
    static std::unique_ptr<Geos> s_geos;
    static std::map<const Polygon*, Geos::Geometry> s_shapes;
};

TopologyPtr LayerOperationsGeosTest::s_operands;
TopologyPtr LayerOperationsGeosTest::s_results;
PolygonLayer* LayerOperationsGeosTest::s_a = nullptr;
PolygonLayer* LayerOperationsGeosTest::s_b = nullptr;
PolygonLayer* LayerOperationsGeosTest::s_sparseA = nullptr;
PolygonLayer* LayerOperationsGeosTest::s_sparseB = nullptr;
std::unique_ptr<Geos> LayerOperationsGeosTest::s_geos;
std::map<const Polygon*, Geos::Geometry> LayerOperationsGeosTest::s_shapes;

TEST_F(LayerOperationsGeosTest, IntersectionAgreesPerPair)
{
    std::printf("layers: %d quadrilaterals, %d triangles\n", s_a->GetPolygonCount(),
                s_b->GetPolygonCount());
    const auto [result, seconds] = Timed([] { return s_results->Intersection(s_a, s_b, true); });
    Statistics statistics;
    CompareAreas(ResultAreas(*result), PairAreas(), statistics);
    statistics.Print("intersection", seconds);
}

TEST_F(LayerOperationsGeosTest, SubstractionAgreesPerPolygon)
{
    const auto [result, seconds] = Timed([] { return s_results->Substract(s_a, s_b, true); });
    std::map<PolygonSet, double> expected;
    for (const Polygon* a : PolygonsOf(*s_a))
    {
        const double area = OutsideArea(a, *s_b);
        if (area > 0.0)
        {
            expected[{a}] = area;
        }
    }
    Statistics statistics;
    CompareAreas(ResultAreas(*result), expected, statistics);
    statistics.Print("subtraction", seconds);
}

TEST_F(LayerOperationsGeosTest, JoinAgreesPerParentSet)
{
    const auto [result, seconds] = Timed([] { return s_results->Join(s_a, s_b, true); });
    std::map<PolygonSet, double> expected = PairAreas();
    for (const auto& [layer, other] : {std::pair{s_a, s_b}, std::pair{s_b, s_a}})
    {
        for (const Polygon* polygon : PolygonsOf(*layer))
        {
            const double area = OutsideArea(polygon, *other);
            if (area > 0.0)
            {
                expected[{polygon}] = area;
            }
        }
    }
    Statistics statistics;
    CompareAreas(ResultAreas(*result), expected, statistics);
    statistics.Print("join", seconds);
}

// Groups of polygons linked by overlaps (touching does not link), by union-find.
class OverlapGroups
{
public:
    explicit OverlapGroups(std::vector<const Polygon*> polygons)
        : m_polygons(std::move(polygons)), m_parent(m_polygons.size())
    {
        std::iota(m_parent.begin(), m_parent.end(), std::size_t{0});
        for (std::size_t i = 0; i < m_polygons.size(); ++i)
        {
            m_index.emplace(m_polygons[i], i);
        }
    }

    void Link(const Polygon* pA, const Polygon* pB)
    {
        m_parent[Root(m_index.at(pA))] = Root(m_index.at(pB));
    }

    std::vector<std::vector<const Polygon*>> Groups()
    {
        std::map<std::size_t, std::vector<const Polygon*>> groups;
        for (std::size_t i = 0; i < m_polygons.size(); ++i)
        {
            groups[Root(i)].push_back(m_polygons[i]);
        }
        std::vector<std::vector<const Polygon*>> list;
        list.reserve(groups.size());
        for (auto& entry : groups)
        {
            list.push_back(std::move(entry.second));
        }
        return list;
    }

private:
    std::size_t Root(std::size_t i)
    {
        while (m_parent[i] != i)
        {
            i = m_parent[i] = m_parent[m_parent[i]];
        }
        return i;
    }

    std::vector<const Polygon*> m_polygons;
    std::vector<std::size_t> m_parent;
    std::map<const Polygon*, std::size_t> m_index;
};

// The union's polygons against GEOS's union of each group of overlapping polygons, matched by
// size; errors relative to the group's area.
void LayerOperationsGeosTest::CompareUnion(PolygonLayer* pA, PolygonLayer* pB, const char* name)
{
    const auto [result, seconds] = Timed([&] { return s_results->Union(pA, pB, true); });
    std::vector<const Polygon*> all;
    for (PolygonLayer* layer : {pA, pB})
    {
        for (const Polygon* polygon : PolygonsOf(*layer))
        {
            all.push_back(polygon);
        }
    }
    OverlapGroups groups(all);
    for (const Polygon* a : PolygonsOf(*pA))
    {
        for (const Polygon* b : Near(a, *pB))
        {
            if (s_geos->Overlap(Shape(a), Shape(b)))
            {
                groups.Link(a, b);
            }
        }
    }
    std::vector<double> expected;
    for (const std::vector<const Polygon*>& group : groups.Groups())
    {
        std::vector<const GEOSGeometry*> shapes;
        shapes.reserve(group.size());
        for (const Polygon* polygon : group)
        {
            shapes.push_back(Shape(polygon));
        }
        expected.push_back(s_geos->Area(s_geos->UnionOf(shapes).get()));
    }
    std::vector<double> actual;
    for (Polygon* polygon : PolygonsOf(*result))
    {
        actual.push_back(NetArea(*polygon));
        EXPECT_TRUE(ParentsOf(*result, polygon).empty());
    }
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    std::printf("%s: %zu polygons (%zu groups) from %d and %d\n", name, actual.size(),
                expected.size(), pA->GetPolygonCount(), pB->GetPolygonCount());
    ASSERT_EQ(actual.size(), expected.size());
    Statistics statistics;
    for (std::size_t i = 0; i < actual.size(); ++i)
    {
        statistics.Add(actual[i], expected[i], expected[i]);
    }
    statistics.Print(name, seconds);
}

TEST_F(LayerOperationsGeosTest, UnionAgreesWithTheDissolvedOverlapGroups)
{
    CompareUnion(s_sparseA, s_sparseB, "sparse union");
    CompareUnion(s_a, s_b, "union");
}

TEST_F(LayerOperationsGeosTest, UnitePolygonsOfALayerAgreesWithTheUnaryUnion)
{
    for (const auto& [layer, name] :
         {std::pair{s_a, "unite coverage"}, std::pair{s_b, "unite mesh"}})
    {
        std::vector<const GEOSGeometry*> shapes;
        for (const Polygon* polygon : PolygonsOf(*layer))
        {
            shapes.push_back(Shape(polygon));
        }
        const double expected = s_geos->Area(s_geos->UnionOf(shapes).get());
        const auto start = std::chrono::steady_clock::now();
        const PolygonEnumerator polygons = layer->GetPolygons();
        const std::unique_ptr<Polygon> united = Overlay::UnitePolygons(polygons.GetEnumerator());
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        Statistics statistics;
        statistics.Add(NetArea(*united), expected, expected);
        statistics.Print(name, elapsed.count());
    }
}

} // namespace
