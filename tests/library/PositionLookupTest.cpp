// The overlay's lookup helpers: the hash table of positions and the lower bound searched from
// an earlier answer. Both stand in for ordered searches whose answers the results depend on,
// so they must give exactly the same answers.
#include "LowerBoundFrom.h"
#include "PositionTable.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace Arealis::Detail
{
namespace
{

TEST(LowerBoundFromTest, AgreesWithLowerBoundForEveryHintAndValue)
{
    std::mt19937 random(7);
    const auto leftOf = [](int element, int value) { return element < value; };
    for (int size = 0; size <= 40; ++size)
    {
        std::vector<int> values(static_cast<std::size_t>(size));
        // Small values, so that runs of equal elements occur.
        for (int& v : values)
        {
            v = static_cast<int>(random() % 12);
        }
        std::sort(values.begin(), values.end());
        for (int x = -1; x <= 13; ++x)
        {
            const auto expected = std::lower_bound(values.begin(), values.end(), x);
            for (auto hint = values.begin();; ++hint)
            {
                EXPECT_EQ(LowerBoundFrom(values.begin(), values.end(), hint, x, leftOf), expected)
                    << "size " << size << ", value " << x << ", hint " << (hint - values.begin());
                if (hint == values.end())
                {
                    break;
                }
            }
        }
    }
}

std::vector<Point> GridPoints()
{
    std::vector<Point> points;
    for (int i = -20; i <= 20; ++i)
    {
        for (int j = -20; j <= 20; ++j)
        {
            // Neighbours on the 1e-6 grid, far from the origin: they differ in low bits only.
            points.push_back(Point{8.4e6 + i * 1e-6, -3.5e5 + j * 1e-6});
        }
    }
    return points;
}

TEST(PositionTableTest, FindsEveryStoredPositionAndNothingElse)
{
    const std::vector<Point> points = GridPoints();
    const auto positionOf = [&points](std::int32_t i)
    { return points[static_cast<std::size_t>(i)]; };
    PositionTable table; // grows from its smallest size many times on the way
    for (std::size_t i = 0; i < points.size(); i += 2)
    {
        const auto index = static_cast<std::int32_t>(i);
        ASSERT_EQ(table.FindOrInsert(points[i], index, positionOf), index);
    }
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        const std::int32_t expected = i % 2 == 0 ? static_cast<std::int32_t>(i) : -1;
        EXPECT_EQ(table.Find(points[i], positionOf), expected) << i;
    }
}

TEST(PositionTableTest, EqualPositionsShareOneEntryBothZerosIncluded)
{
    const std::vector<Point> points{{0.0, 1.0}, {-0.0, 1.0}, {2.0, -0.0}, {2.0, 0.0}, {0.0, 1.0}};
    const auto positionOf = [&points](std::int32_t i)
    { return points[static_cast<std::size_t>(i)]; };
    PositionTable table;
    table.Reserve(points.size());
    EXPECT_EQ(table.FindOrInsert(points[0], 0, positionOf), 0);
    EXPECT_EQ(table.FindOrInsert(points[1], 1, positionOf), 0);
    EXPECT_EQ(table.FindOrInsert(points[2], 2, positionOf), 2);
    EXPECT_EQ(table.FindOrInsert(points[3], 3, positionOf), 2);
    EXPECT_EQ(table.FindOrInsert(points[4], 4, positionOf), 0);
    EXPECT_EQ(table.Find(Point{0.0, -1.0}, positionOf), -1);
    EXPECT_EQ(PositionTable().Find(points[0], positionOf), -1);
}

} // namespace
} // namespace Arealis::Detail
