#include "Arealis/Overlay.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/OverallEnumerator.h"
#include "Collections/PlainArray.h"
#include "Exceptions/InvalidOperationException.h"
#include "PolygonQueries.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <vector>

using namespace Arealis;
using Arealis::Testing::NetArea;

namespace
{

using Points = std::vector<Point>;

// Clockwise square (an exterior ring) with lower left corner (x, y).
Points Square(double x, double y, double side)
{
    return {{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}};
}

void AddRing(Polygon& polygon, const Points& points)
{
    Ring* pRing = polygon.CreateRing();
    for (const Point& p : points)
    {
        pRing->AddNode(p.X, p.Y);
    }
}

std::unique_ptr<Polygon> MakePolygon(std::initializer_list<Points> rings)
{
    auto polygon = std::make_unique<Polygon>(nullptr);
    for (const Points& ring : rings)
    {
        AddRing(*polygon, ring);
    }
    return polygon;
}

Polygon* MakePolygon(PolygonLayer& layer, std::initializer_list<Points> rings)
{
    Polygon* pPolygon = layer.CreatePolygon();
    for (const Points& ring : rings)
    {
        AddRing(*pPolygon, ring);
    }
    return pPolygon;
}

int ExteriorRings(const Polygon& polygon)
{
    int count = 0;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        count += rings.Current()->IsExterior() ? 1 : 0;
    }
    return count;
}

// Area, ring count and validity of a result in one comparison.
void ExpectResult(Polygon& result, double area, int exteriorRings, int rings)
{
    EXPECT_NEAR(NetArea(result), area, 1e-9);
    EXPECT_EQ(ExteriorRings(result), exteriorRings);
    EXPECT_EQ(result.GetRingCount(), rings);
    if (!result.IsEmpty())
    {
        EXPECT_NO_THROW(result.Validate(true));
    }
}

std::set<const Node*> NodesOf(const Polygon& polygon)
{
    std::set<const Node*> nodes;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        for (std::int32_t i = 0; i < rings.Current()->Count(); ++i)
        {
            nodes.insert(rings.Current()->GetNode(i));
        }
    }
    return nodes;
}

bool HasEdge(const Polygon& polygon, const Point& p, const Point& q)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            const Point& a = ring.GetNode(i)->Position;
            const Point& b = ring.GetNode((i + 1) % ring.Count())->Position;
            if ((a == p && b == q) || (a == q && b == p))
            {
                return true;
            }
        }
    }
    return false;
}

class TopologyFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_topology = Topology::Create();
        m_layer = m_topology->CreatePolygonLayer(true);
    }
    void TearDown() override { Topology::Delete(m_topology); }

    Topology* m_topology = nullptr;
    PolygonLayer* m_layer = nullptr;
};

TEST(OverlayTest, DisjointSquares)
{
    auto a = MakePolygon({Square(0, 0, 1)});
    auto b = MakePolygon({Square(3, 0, 1)});
    ExpectResult(*Overlay::Union(*a, *b), 2, 2, 2);
    ExpectResult(*Overlay::Intersection(*a, *b), 0, 0, 0);
    ExpectResult(*Overlay::Substract(*a, *b), 1, 1, 1);
}

TEST(OverlayTest, NestedSquares)
{
    auto outer = MakePolygon({Square(0, 0, 4)});
    auto inner = MakePolygon({Square(1, 1, 2)});
    ExpectResult(*Overlay::Union(*outer, *inner), 16, 1, 1);
    ExpectResult(*Overlay::Intersection(*outer, *inner), 4, 1, 1);
    ExpectResult(*Overlay::Substract(*outer, *inner), 12, 1, 2);
    ExpectResult(*Overlay::Substract(*inner, *outer), 0, 0, 0);
    // A ring of one operand lying in a hole of the other.
    auto holed = Overlay::Substract(*outer, *inner);
    auto island = MakePolygon({Square(1.5, 1.5, 1)});
    ExpectResult(*Overlay::Union(*holed, *island), 13, 2, 3);
    ExpectResult(*Overlay::Intersection(*holed, *island), 0, 0, 0);
}

TEST(OverlayTest, CrossingSquares)
{
    auto a = MakePolygon({Square(0, 0, 2)});
    auto b = MakePolygon({Square(1, 1, 2)});
    ExpectResult(*Overlay::Union(*a, *b), 7, 1, 1);
    ExpectResult(*Overlay::Intersection(*a, *b), 1, 1, 1);
    ExpectResult(*Overlay::Substract(*a, *b), 3, 1, 1);
    ExpectResult(*Overlay::Substract(*b, *a), 3, 1, 1);
}

