// The layer operations' table of remainders: every polygon must find its own latest
// remainder, whatever the table's growth and the collisions of its slots on the way.
#include "overlay/RemainderMap.h"

#include "Arealis/Polygon.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace Arealis::LayerOperations
{
namespace
{

TEST(RemainderMapTest, EachPolygonFindsItsLatestRemainderThroughGrowthAndReplacement)
{
    constexpr std::size_t Count = 1000; // the table grows from its smallest size many times
    std::vector<std::unique_ptr<Polygon>> polygons;
    for (std::size_t i = 0; i < Count; ++i)
    {
        polygons.push_back(std::make_unique<Polygon>(nullptr));
    }
    RemainderMap remainders;
    EXPECT_EQ(&remainders.Get(*polygons[0]), polygons[0].get()); // an empty table
    std::vector<const Polygon*> expected(Count);
    for (std::size_t i = 0; i < Count; ++i)
    {
        expected[i] = polygons[i].get();
    }
    // Every third polygon gets a remainder, every ninth a second one that replaces the first.
    for (int round = 0; round < 2; ++round)
    {
        for (std::size_t i = 0; i < Count; i += round == 0 ? 3 : 9)
        {
            auto remainder = std::make_unique<Polygon>(nullptr);
            expected[i] = remainder.get();
            remainders.Replace(*polygons[i], std::move(remainder));
        }
    }
    for (std::size_t i = 0; i < Count; ++i)
    {
        EXPECT_EQ(&remainders.Get(*polygons[i]), expected[i]) << i;
    }
}

} // namespace
} // namespace Arealis::LayerOperations
