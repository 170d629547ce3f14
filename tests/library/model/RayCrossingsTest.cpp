#include "model/RayCrossings.h"

#include "Arealis/Polygon.h"
#include "model/ModelTestSupport.h"

#include <gtest/gtest.h>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

// A comb of width w between heights 0 and 12 on integer coordinates: saw teeth with plateaus
// at the bottom and the top (horizontal edges and many vertices on shared heights), a notch
// down to height 9 every 7 columns, and a first node on a height that queries use.
Points Comb(int w)
{
    Points points{{0, 6}, {0, 5}};
    for (int x = 0; x <= w; ++x)
    {
        points.push_back({static_cast<double>(x), static_cast<double>((x % 4 == 1) ? 2 : x % 2)});
    }
    for (int x = w; x >= 1; --x)
    {
        const double top = (x % 4 == 2) ? 12 : 10 + x % 2;
        points.push_back({static_cast<double>(x), top});
        if (x % 7 == 0)
        {
            points.push_back({x - 0.5, 9});
            points.push_back({x - 0.5, top});
        }
    }
    points.push_back({0, 11});
    return points;
}

// Every query on a half-unit grid around the shape (vertices, edges, horizontal edges, inside,
// outside, in the hole): the walk through the height index must count exactly the crossings
// of the walk over all edges, also after the ring changed.
TEST(RayCrossingsTest, IndexedWalkCountsAsTheFullScan)
{
    Polygon polygon(nullptr);
    AddRings(polygon, {Comb(300), Hole(40.5, 4, 250, 8)});
    const std::vector<Ring*> rings = RingsOf(polygon);
    ASSERT_GT(rings[0]->Count(), Ring::HeightIndexThreshold);
    ASSERT_LE(rings[1]->Count(), Ring::HeightIndexThreshold);
    const auto compare = [&](const char* stage)
    {
        int inside = 0;
        for (double y = -1; y <= 13; y += 0.5)
        {
            for (double x = -1; x <= 302; x += 0.5)
            {
                const Point point{x, y};
                const std::int32_t byScan = CountRayCrossingsByScan(*rings[0], point);
                ASSERT_EQ(CountRayCrossings(*rings[0], point), byScan)
                    << stage << " at " << x << ", " << y;
                const bool expected = (byScan + CountRayCrossingsByScan(*rings[1], point)) % 2 == 1;
                ASSERT_EQ(polygon.ContainsPoint(point), expected)
                    << stage << " at " << x << ", " << y;
                inside += expected ? 1 : 0;
            }
        }
        EXPECT_GT(inside, 1000) << stage;
    };
    // Rectangle searches give the scan's edges in the scan's order once the index exists.
    std::vector<Collections::PlainArray<LinearEdge>> scanned(40);
    for (int k = 0; k < 40; ++k)
    {
        rings[0]->GetEdgesInRectangle(Rectangle(7.0 * k, 0.5 * (k % 20), 7.0 * k + 9, 11),
                                      scanned[k]);
    }
    compare("built");
    for (int k = 0; k < 40; ++k)
    {
        Collections::PlainArray<LinearEdge> indexed;
        rings[0]->GetEdgesInRectangle(Rectangle(7.0 * k, 0.5 * (k % 20), 7.0 * k + 9, 11), indexed);
        ASSERT_EQ(indexed.Count(), scanned[k].Count()) << k;
        for (std::int32_t i = 0; i < indexed.Count(); ++i)
        {
            EXPECT_EQ(indexed[i].StartIndex, scanned[k][i].StartIndex) << k;
        }
    }
    rings[0]->RemoveNode(rings[0]->Count() / 2);
    rings[0]->InsertNode(10, 9.5, 7);
    compare("changed");
}

} // namespace
