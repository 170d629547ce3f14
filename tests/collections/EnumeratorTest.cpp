#include "Collections/Array.h"
#include "Collections/BoundsOverlapCriterion.h"
#include "Collections/CriterionEnumerator.h"
#include "Collections/IEnumerator.h"
#include "Collections/OverallEnumerator.h"
#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"

#include <gtest/gtest.h>
#include <vector>

using namespace Collections;
using Exceptions::ArgumentOutOfRangeException;

namespace
{

template <class T>
std::vector<T> Drain(IEnumerator<T>& enumerator)
{
    std::vector<T> items;
    while (enumerator.MoveNext())
    {
        items.push_back(enumerator.Current());
    }
    return items;
}

// Current() is refused before the first MoveNext(), after Reset() and after the end, and
// MoveNext() stays false once the items are exhausted.
template <class T>
void ExpectProtocol(IEnumerator<T>& enumerator, const std::vector<T>& expected)
{
    EXPECT_THROW(enumerator.Current(), ArgumentOutOfRangeException);
    EXPECT_EQ(Drain(enumerator), expected);
    EXPECT_THROW(enumerator.Current(), ArgumentOutOfRangeException);
    EXPECT_FALSE(enumerator.MoveNext());
    EXPECT_THROW(enumerator.Current(), ArgumentOutOfRangeException);

    enumerator.Reset();
    EXPECT_THROW(enumerator.Current(), ArgumentOutOfRangeException);
    EXPECT_EQ(Drain(enumerator), expected);

    enumerator.Reset();
    if (enumerator.MoveNext())
    {
        const auto clone = enumerator.Clone();
        EXPECT_THROW(clone->Current(), ArgumentOutOfRangeException);
        EXPECT_EQ(Drain(*clone), expected);
    }
}

template <class TArray>
void ExpectProtocolOfOverallEnumerator(const std::vector<int>& values)
{
    TArray array;
    for (const int value : values)
    {
        array.Append(value);
    }
    OverallEnumerator<TArray> enumerator(array);
    ExpectProtocol(enumerator, values);
}

TEST(OverallEnumeratorTest, FollowsTheProtocolOverBothArrays)
{
    for (const std::vector<int>& values : {std::vector<int>{1, 2, 3}, std::vector<int>{}})
    {
        ExpectProtocolOfOverallEnumerator<PlainArray<int>>(values);
        ExpectProtocolOfOverallEnumerator<Array<int>>(values);
    }
}

TEST(OverallEnumeratorTest, PlainArrayEnumeratorKeepsTheCountOfItsCreation)
{
    PlainArray<int> array;
    array.SetCount(4);
    array.SetCount(2);
    array[0] = 1;
    array[1] = 2;
    OverallEnumerator<PlainArray<int>> enumerator(array);
    array.Append(3); // within the capacity: the storage stays where it is
    EXPECT_EQ(Drain(enumerator), (std::vector<int>{1, 2}));
    enumerator.Reset();
    EXPECT_EQ(Drain(enumerator), (std::vector<int>{1, 2}));
}

TEST(OverallEnumeratorTest, ArrayEnumeratorSeesAppendedItemsAfterReset)
{
    Array<int> array;
    array.Append(1);
    OverallEnumerator<Array<int>> enumerator(array);
    array.Append(2);
    EXPECT_EQ(Drain(enumerator), std::vector<int>{1});
    enumerator.Reset();
    EXPECT_EQ(Drain(enumerator), (std::vector<int>{1, 2}));
}

TEST(OverallEnumeratorTest, ArrayEnumeratorRefusesPositionsBeyondAShrunkArray)
{
    Array<int> array;
    array.Append(1);
    array.Append(2);
    OverallEnumerator<Array<int>> enumerator(array);
    array.RemoveAt(1);
    ASSERT_TRUE(enumerator.MoveNext());
    EXPECT_EQ(enumerator.Current(), 1);
    ASSERT_TRUE(enumerator.MoveNext()); // the count was taken before the removal
    EXPECT_THROW(enumerator.Current(), ArgumentOutOfRangeException);
}

struct Box
{
    double MinX, MinY, MaxX, MaxY;
};

struct BoxOfItem
{
    const Box& operator()(const Box* box) const { return *box; }
};

TEST(CriterionEnumeratorTest, YieldsItemsOverlappingTheRectangleClosed)
{
    const Box inside{1, 1, 2, 2};
    const Box corner{3, 3, 4, 4}; // touches the query at (3, 3) only
    const Box edge{-1, 0, 0, 3};  // shares the query's left edge
    const Box away{3.5, 0, 4, 1};
    Array<const Box*> array;
    for (const Box* box : {&inside, &away, &corner, &edge})
    {
        array.Append(box);
    }

    using Criterion = BoundsOverlapCriterion<Box, BoxOfItem>;
    CriterionEnumerator<Array<const Box*>, Criterion> enumerator(array, Criterion({0, 0, 3, 3}));
    ExpectProtocol<const Box*>(enumerator, {&inside, &corner, &edge});
    // Nothing matches: the enumerator skips to the end.
    CriterionEnumerator<Array<const Box*>, Criterion> none(array, Criterion({10, 10, 11, 11}));
    ExpectProtocol<const Box*>(none, {});
}

} // namespace
