#include "Collections/InlineArray.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using Collections::InlineArray;

namespace
{

using Small = InlineArray<int, 4>;

std::vector<int> Elements(const Small& array)
{
    return {array.begin(), array.end()};
}

// Edits that cross between the inline room and the heap in both directions, with copies and
// moves taken on the way, against std::vector.
TEST(InlineArrayTest, RandomEditsAcrossTheInlineLimitMatchVector)
{
    std::mt19937 random(99);
    Small array;
    std::vector<int> model;
    for (int step = 0; step < 4000; ++step)
    {
        const int value = static_cast<int>(random() % 100);
        switch (random() % 6)
        {
        case 0:
        case 1:
        {
            const auto at = static_cast<std::ptrdiff_t>(random() % (model.size() + 1));
            array.insert(array.begin() + at, value);
            model.insert(model.begin() + at, value);
            break;
        }
        case 2:
            if (!model.empty())
            {
                const auto at = static_cast<std::ptrdiff_t>(random() % model.size());
                array.erase(array.begin() + at);
                model.erase(model.begin() + at);
            }
            break;
        case 3:
        {
            const std::vector<int> block(random() % 6, value);
            array.insert(array.end(), block.begin(), block.end());
            model.insert(model.end(), block.begin(), block.end());
            break;
        }
        case 4:
        {
            Small copy(array);
            array = std::move(copy);
            break;
        }
        default:
            if (model.size() > 8)
            {
                model.resize(2);
                array.erase(array.begin() + 2, array.end());
                Small moved(std::move(array));
                array = moved;
            }
            break;
        }
        ASSERT_EQ(Elements(array), model);
    }
}

TEST(InlineArrayTest, InsertingAnOwnElementWhileGrowingCopiesItsValue)
{
    Small array;
    for (int i = 0; i < 4; ++i)
    {
        array.push_back(i + 1);
    }
    array.insert(array.begin(), array.back()); // the inline room is full: moves to the heap
    EXPECT_EQ(Elements(array), (std::vector<int>{4, 1, 2, 3, 4}));
    EXPECT_GE(array.capacity(), 5U);
}

} // namespace