TEST_F(TopologyFixture, SquaresSharingAnEdgeThroughSharedNodes)
{
    Polygon* a = MakePolygon(*m_layer, {Square(0, 0, 1)});
    Polygon* b = MakePolygon(*m_layer, {Square(1, 0, 1)});
    ASSERT_EQ(a->GetFirstRing()->GetNode(2), b->GetFirstRing()->GetNode(1)); // shared (1, 1)
    auto united = Overlay::Union(*a, *b);
    ExpectResult(*united, 2, 1, 1);
    EXPECT_FALSE(HasEdge(*united, {1, 0}, {1, 1}));
    ExpectResult(*Overlay::Intersection(*a, *b), 0, 0, 0);
    ExpectResult(*Overlay::Substract(*a, *b), 1, 1, 1);
    // The same in the layer: the result uses the topology's nodes.
    Polygon* pUnion = Overlay::Union(*a, *b, *m_layer, false);
    ExpectResult(*pUnion, 2, 1, 1);
    const std::set<const Node*> operandNodes = [&]
    {
        std::set<const Node*> nodes = NodesOf(*a);
        nodes.merge(NodesOf(*b));
        return nodes;
    }();
    for (const Node* pNode : NodesOf(*pUnion))
    {
        EXPECT_TRUE(operandNodes.count(pNode) == 1);
    }
}

TEST_F(TopologyFixture, CornersOnEdgesReuseTheNodes)
{
    // A diamond whose corners lie on the edges of a square.
    Polygon* square = MakePolygon(*m_layer, {Square(0, 0, 2)});
    Polygon* diamond = MakePolygon(*m_layer, {{{1, 0}, {0, 1}, {1, 2}, {2, 1}}});
    Polygon* pIntersection = Overlay::Intersection(*square, *diamond, *m_layer, false);
    ExpectResult(*pIntersection, 2, 1, 1);
    EXPECT_EQ(NodesOf(*pIntersection), NodesOf(*diamond));
    Polygon* pUnion = Overlay::Union(*square, *diamond, *m_layer, false);
    ExpectResult(*pUnion, 4, 1, 1);
    // The square's ring gains the diamond's corners, which are reused as they are.
    std::set<const Node*> expected = NodesOf(*square);
    expected.merge(NodesOf(*diamond));
    EXPECT_EQ(NodesOf(*pUnion), expected);
    ExpectResult(*Overlay::Substract(*square, *diamond), 2, 4, 4);
    ExpectResult(*Overlay::Substract(*diamond, *square), 0, 0, 0);
}

TEST(OverlayTest, VertexNearAnEdgeIsSnappedOntoIt)
{
    // The triangle's vertex lies 0.0003 inside the square: it counts as lying on the square's
    // edge, which is bent through it, so the two areas only touch there.
    auto square = MakePolygon({Square(0, 0, 10)});
    auto triangle = MakePolygon({{{10 - 0.0003, 5}, {20, 10}, {20, 0}}});
    EXPECT_TRUE(Overlay::Intersection(*square, *triangle)->IsEmpty());
    auto united = Overlay::Union(*square, *triangle);
    EXPECT_NEAR(NetArea(*united), 100 - 0.0003 * 10 / 2 + NetArea(*triangle), 1e-9);
    EXPECT_NO_THROW(united->Validate(true));
    auto difference = Overlay::Substract(*square, *triangle);
    EXPECT_NEAR(NetArea(*difference), 100 - 0.0003 * 10 / 2, 1e-9);
    // 0.0006 inside is a real overlap.
    auto deeper = MakePolygon({{{10 - 0.0006, 5}, {20, 10}, {20, 0}}});
    EXPECT_FALSE(Overlay::Intersection(*square, *deeper)->IsEmpty());
}

