#include "Arealis/SegmentsSet.h"

#include "Arealis/LinearEdge.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <tuple>
#include <vector>

using Arealis::LinearEdge;
using Arealis::Rectangle;
using Arealis::Ring;
using Arealis::SegmentsSet;

namespace
{

bool EdgeLess(const LinearEdge& a, const LinearEdge& b)
{
    return std::tie(a.StartIndex, a.EndIndex) < std::tie(b.StartIndex, b.EndIndex);
}

std::vector<LinearEdge> Sorted(std::vector<LinearEdge> edges)
{
    std::sort(edges.begin(), edges.end(), EdgeLess);
    return edges;
}

// A star-shaped ring of 300 nodes whose radius wobbles, so edges have all orientations.
void FillStar(Ring& ring)
{
    constexpr int nodeCount = 300;
    for (int i = 0; i < nodeCount; ++i)
    {
        const double angle = -2.0 * 3.14159265358979 * i / nodeCount;
        const double radius = 100.0 + 20.0 * std::sin(7.0 * angle);
        ring.AddNode(radius * std::cos(angle), radius * std::sin(angle));
    }
}

std::vector<LinearEdge> EdgesOf(Ring& ring)
{
    std::vector<LinearEdge> edges;
    edges.reserve(static_cast<std::size_t>(ring.Count()));
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        edges.push_back(LinearEdge{&ring, i, (i + 1) % ring.Count()});
    }
    return edges;
}

TEST(SegmentsSetTest, WindowQueriesFindExactlyTheEdgesWhoseBoundsOverlap)
{
    Ring ring(nullptr, false);
    FillStar(ring);
    const std::vector<LinearEdge> edges = EdgesOf(ring);
    SegmentsSet set;
    for (const LinearEdge& edge : edges)
    {
        set.Insert(edge);
    }
    EXPECT_EQ(set.Count(), ring.Count());
    EXPECT_EQ(set.MaxItems(), 14);

    std::mt19937 random(3);
    std::uniform_real_distribution<double> coordinate(-130.0, 130.0);
    std::uniform_real_distribution<double> size(0.0, 40.0);
    for (int query = 0; query < 300; ++query)
    {
        const double x = coordinate(random);
        const double y = coordinate(random);
        const Rectangle window(x, y, x + size(random), y + size(random));
        std::vector<LinearEdge> expected;
        for (const LinearEdge& edge : edges)
        {
            if (edge.Bounds().Intersects(window))
            {
                expected.push_back(edge);
            }
        }
        std::vector<LinearEdge> found;
        set.VisitOverlapping(window,
                             [&found](const LinearEdge& edge)
                             {
                                 found.push_back(edge);
                                 return true;
                             });
        ASSERT_EQ(Sorted(found), Sorted(expected));
    }
    EXPECT_TRUE(set.Bounds().Contains(ring.GetBounds()));
}

TEST(SegmentsSetTest, RemovesAnEdgeByRingAndPositions)
{
    Ring ring(nullptr, false);
    FillStar(ring);
    SegmentsSet set;
    for (const LinearEdge& edge : EdgesOf(ring))
    {
        set.Insert(edge);
    }
    // The reversed edge spans the same bounds but is a different edge.
    EXPECT_FALSE(set.Remove(LinearEdge{&ring, 6, 5}));
    EXPECT_TRUE(set.Remove(LinearEdge{&ring, 5, 6}));
    EXPECT_FALSE(set.Remove(LinearEdge{&ring, 5, 6}));
    EXPECT_EQ(set.Count(), ring.Count() - 1);

    const Rectangle everything(-1000, -1000, 1000, 1000);
    const auto all = set.Search(everything);
    std::int32_t count = 0;
    while (all->MoveNext())
    {
        EXPECT_NE(all->Current().StartIndex, 5);
        ++count;
    }
    EXPECT_EQ(count, ring.Count() - 1);
}

} // namespace
