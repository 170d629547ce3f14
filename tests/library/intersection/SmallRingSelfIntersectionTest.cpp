// Ring::IsSelfIntersecting checks small rings without edge lists; it must report exactly what
// the search over the ring's edge list reports: the same answer, the same first pair of edges
// and the same point.
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "intersection/RingEdgeSupport.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace Arealis;
using EdgeTesting::EdgesOf;
using EdgeTesting::MakeRing;

namespace
{

void ExpectSameFirstMeetingAsEdgeListSearch(const Ring& ring, const std::string& context)
{
    const EdgeList edges = EdgesOf(ring);
    IntersectionList expected;
    SelectIntersectionAlgorithm(edges, edges, expected, true);

    std::int32_t edge1 = -1;
    std::int32_t edge2 = -1;
    Point point{-1.0, -1.0};
    const bool found = ring.IsSelfIntersecting(&edge1, &edge2, &point);
    ASSERT_EQ(found, expected.Count() > 0) << context;
    EXPECT_EQ(found, ring.IsSelfIntersecting(nullptr, nullptr, nullptr)) << context;
    if (found)
    {
        EXPECT_EQ(edge1, expected[0].FirstEdge.EdgeNumber()) << context;
        EXPECT_EQ(edge2, expected[0].SecondEdge.EdgeNumber()) << context;
        EXPECT_EQ(point, expected[0].Location) << context;
    }
}

// Points on a grid of size + 1 columns and rows, step apart from an origin: on a coarse grid
// the rings repeat vertices, touch and run along themselves; with the node grid's step the
// meetings depend on the probe square around end points.
std::vector<Point> RandomPoints(std::mt19937& random, int count, int size, double step,
                                Point origin)
{
    std::uniform_int_distribution<int> coordinate(0, size);
    std::vector<Point> points;
    while (static_cast<int>(points.size()) < count)
    {
        points.push_back(
            {origin.X + step * coordinate(random), origin.Y + step * coordinate(random)});
    }
    return points;
}

TEST(SmallRingSelfIntersectionTest, RandomRingsAgreeWithTheEdgeListSearchOverTheEdgeList)
{
    std::mt19937 random(20261206);
    struct Grid
    {
        int Size;
        double Step;
        Point Origin;
    };
    const Grid grids[] = {{3, 1.0, {0.0, 0.0}},
                          {6, 1.0, {-3.0, 2.0}},
                          {4, 1e-6, {1000.0, 2000.0}},
                          {5, 0.5e-6, {-7.25, 3.5}}};
    int meetings = 0;
    for (const Grid& grid : grids)
    {
        for (int count = 4; count <= 40; ++count)
        {
            for (int round = 0; round < 40; ++round)
            {
                const auto ring =
                    MakeRing(RandomPoints(random, count, grid.Size, grid.Step, grid.Origin));
                ExpectSameFirstMeetingAsEdgeListSearch(
                    *ring, "grid step " + std::to_string(grid.Step) + ", " + std::to_string(count) +
                               " nodes, round " + std::to_string(round));
                meetings += ring->IsSelfIntersecting(nullptr, nullptr, nullptr) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(meetings, 0);
}

TEST(SmallRingSelfIntersectionTest, SimpleRingsAndNamedMeetingsAgreeWithTheEdgeListSearch)
{
    const std::vector<std::vector<Point>> shapes = {
        {},                                               // empty
        {{0, 0}},                                         // one node
        {{0, 0}, {1, 1}},                                 // two nodes
        {{0, 0}, {2, 0}, {1, 0}},                         // collinear triangle
        {{0, 0}, {0, 2}, {2, 2}, {2, 0}},                 // square
        {{0, 0}, {2, 2}, {2, 0}, {0, 2}},                 // bow tie
        {{0, 0}, {0, 4}, {2, 4}, {2, 2}, {0, 2}, {4, 0}}, // vertex on an earlier edge
        {{0, 0}, {0, 2}, {1, 1}, {2, 2}, {2, 0}, {1, 1}}, // vertex repeated
        {{0, 0}, {0, 2}, {3, 2}, {3, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0}}, // simple comb
        {{0, 0}, {4, 0}, {4, 2}, {1, 0}, {0, 2}},                  // runs back along the base
        {{0, 0}, {0, 1e-6}, {2, 1e-6}, {2, 0}, {1, 0}, {1, 2e-6}}, // meets within the probe
    };
    for (std::size_t k = 0; k < shapes.size(); ++k)
    {
        ExpectSameFirstMeetingAsEdgeListSearch(*MakeRing(shapes[k]), "shape " + std::to_string(k));
    }
}

} // namespace