// The upper edge of `lower` crosses the lower edge of `upper` at a tiny angle and ends within
// the tolerance of it, right on the other edge of `upper` next to their shared corner. The
// snap of that end onto the lower edge is dropped (the other edge is nearer); the crossing,
// which the tolerant search had reported as that snap only, used to go with it, and the
// intersection then came out as all of `upper` and the difference as empty.
TEST(OverlayTest, CrossingAtATinyAngleSurvivesADroppedSnap)
{
    auto lower = MakePolygon({{{1625.071884, 104.790112},
                               {1625.072032, 104.789563},
                               {1625.936083, 104.013362},
                               {1595.761576, 0},
                               {1490.685501, 0},
                               {1473.196176, 112.922264},
                               {1513.531949, 135.640080}}});
    auto upper = MakePolygon({{{1572.131712, 233.554982},
                               {1594.639412, 217.430221},
                               {1625.072032, 104.789563},
                               {1513.531785, 135.642204},
                               {1529.333242, 227.054864}}});
    // A sliver of about 0.0056 (what GEOS gives) is common; the rest stays.
    auto parts = Overlay::IntersectAndSubstract(*lower, *upper);
    EXPECT_LT(NetArea(*parts[0]), 0.01);
    EXPECT_NEAR(NetArea(*parts[0]) + NetArea(*parts[1]), NetArea(*lower), 1e-3);
}

TEST(OverlayTest, TouchingUnionsGiveValidRings)
{
    auto a = MakePolygon({Square(0, 0, 1)});
    auto b = MakePolygon({Square(1, 1, 1)});
    ExpectResult(*Overlay::Union(*a, *b), 2, 2, 2);
    ExpectResult(*Overlay::Intersection(*a, *b), 0, 0, 0);
    // A U closed by a lid that shares the top of its left arm and touches its right arm at
    // one corner: the enclosed notch becomes a hole touching the exterior ring.
    auto u = MakePolygon({{{0, 0}, {0, 3}, {1, 3}, {1, 1}, {2, 1}, {2, 3}, {3, 3}, {3, 0}}});
    auto lid = MakePolygon({{{0, 3}, {0, 4}, {2, 4}, {2, 3}}});
    ExpectResult(*Overlay::Union(*u, *lid), 9, 1, 2);
    ExpectResult(*Overlay::Union(*lid, *u), 9, 1, 2);
    // A square touched at two of its corners by the two squares of another polygon.
    auto c = MakePolygon({Square(0, 0, 2)});
    auto d = MakePolygon({Square(2, 2, 2), Square(-2, 2, 2)});
    ExpectResult(*Overlay::Union(*c, *d), 12, 3, 3);
    ExpectResult(*Overlay::Substract(*d, *c), 8, 2, 2);
}

TEST(OverlayTest, IdenticalPolygons)
{
    auto a = MakePolygon({Square(0, 0, 4), {{1, 1}, {3, 1}, {3, 3}, {1, 3}}});
    auto b = MakePolygon({Square(0, 0, 4), {{1, 1}, {3, 1}, {3, 3}, {1, 3}}});
    ExpectResult(*Overlay::Union(*a, *b), 12, 1, 2);
    ExpectResult(*Overlay::Intersection(*a, *b), 12, 1, 2);
    ExpectResult(*Overlay::Substract(*a, *b), 0, 0, 0);
    ExpectResult(*Overlay::Union(*a, *a), 12, 1, 2);
}

TEST(OverlayTest, HoleFilledByItsOwnRing)
{
    // B is A's hole as an exterior ring: their boundaries coincide, with opposite orientation.
    const Points hole{{1, 3}, {1, 1}, {2, 1.5}, {3, 1}, {3, 3}};
    const Points filler{{3, 3}, {3, 1}, {2, 1.5}, {1, 1}, {1, 3}};
    auto a = MakePolygon({Square(0, 0, 4), hole});
    auto b = MakePolygon({filler});
    const double holeArea = NetArea(*b);
    for (int round = 0; round < 2; ++round)
    {
        auto parts = Overlay::Partition(*a, *b);
        ExpectResult(*parts[0], 0, 0, 0);
        ExpectResult(*parts[1], 16 - holeArea, 1, 2);
        ExpectResult(*parts[2], holeArea, 1, 1);
        ExpectResult(*Overlay::Union(*a, *b), 16, 1, 1);
        std::swap(a, b);
        auto swapped = Overlay::Partition(*a, *b);
        ExpectResult(*swapped[2], 16 - holeArea, 1, 2);
        ExpectResult(*swapped[1], holeArea, 1, 1);
        std::swap(a, b);
        // The same with the hole's ring starting elsewhere.
        a = MakePolygon({Square(0, 0, 4), {{3, 3}, {1, 3}, {1, 1}, {2, 1.5}, {3, 1}}});
    }
}

