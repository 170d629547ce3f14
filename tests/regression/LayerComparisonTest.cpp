#include "Regression/LayerComparison.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

using namespace Arealis;
using namespace Arealis::Regression;

namespace
{

using RingPoints = std::vector<Point>;

RingPoints Square(double x, double y, double size)
{
    return {{x, y}, {x, y + size}, {x + size, y + size}, {x + size, y}};
}

class LayerComparisonTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_resultTopology = Topology::Create();
        m_expectedTopology = Topology::Create();
        m_result = m_resultTopology->CreatePolygonLayer(true);
        m_expected = m_expectedTopology->CreatePolygonLayer(true);
        SetComparisonFlag(true);
    }

    void TearDown() override
    {
        Topology::Delete(m_resultTopology);
        Topology::Delete(m_expectedTopology);
    }

    static Polygon* Add(PolygonLayer& layer, const std::vector<RingPoints>& rings)
    {
        Polygon* polygon = layer.CreatePolygon();
        for (const RingPoints& points : rings)
        {
            Ring* ring = polygon->CreateRing();
            for (const Point& p : points)
            {
                ring->AddNode(p.X, p.Y);
            }
        }
        return polygon;
    }

    bool Compare(PolygonLayer* pMismatches = nullptr)
    {
        m_result->Commit();
        m_expected->Commit();
        return CompareLayers(*m_result, *m_expected, pMismatches);
    }

    Topology* m_resultTopology = nullptr;
    Topology* m_expectedTopology = nullptr;
    PolygonLayer* m_result = nullptr;
    PolygonLayer* m_expected = nullptr;
};

TEST_F(LayerComparisonTest, NodesWithinTheToleranceMatchAndBeyondItDiffer)
{
    Add(*m_expected, {Square(0, 0, 10)});
    Add(*m_result, {{{0.07, -0.07}, {0, 10.05}, {10, 10}, {9.95, 0.02}}});
    EXPECT_TRUE(Compare());

    Add(*m_result, {{{0, 0}, {0, 10}, {10.2, 10}, {10, 0}}});
    EXPECT_FALSE(Compare());
}

TEST_F(LayerComparisonTest, RingsStartingAtAnotherNodeMatch)
{
    Add(*m_expected, {Square(0, 0, 10)});
    Add(*m_result, {{{10, 10}, {10, 0}, {0, 0}, {0, 10}}});
    EXPECT_TRUE(Compare());
}

TEST_F(LayerComparisonTest, OnlyResultPolygonsNeedAPartner)
{
    Add(*m_expected, {Square(0, 0, 10)});
    Add(*m_expected, {Square(20, 0, 10)});
    Add(*m_result, {Square(20, 0, 10)});
    EXPECT_TRUE(Compare());
    Topology* emptyTopology = Topology::Create();
    EXPECT_TRUE(CompareLayers(*emptyTopology->CreatePolygonLayer(true), *m_expected, nullptr));
    Topology::Delete(emptyTopology);

    // Looking back from the expected layer finds the lost polygon, and a repeated one.
    EXPECT_EQ(FindShortfall(*m_result, *m_expected),
              "the result has 1 parts, the expected file 2; 1 expected parts have no match in "
              "the result, the first within (0 0, 10 10)");
    Add(*m_result, {Square(0, 0, 10)});
    m_result->Commit();
    EXPECT_EQ(FindShortfall(*m_result, *m_expected), "");
    Add(*m_result, {Square(0, 0, 10)});
    m_result->Commit();
    EXPECT_EQ(FindShortfall(*m_result, *m_expected), "the result has 3 parts, the expected file 2");
}

TEST_F(LayerComparisonTest, PartsMatchSeparateExpectedPolygonsOnlyWithTheFlag)
{
    Add(*m_expected, {Square(0, 0, 10)});
    Add(*m_expected, {Square(20, 0, 10), {{22, 2}, {28, 2}, {28, 8}, {22, 8}}});
    Add(*m_result, {Square(20, 0, 10), Square(0, 0, 10), {{22, 2}, {28, 2}, {28, 8}, {22, 8}}});
    EXPECT_TRUE(Compare());
    EXPECT_EQ(FindShortfall(*m_result, *m_expected), "") << "parts are matched both ways";
    SetComparisonFlag(false);
    EXPECT_FALSE(CompareLayers(*m_result, *m_expected, nullptr));
}

TEST_F(LayerComparisonTest, RingCountsMustAgree)
{
    Add(*m_expected, {Square(0, 0, 10)});
    Add(*m_result, {Square(0, 0, 10), {{2, 2}, {8, 2}, {8, 8}, {2, 8}}});
    EXPECT_FALSE(Compare());
}

TEST_F(LayerComparisonTest, MismatchesAreCopiedToTheGivenLayer)
{
    Add(*m_expected, {Square(0, 0, 10)});
    Add(*m_result, {Square(0, 0, 10)});
    Add(*m_result, {Square(50, 50, 5)});
    PolygonLayer* mismatches = m_resultTopology->CreatePolygonLayer(true);
    EXPECT_FALSE(Compare(mismatches));
    ASSERT_EQ(mismatches->GetPolygonCount(), 1);
    EXPECT_EQ(mismatches->GetBounds(), Rectangle(50, 50, 55, 55));
}

TEST_F(LayerComparisonTest, SplitKeepsEachHoleWithItsExterior)
{
    Polygon* polygon =
        Add(*m_result, {Square(0, 0, 10), {{2, 2}, {8, 2}, {8, 8}, {2, 8}}, Square(20, 0, 5)});
    m_result->Commit();
    PolygonLayer* parts = m_resultTopology->CreatePolygonLayer(true);
    EXPECT_EQ(SplitIntoParts(*polygon, *parts), 2);
    std::vector<std::int32_t> ringCounts;
    PolygonEnumerator enumerator = parts->GetPolygons();
    while (enumerator.MoveNext())
    {
        ringCounts.push_back(enumerator.Current()->GetRingCount());
    }
    std::sort(ringCounts.begin(), ringCounts.end());
    EXPECT_EQ(ringCounts, (std::vector<std::int32_t>{1, 2}));
}

} // namespace
