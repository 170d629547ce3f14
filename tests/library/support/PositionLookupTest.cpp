// The overlay's hash table of positions: it stands in for an ordered map whose answers the
// results depend on, so it must give exactly the same answers.
#include "support/PositionTable.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace Arealis::Detail
{
namespace
{

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