TEST(OverlayTest, RingSharingAStretchIsCutWhereAnotherRingTouchesIt)
{
    // B's first ring is A itself; B's second ring touches it at (1, 1), a vertex inside the
    // stretch the two identical rings share, where only A reports a meeting.
    auto a = MakePolygon({Square(0, 0, 1)});
    auto b = MakePolygon({Square(0, 0, 1), Square(1, 1, 1)});
    ExpectResult(*Overlay::Intersection(*a, *b), 1, 1, 1);
    ExpectResult(*Overlay::Substract(*a, *b), 0, 0, 0);
    ExpectResult(*Overlay::Substract(*b, *a), 1, 1, 1);
    ExpectResult(*Overlay::Union(*a, *b), 2, 2, 2);
}

TEST(OverlayTest, PartitionAndIntersectAndSubstractShareOneOverlay)
{
    auto a = MakePolygon({Square(0, 0, 2)});
    auto b = MakePolygon({Square(1, 1, 2)});
    auto parts = Overlay::Partition(*a, *b);
    ExpectResult(*parts[0], 1, 1, 1);
    ExpectResult(*parts[1], 3, 1, 1);
    ExpectResult(*parts[2], 3, 1, 1);
    auto two = Overlay::IntersectAndSubstract(*a, *b);
    EXPECT_TRUE(two[0]->IsEqual(parts[0].get(), 0));
    EXPECT_TRUE(two[1]->IsEqual(parts[1].get(), 0));
}

TEST(OverlayTest, OperandsAreNotChanged)
{
    auto a = MakePolygon({Square(0, 0, 2)});
    auto b = MakePolygon({{{1, 0}, {0, 1}, {1, 2}, {2, 1}}});
    auto aCopy = MakePolygon({Square(0, 0, 2)});
    auto bCopy = MakePolygon({{{1, 0}, {0, 1}, {1, 2}, {2, 1}}});
    Overlay::Partition(*a, *b);
    Overlay::Union(*a, *b);
    EXPECT_TRUE(a->IsEqual(aCopy.get(), 0));
    EXPECT_TRUE(b->IsEqual(bCopy.get(), 0));
}

TEST_F(TopologyFixture, ParentsAreRecordedInOrderForNonEmptyLayerResults)
{
    Polygon* a = MakePolygon(*m_layer, {Square(0, 0, 2)});
    Polygon* b = MakePolygon(*m_layer, {Square(1, 1, 2)});
    Polygon* pUnion = Overlay::Union(*a, *b, *m_layer, true);
    PolygonEnumerator parents = m_layer->GetParents(pUnion);
    ASSERT_TRUE(parents.MoveNext());
    EXPECT_EQ(parents.Current(), a);
    ASSERT_TRUE(parents.MoveNext());
    EXPECT_EQ(parents.Current(), b);
    EXPECT_FALSE(parents.MoveNext());
    EXPECT_TRUE(a->IsUsed());

    Polygon* far = MakePolygon(*m_layer, {Square(10, 10, 1)});
    Polygon* pEmpty = Overlay::Intersection(*a, *far, *m_layer, true);
    EXPECT_TRUE(pEmpty->IsEmpty());
    EXPECT_FALSE(m_layer->GetParents(pEmpty).MoveNext());

    Polygon* pNoParents = Overlay::Substract(*a, *b, *m_layer, false);
    EXPECT_FALSE(m_layer->GetParents(pNoParents).MoveNext());

    const auto pieces = Overlay::Partition(*a, *b, *m_layer, true);
    for (Polygon* pPiece : pieces)
    {
        PolygonEnumerator pieceParents = m_layer->GetParents(pPiece);
        ASSERT_TRUE(pieceParents.MoveNext());
        EXPECT_EQ(pieceParents.Current(), a);
    }
    m_layer->ClearParents(pUnion);
    for (Polygon* pPiece : pieces)
    {
        m_layer->ClearParents(pPiece);
    }
    EXPECT_FALSE(a->IsUsed());
}

// Seven polygons: more than one pass of the union's groups of three, with a group of one at
// the end of the first pass.
std::vector<std::unique_ptr<Polygon>> SevenPolygons()
{
    std::vector<std::unique_ptr<Polygon>> polygons;
    polygons.reserve(7);
    for (int i = 0; i < 7; ++i)
    {
        // Along a row: squares 1-2, 3-4 and 5-6 overlap, square 0 stands alone.
        polygons.push_back(MakePolygon({Square(i * 1.5, 0, 1 + (i % 2) * 0.5 + 0.25)}));
    }
    return polygons;
}

