// The lower bound searched outwards from a hint must be the plain lower bound, whatever the
// hint: the overlay and the B-tree rely on it for answers that results depend on.
#include "Collections/LowerBoundFrom.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

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
                EXPECT_EQ(
                    Collections::LowerBoundFrom(values.begin(), values.end(), hint, x, leftOf),
                    expected)
                    << "size " << size << ", value " << x << ", hint " << (hint - values.begin());
                if (hint == values.end())
                {
                    break;
                }
            }
        }
    }
}

} // namespace
