#include "model/EdgeBoxHierarchy.h"

#include "Arealis/Ring.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

// The edges a scan of the ring finds in rect, in the ring's order.
std::vector<std::int32_t> ScannedStarts(const Ring& ring, const Rectangle& rect)
{
    std::vector<std::int32_t> starts;
    const std::int32_t n = ring.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        if (Rectangle(ring.GetNode(i)->Position, ring.GetNode((i + 1) % n)->Position)
                .Intersects(rect))
        {
            starts.push_back(i);
        }
    }
    return starts;
}

// Ring sizes around the group sizes (one edge, part of a group, whole groups, a partial group
// on each level), random walks so that groups overlap, and rectangles from points to most of
// the ring: the hierarchy finds the scan's edges in the scan's order, with the closing edge
// numbered n - 1 and ending at node 0.
TEST(EdgeBoxHierarchyTest, FindsTheScansEdgesInRingOrder)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> step(-1.0, 1.0);
    std::uniform_real_distribution<double> corner(-15.0, 15.0);
    std::uniform_real_distribution<double> side(0.0, 12.0);
    for (const int n : {1, 2, 7, 8, 9, 64, 65, 513, 4097})
    {
        Ring ring(nullptr, false);
        Points points;
        Point at{0, 0};
        for (int i = 0; i < n; ++i)
        {
            points.push_back(at);
            at = {at.X + step(random), at.Y + step(random)};
        }
        AddPoints(ring, points);
        const Detail::EdgeBoxHierarchy hierarchy(&ring, ring.GetNodes());
        for (int query = 0; query < 200; ++query)
        {
            const double x = corner(random);
            const double y = corner(random);
            const double size = query % 4 == 0 ? 0.0 : side(random);
            const Rectangle rect(x, y, x + size, y + size);
            std::vector<std::int32_t> found;
            hierarchy.VisitOverlapping(rect,
                                       [&](const LinearEdge& edge)
                                       {
                                           EXPECT_EQ(edge.Ring, &ring);
                                           EXPECT_EQ(edge.EndIndex, (edge.StartIndex + 1) % n);
                                           found.push_back(edge.StartIndex);
                                           return true;
                                       });
            ASSERT_EQ(found, ScannedStarts(ring, rect)) << n << " nodes, query " << query;
        }
    }
}

TEST(EdgeBoxHierarchyTest, StopsWhenTheVisitorSaysSoAndHoldsNothingForAnEmptyRing)
{
    Ring ring(nullptr, false);
    Points points;
    for (int i = 0; i < 100; ++i)
    {
        points.push_back({std::cos(i * 0.0628), std::sin(i * 0.0628)});
    }
    AddPoints(ring, points);
    const Detail::EdgeBoxHierarchy hierarchy(&ring, ring.GetNodes());
    int visited = 0;
    hierarchy.VisitOverlapping(ring.GetBounds(),
                               [&visited](const LinearEdge&) { return ++visited < 3; });
    EXPECT_EQ(visited, 3);

    Ring empty(nullptr, false);
    const Detail::EdgeBoxHierarchy none(&empty, empty.GetNodes());
    none.VisitOverlapping(Rectangle(-1, -1, 1, 1),
                          [](const LinearEdge&)
                          {
                              ADD_FAILURE() << "an empty ring has no edges";
                              return true;
                          });
}

} // namespace
