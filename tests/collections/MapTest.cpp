#include "Collections/Map.h"

#include "Collections/PlainArray.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <utility>
#include <vector>

using Collections::Map;
using Collections::PlainArray;

namespace
{

using Values = PlainArray<int>;

Values MakeValues(int first, int count)
{
    Values values;
    for (int i = 0; i < count; ++i)
    {
        values.Append(first + i);
    }
    return values;
}

std::vector<int> ToVector(const Values& values)
{
    return {values.begin(), values.end()};
}

// A map of owning arrays, as a layer keeps its parent lists, against std::map.
TEST(MapTest, RandomOperationsMatchStdMap)
{
    std::mt19937 random(7);
    Map<int, Values> map;
    std::map<int, std::vector<int>> model;
    for (int step = 0; step < 6000; ++step)
    {
        const int key = static_cast<int>(random() % 200);
        const auto stored = model.find(key);
        switch (random() % 4)
        {
        case 0:
        case 1:
        {
            Values values = MakeValues(step, static_cast<int>(random() % 4));
            const std::vector<int> expected = ToVector(values);
            ASSERT_EQ(map.Insert(key, std::move(values)), stored == model.end());
            model.emplace(key, expected);
            break;
        }
        case 2:
        {
            Values removed = MakeValues(-1, 1);
            ASSERT_EQ(map.Remove(key, &removed), stored != model.end());
            if (stored != model.end())
            {
                ASSERT_EQ(ToVector(removed), stored->second);
                model.erase(stored);
            }
            break;
        }
        default:
        {
            const Values* found = std::as_const(map).Find(key);
            ASSERT_EQ(found != nullptr, stored != model.end());
            if (found != nullptr)
            {
                ASSERT_EQ(ToVector(*found), stored->second);
            }
            break;
        }
        }
        ASSERT_EQ(map.Count(), static_cast<std::int32_t>(model.size()));
    }

    std::vector<std::pair<int, std::vector<int>>> enumerated;
    const auto enumerator = map.GetEnumerator();
    while (enumerator->MoveNext())
    {
        const auto pair = enumerator->Current();
        enumerated.emplace_back(pair.first, ToVector(pair.second));
    }
    EXPECT_EQ(enumerated,
              (std::vector<std::pair<int, std::vector<int>>>(model.begin(), model.end())));
}

TEST(MapTest, ExistingKeyKeepsItsValueUntilRemovedAndInsertedAgain)
{
    Map<const void*, int> counters;
    int a = 0;
    int b = 0;
    EXPECT_TRUE(counters.Insert(&a, 1));
    EXPECT_TRUE(counters.Insert(&b, 2));
    EXPECT_FALSE(counters.Insert(&a, 5));
    ASSERT_NE(counters.Find(&a), nullptr);
    EXPECT_EQ(*counters.Find(&a), 1);

    *counters.Find(&a) += 1;
    int value = 0;
    EXPECT_TRUE(counters.Remove(&a, &value));
    EXPECT_EQ(value, 2);
    EXPECT_TRUE(counters.Insert(&a, value + 1));
    EXPECT_EQ(*counters.Find(&a), 3);

    EXPECT_TRUE(counters.Remove(&a));
    EXPECT_FALSE(counters.Remove(&a));
    EXPECT_TRUE(counters.Remove(&b));
    EXPECT_TRUE(counters.IsEmpty());
    EXPECT_EQ(counters.Find(&b), nullptr);
}

TEST(MapTest, CopiesOwnTheirValues)
{
    Map<int, Values> map;
    for (int key = 0; key < 20; ++key)
    {
        map.Insert(key, MakeValues(key, 3));
    }
    Map<int, Values> copy(map);
    copy.Find(4)->Set(0, 100);
    copy.Remove(5);
    EXPECT_EQ(map.Find(4)->Get(0), 4);
    EXPECT_NE(map.Find(5), nullptr);
    EXPECT_EQ(copy.Count(), 19);
}

} // namespace
