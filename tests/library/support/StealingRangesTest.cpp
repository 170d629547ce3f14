#include "support/StealingRanges.h"

#include <atomic>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

using Arealis::Parallel::StealingRanges;

namespace
{

// Every item is handed out exactly once, whether the slots' threads all run, run at once, or
// only some of them show up (the others' ranges are then taken over).
TEST(StealingRangesTest, HandsOutEveryItemOnceWhicheverSlotsRun)
{
    struct Case
    {
        std::size_t Count;
        unsigned Slots;
        unsigned Running; // threads that take items, on the first slots
    };
    for (const Case& c : {Case{0, 2, 2}, Case{1, 3, 3}, Case{5, 8, 8}, Case{1000, 3, 1},
                          Case{1000, 2, 2}, Case{100000, 4, 4}, Case{100000, 4, 3}})
    {
        StealingRanges ranges(c.Count, c.Slots);
        const auto taken = std::make_unique<std::atomic<int>[]>(c.Count);
        std::vector<std::thread> threads;
        for (unsigned slot = 0; slot < c.Running; ++slot)
        {
            threads.emplace_back(
                [&, slot]
                {
                    while (const auto item = ranges.Take(slot))
                    {
                        ASSERT_LT(*item, c.Count);
                        taken[*item].fetch_add(1);
                    }
                });
        }
        for (std::thread& thread : threads)
        {
            thread.join();
        }
        for (std::size_t k = 0; k < c.Count; ++k)
        {
            ASSERT_EQ(taken[k].load(), 1) << "item " << k << " of " << c.Count;
        }
    }
}

// A slot goes through its own range in ascending order before it takes over anything, and then
// takes the upper half of what is left.
TEST(StealingRangesTest, TakesItsOwnRunFirstThenTheUpperHalfOfTheRest)
{
    StealingRanges ranges(10, 2);
    std::vector<std::size_t> order;
    while (const auto item = ranges.Take(0))
    {
        order.push_back(*item);
        if (order.size() == 7)
        {
            break;
        }
    }
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 7, 8}));
    EXPECT_EQ(ranges.Take(1), 5U);
    EXPECT_EQ(ranges.Take(1), 6U);
    EXPECT_EQ(ranges.Take(1), 9U);
    EXPECT_FALSE(ranges.Take(0).has_value());
}

} // namespace