// How the union groups its polygons is not visible in its result; what is checked is that the
// result is the chained union of all of them, whatever the grouping, and never an input. Seven
// polygons need six unions: progress counts each of them once, up to that total.
TEST(OverlayTest, UnitePolygonsOfSevenEqualsTheirChainedUnionAndReportsEachUnion)
{
    std::vector<std::unique_ptr<Polygon>> polygons = SevenPolygons();
    std::vector<std::pair<std::int64_t, std::int64_t>> reports;
    const auto unite = [&polygons, &reports](std::size_t count)
    {
        Collections::PlainArray<Polygon*> some;
        for (std::size_t i = 0; i < count; ++i)
        {
            some.Append(polygons[i].get());
        }
        Collections::OverallEnumerator<Collections::PlainArray<Polygon*>> enumerator(some);
        reports.clear();
        return Overlay::UnitePolygons(&enumerator, [&reports](std::int64_t done, std::int64_t total)
                                      { reports.emplace_back(done, total); });
    };
    const auto united = unite(polygons.size());
    // Squares of sides 1.25 and 1.75 every 1.5: each pair overlaps by 0.25 or 0.5 along x.
    std::unique_ptr<Polygon> expected = Overlay::Union(*polygons[0], *polygons[1]);
    for (std::size_t i = 2; i < polygons.size(); ++i)
    {
        expected = Overlay::Union(*expected, *polygons[i]);
    }
    ExpectResult(*united, NetArea(*expected), ExteriorRings(*expected), expected->GetRingCount());
    const std::vector<std::pair<std::int64_t, std::int64_t>> steps = {{1, 6}, {2, 6}, {3, 6},
                                                                      {4, 6}, {5, 6}, {6, 6}};
    EXPECT_EQ(reports, steps);
    for (std::size_t count : {1U, 4U})
    {
        const auto result = unite(count);
        // The result is always the caller's own polygon, never an input.
        EXPECT_NE(result.get(), polygons[0].get());
        EXPECT_GT(NetArea(*result), 0);
        EXPECT_EQ(reports.size(), count - 1); // nothing to unite for one polygon
    }
    EXPECT_NEAR(NetArea(*polygons[0]), 1.25 * 1.25, 1e-12);
}

TEST_F(TopologyFixture, UnitePolygonsInALayerRecordsTheLayerPolygonsAsParents)
{
    std::vector<Polygon*> polygons;
    Collections::PlainArray<Polygon*> pointers;
    for (int i = 0; i < 7; ++i)
    {
        polygons.push_back(MakePolygon(*m_layer, {Square(i * 1.5, 0, 1.75)}));
        pointers.Append(polygons.back());
    }
    auto loose = MakePolygon({Square(0, 5, 1)});
    pointers.Append(loose.get());
    const std::int32_t before = m_layer->GetPolygonCount();
    Collections::OverallEnumerator<Collections::PlainArray<Polygon*>> enumerator(pointers);
    Polygon* pUnited = Overlay::UnitePolygons(&enumerator, *m_layer, true);
    EXPECT_EQ(m_layer->GetPolygonCount(), before + 1);
    EXPECT_EQ(pUnited->GetLayer(), m_layer);
    ExpectResult(*pUnited, 6 * 1.5 * 1.75 + 1.75 * 1.75 + 1, 2, 2);
    PolygonEnumerator parents = m_layer->GetParents(pUnited);
    for (Polygon* pPolygon : polygons)
    {
        ASSERT_TRUE(parents.MoveNext());
        EXPECT_EQ(parents.Current(), pPolygon);
    }
    EXPECT_FALSE(parents.MoveNext());
    m_layer->ClearParents(pUnited);
}

TEST_F(TopologyFixture, UnitePolygonsOverNothing)
{
    Collections::PlainArray<Polygon*> none;
    Collections::OverallEnumerator<Collections::PlainArray<Polygon*>> enumerator(none);
    auto loose = Overlay::UnitePolygons(&enumerator);
    EXPECT_TRUE(loose->IsEmpty());
    EXPECT_EQ(loose->GetRingCount(), 0);
    Polygon* pInLayer = Overlay::UnitePolygons(&enumerator, *m_layer, true);
    EXPECT_TRUE(pInLayer->IsEmpty());
    EXPECT_EQ(pInLayer->GetLayer(), m_layer);
    try
    {
        Overlay::UnitePolygons(nullptr);
        FAIL() << "no exception";
    }
    catch (const Exceptions::InvalidOperationException& e)
    {
        EXPECT_STREQ(e.Message(), "Uninitialized enumerator.");
    }
}

} // namespace
