#include "Collections/InlineArray.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <new>
#include <random>
#include <utility>
#include <vector>

using Collections::InlineArray;

namespace
{

using Small = InlineArray<int, 4>;

std::vector<int> Elements(const Small& array)
{
    return {array.begin(), array.end()};
}

// Inserts value at position at of both the array and its model.
void InsertAt(Small& array, std::vector<int>& model, std::size_t at, int value)
{
    array.insert(array.begin() + static_cast<std::ptrdiff_t>(at), value);
    model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), value);
}

// Erases count values from position at of both the array and its model.
void EraseAt(Small& array, std::vector<int>& model, std::size_t at, std::size_t count)
{
    const auto first = static_cast<std::ptrdiff_t>(at);
    const auto last = static_cast<std::ptrdiff_t>(at + count);
    array.erase(array.begin() + first, array.begin() + last);
    model.erase(model.begin() + first, model.begin() + last);
}

// A heap array whose values do not start at the front of its block: filled from the front.
Small FrontFilled(std::vector<int>& model, int count)
{
    Small array;
    for (int i = 0; i < count; ++i)
    {
        InsertAt(array, model, 0, i);
    }
    return array;
}

// Inserts next to both ends of array and of a copy of its model, and compares them.
void ExpectEditsAtBothEndsMatch(Small& array, std::vector<int> model)
{
    EXPECT_EQ(Elements(array), model);
    for (int i = 0; i < 30; ++i)
    {
        InsertAt(array, model, std::min<std::size_t>(1, model.size()), i);
        InsertAt(array, model, model.size() - 1, -i);
    }
    EXPECT_EQ(Elements(array), model);
}

// Edits anywhere (single values and runs, empty runs included) that cross between the inline
// room and the heap in both directions, with copies and moves taken on the way, against
// std::vector.
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
                const std::size_t at = random() % model.size();
                EraseAt(array, model, at, std::min<std::size_t>(random() % 4, model.size() - at));
            }
            break;
        case 3:
        {
            const std::vector<int> block(random() % 6, value);
            const auto at = static_cast<std::ptrdiff_t>(random() % (model.size() + 1));
            array.insert(array.begin() + at, block.begin(), block.end());
            model.insert(model.begin() + at, block.begin(), block.end());
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

// Insertions and erasures with a strong preference for one end (as a B-tree leaf sees when
// keys come in decreasing or increasing order), and ones just inside the ends, so that the
// values run out of room on one side again and again while the block still has room.
TEST(InlineArrayTest, OneSidedRunsMatchVector)
{
    std::mt19937 random(7);
    for (int pattern = 0; pattern < 4; ++pattern)
    {
        Small array;
        std::vector<int> model;
        array.reserve(151);
        for (int step = 0; step < 3000; ++step)
        {
            const std::size_t size = model.size();
            const bool grow = size < 20 || random() % 4 != 0;
            if (grow)
            {
                const std::size_t near = std::min<std::size_t>(size, random() % 3);
                const std::size_t at = pattern % 2 == 0 ? near : size - near;
                InsertAt(array, model, pattern < 2 ? at : (at + size / 2) % (size + 1), step);
            }
            else
            {
                const std::size_t count = 1 + random() % 3;
                const std::size_t at = pattern % 2 == 0 ? 0 : size - count;
                EraseAt(array, model, at, count);
            }
            ASSERT_EQ(Elements(array), model) << "pattern " << pattern << ", step " << step;
        }
    }
}

// Inserting into an array that reserved its capacity never moves it to another block, from
// whichever side it is filled; the values stay inside the block they started in.
TEST(InlineArrayTest, FillingReservedRoomKeepsTheBlock)
{
    constexpr std::size_t capacity = 151;
    std::mt19937 random(3);
    for (int pattern = 0; pattern < 3; ++pattern)
    {
        Small array;
        std::vector<int> model;
        array.reserve(capacity);
        const int* const block = array.data();
        for (std::size_t size = 0; size < capacity; ++size)
        {
            const std::size_t at = pattern == 0 ? 0 : pattern == 1 ? size : random() % (size + 1);
            InsertAt(array, model, at, static_cast<int>(size));
            ASSERT_GE(array.data(), block);
            ASSERT_LE(array.data() + array.size(), block + capacity);
        }
        EXPECT_EQ(array.capacity(), capacity);
        EXPECT_EQ(Elements(array), model);
    }
}

// Copies, moves and swaps of heap arrays whose values do not start their blocks, so that a
// lost or misplaced first value shows in later edits.
TEST(InlineArrayTest, CopiesMovesAndSwapsKeepValuesThatDoNotStartTheBlock)
{
    std::vector<int> model;
    std::vector<int> otherModel;
    std::vector<int> scratch;
    Small array = FrontFilled(model, 40);
    Small other = FrontFilled(otherModel, 25);
    EraseAt(other, otherModel, 0, 3);

    Small copied(array);
    Small assigned;
    assigned.reserve(200);
    assigned = array;
    EXPECT_EQ(assigned.capacity(), 200U); // an assigned copy keeps the room reserved before
    Small moved(std::move(array));
    std::swap(moved, other);
    Small target = FrontFilled(scratch, 9);
    target = std::move(other);

    ExpectEditsAtBothEndsMatch(copied, model);
    ExpectEditsAtBothEndsMatch(assigned, model);
    ExpectEditsAtBothEndsMatch(target, model);
    ExpectEditsAtBothEndsMatch(moved, otherModel);
    // A moved-from array is empty and usable.
    ExpectEditsAtBothEndsMatch(array, {}); // NOLINT(bugprone-use-after-move)
}

// A reservation that cannot be allocated leaves the values as they were.
TEST(InlineArrayTest, FailedReservationKeepsTheValues)
{
    std::vector<int> model;
    Small array = FrontFilled(model, 30);
    EXPECT_THROW(array.reserve(std::numeric_limits<std::size_t>::max() / 2), std::bad_alloc);
    EXPECT_EQ(Elements(array), model);
    InsertAt(array, model, 0, 1);
    EXPECT_EQ(Elements(array), model);
}

} // namespace
