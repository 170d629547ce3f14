#include "support/PositionSort.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <span>
#include <vector>

using namespace Arealis;
using Arealis::Detail::IndexedPosition;

namespace
{

std::vector<IndexedPosition> Indexed(const std::vector<Point>& points)
{
    std::vector<IndexedPosition> items;
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        items.push_back({points[i], static_cast<std::uint32_t>(i)});
    }
    return items;
}

// The positions in the index's order, each item still with its own index.
void ExpectSortedLikeTheIndex(const std::vector<Point>& points)
{
    std::vector<IndexedPosition> items = Indexed(points);
    std::vector<std::uint32_t> buckets;
    std::vector<IndexedPosition> scratch;
    const std::span<const IndexedPosition> sorted = Detail::SortByPosition(items, buckets, scratch);

    std::vector<Point> expected = points;
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(sorted.size(), points.size());
    std::vector<bool> seen(points.size(), false);
    for (std::size_t i = 0; i < sorted.size(); ++i)
    {
        ASSERT_TRUE(sorted[i].Position == expected[i]) << i;
        ASSERT_TRUE(sorted[i].Position == points[sorted[i].Index]) << i;
        ASSERT_FALSE(seen[sorted[i].Index]) << i;
        seen[sorted[i].Index] = true;
    }
}

TEST(PositionSortTest, SortsLikeTheIndexWhateverTheSpreadOfX)
{
    std::uint64_t seed = 99;
    const auto next = [&seed]
    {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(seed >> 44);
    };
    std::vector<Point> scattered;
    scattered.reserve(5602);
    for (int i = 0; i < 5000; ++i)
    {
        scattered.push_back({next() / 16.0, next()});
    }
    // Equal positions, equal x in columns, and both zeros, which the index holds equal.
    for (int i = 0; i < 300; ++i)
    {
        scattered.push_back(scattered[static_cast<std::size_t>(i) * 7]);
        scattered.push_back({scattered[static_cast<std::size_t>(i)].X, -double(i)});
    }
    scattered.push_back({0.0, -0.0});
    scattered.push_back({-0.0, 0.0});
    ExpectSortedLikeTheIndex(scattered);

    // One bucket crowded with most points, the others nearly empty.
    std::vector<Point> crowded;
    crowded.reserve(2001);
    for (int i = 0; i < 2000; ++i)
    {
        crowded.push_back({1e-9 * (i % 97), double(i % 13)});
    }
    crowded.push_back({1e6, 0});
    ExpectSortedLikeTheIndex(crowded);

    // No width, a width that overflows, and a few points below the bucketing size.
    ExpectSortedLikeTheIndex(std::vector<Point>(100, Point{3, 4}));
    const double big = std::numeric_limits<double>::max();
    std::vector<Point> extreme{{big, 1}, {-big, 2}, {0, 3}};
    for (int i = 0; i < 40; ++i)
    {
        extreme.push_back({i % 2 == 0 ? big / (i + 1) : -big / (i + 1), double(i)});
    }
    ExpectSortedLikeTheIndex(extreme);
    ExpectSortedLikeTheIndex({{2, 1}, {1, 2}, {1, 1}});
    ExpectSortedLikeTheIndex({});
}

} // namespace
