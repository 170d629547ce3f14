#include "support/WorkAhead.h"

#include <atomic>
#include <cstddef>
#include <exception>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

using Arealis::Detail::WorkAhead;

namespace
{

// Goes on after a std::invalid_argument, as the commit does after an invalid polygon.
bool GoesOnAfterInvalidArgument(const std::exception_ptr& error) noexcept
{
    try
    {
        std::rethrow_exception(error);
    }
    catch (const std::invalid_argument&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

TEST(WorkAheadTest, PassesItemsAndFailuresOnInOrderAndStopsWhereTold)
{
    // Two slots publish every item, 1,024 every 32 items: both must hand every item over.
    for (const std::size_t slotCount : {std::size_t{2}, std::size_t{64}, std::size_t{1024}})
    {
        std::vector<std::size_t> slots(slotCount);
        std::size_t made = 0;
        WorkAhead<std::size_t> ahead(
            5000, slots,
            [&made](std::size_t k, std::size_t& item)
            {
                ++made;
                if (k % 700 == 5)
                {
                    throw std::invalid_argument("goes on");
                }
                if (k == 3000)
                {
                    throw std::runtime_error("stops");
                }
                item = 3 * k;
            },
            GoesOnAfterInvalidArgument);
        for (std::size_t k = 0; k < 3000; ++k)
        {
            if (k % 700 == 5)
            {
                EXPECT_THROW(ahead.Take(k), std::invalid_argument) << k;
            }
            else
            {
                ASSERT_EQ(ahead.Take(k), 3 * k) << slotCount << ", " << k;
            }
        }
        EXPECT_THROW(ahead.Take(3000), std::runtime_error);
        // Nothing after the failure that stops it was made.
        EXPECT_EQ(ahead.Stop(), 3001U);
        EXPECT_EQ(made, 3001U);
    }
}

TEST(WorkAheadTest, KeepsNoMoreItemsAheadThanSlotsAndStopsWhileWaitingForRoom)
{
    std::vector<int> slots(64);
    std::atomic<std::size_t> made{0};
    WorkAhead<int> ahead(
        100000, slots, [&made](std::size_t, int& item) { item = static_cast<int>(++made); },
        [](const std::exception_ptr&) { return false; });
    EXPECT_EQ(ahead.Take(0), 1);
    while (made.load() < 64)
    {
    }
    // The first item is still the caller's: its slot is not made again.
    EXPECT_EQ(ahead.Take(1), 2);
    const std::size_t done = ahead.Stop();
    EXPECT_EQ(done, made.load());
    EXPECT_LE(done, 65U);
}

} // namespace
