#include "Collections/Array.h"

#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using Collections::Array;
using Collections::PlainArray;
using Exceptions::ArgumentOutOfRangeException;

namespace
{

template <class TArray>
TArray FullArrayOfCapacity(int capacity)
{
    TArray array;
    array.SetCount(capacity);
    for (int i = 0; i < capacity; ++i)
    {
        array[i] = i;
    }
    return array;
}

template <class TArray>
std::vector<int> Elements(const TArray& array)
{
    return {array.begin(), array.end()};
}

TEST(PlainArrayTest, InsertIntoFullArrayGrowsByItsFraction)
{
    auto quarter = FullArrayOfCapacity<PlainArray<int, 25>>(4);
    quarter.Insert(1, 9);
    EXPECT_EQ(quarter.Capacity(), 5);
    EXPECT_EQ(Elements(quarter), (std::vector<int>{0, 9, 1, 2, 3}));

    auto half = FullArrayOfCapacity<PlainArray<int>>(4);
    half.Insert(4, 9);
    EXPECT_EQ(half.Capacity(), 6);
    EXPECT_EQ(Elements(half), (std::vector<int>{0, 1, 2, 3, 9}));

    // A tenth of 3 truncates to nothing; the array still grows by one slot.
    auto tenth = FullArrayOfCapacity<PlainArray<int, 10>>(3);
    tenth.Insert(0, 9);
    EXPECT_EQ(tenth.Capacity(), 4);
    EXPECT_EQ(Elements(tenth), (std::vector<int>{9, 0, 1, 2}));
}

TEST(PlainArrayTest, SetCountAllocatesExactlyFirstThenGrowsByFraction)
{
    PlainArray<int> array;
    EXPECT_EQ(array.Data(), nullptr);
    array.SetCount(3);
    EXPECT_EQ(array.Capacity(), 3);
    array.SetCount(4); // 3 + 3 / 2 = 4
    EXPECT_EQ(array.Capacity(), 4);
    array.SetCount(10); // more than the growth gives
    EXPECT_EQ(array.Capacity(), 10);
    array.SetCount(2);
    EXPECT_EQ(array.Capacity(), 10);
    EXPECT_EQ(array.Count(), 2);

    array.SetCount(0);
    EXPECT_EQ(array.Data(), nullptr);
    EXPECT_EQ(array.Capacity(), 0);
    EXPECT_EQ(array.Count(), 0);
    array.SetCount(3);
    EXPECT_EQ(array.Capacity(), 3);
}

TEST(PlainArrayTest, ReserveKeepsTheElementsAndAppendsWithoutGrowing)
{
    PlainArray<int> array;
    array.Reserve(0);
    EXPECT_EQ(array.Data(), nullptr);
    array.Append(7);
    array.Append(8);
    array.Reserve(6);
    EXPECT_EQ(array.Capacity(), 6);
    EXPECT_EQ(array.Count(), 2);
    const int* data = array.Data();
    for (int i = 0; i < 4; ++i)
    {
        array.Append(i);
    }
    EXPECT_EQ(array.Data(), data); // no new storage up to the reserved size
    EXPECT_EQ(array[0], 7);
    EXPECT_EQ(array[5], 3);
    array.Reserve(3); // never shrinks
    EXPECT_EQ(array.Capacity(), 6);
    array.Append(9); // grows by its fraction from there: 6 + 3
    EXPECT_EQ(array.Capacity(), 9);
}

TEST(PlainArrayTest, IndexErrorsThrowAndLeaveTheArrayUnchanged)
{
    PlainArray<int> array;
    EXPECT_THROW(array.Get(0), ArgumentOutOfRangeException);
    array.Append(7);
    EXPECT_THROW(array.Get(-1), ArgumentOutOfRangeException);
    EXPECT_THROW(array.Get(1), ArgumentOutOfRangeException);
    EXPECT_THROW(array.Set(1, 0), ArgumentOutOfRangeException);
    EXPECT_THROW(array.RemoveAt(1), ArgumentOutOfRangeException);
    EXPECT_THROW(array.Insert(2, 0), ArgumentOutOfRangeException);
    EXPECT_THROW(array.Insert(-1, 0), ArgumentOutOfRangeException);
    EXPECT_THROW(array.SetCount(-1), ArgumentOutOfRangeException);
    EXPECT_EQ(Elements(array), std::vector<int>{7});
}

TEST(PlainArrayTest, InsertingOrAppendingAnOwnElementAcrossGrowthCopiesItsValue)
{
    PlainArray<int> array;
    array.Append(5);
    array.Append(array[0]); // full: the append reallocates
    EXPECT_EQ(Elements(array), (std::vector<int>{5, 5}));
    array.Insert(0, array[1]);
    EXPECT_EQ(Elements(array), (std::vector<int>{5, 5, 5}));
}

TEST(PlainArrayTest, CopiesAreIndependentAndKeepCapacity)
{
    PlainArray<int> source;
    source.SetCount(5);
    source.SetCount(2);
    source[0] = 1;
    source[1] = 2;

    PlainArray<int> copy(source);
    EXPECT_EQ(copy.Capacity(), 5);
    EXPECT_EQ(Elements(copy), (std::vector<int>{1, 2}));
    copy.Set(0, 10);
    EXPECT_EQ(source.Get(0), 1);

    PlainArray<int> assigned;
    assigned = source;
    EXPECT_EQ(Elements(assigned), (std::vector<int>{1, 2}));

    PlainArray<int> moved(std::move(copy));
    EXPECT_EQ(Elements(moved), (std::vector<int>{10, 2}));
    EXPECT_EQ(copy.Count(), 0); // NOLINT(bugprone-use-after-move): moved-from state is empty
    EXPECT_EQ(copy.Data(), nullptr);

    PlainArray<int> empty;
    PlainArray<int> emptyCopy(empty);
    EXPECT_EQ(emptyCopy.Data(), nullptr);
}

TEST(PlainArrayTest, RandomEditsMatchVector)
{
    std::mt19937 random(1234);
    PlainArray<int, 25> array;
    std::vector<int> model;
    for (int step = 0; step < 5000; ++step)
    {
        const int value = static_cast<int>(random() % 1000);
        switch (random() % 4)
        {
        case 0:
            array.Append(value);
            model.push_back(value);
            break;
        case 1:
        {
            const int i = static_cast<int>(random() % (model.size() + 1));
            array.Insert(i, value);
            model.insert(model.begin() + i, value);
            break;
        }
        case 2:
            if (!model.empty())
            {
                const int i = static_cast<int>(random() % model.size());
                array.RemoveAt(i);
                model.erase(model.begin() + i);
            }
            break;
        default:
            if (!model.empty())
            {
                const int i = static_cast<int>(random() % model.size());
                array.Set(i, value);
                model[static_cast<std::size_t>(i)] = value;
            }
            break;
        }
        ASSERT_GE(array.Capacity(), array.Count());
    }
    EXPECT_EQ(Elements(array), model);
}

TEST(ArrayTest, GrowsByATenthUnlessAskedOtherwise)
{
    auto array = FullArrayOfCapacity<Array<int, 0>>(20);
    array.Append(1);
    EXPECT_EQ(array.Capacity(), 22);

    auto halves = FullArrayOfCapacity<Array<int, 50>>(4);
    halves.Append(1);
    EXPECT_EQ(halves.Capacity(), 6);
}

} // namespace
