#include "ProgressTicker.h"

#include <gtest/gtest.h>

namespace
{

using ArealisCli::ProgressTicker;

TEST(ProgressTickerTest, LineShowsWorkDoneOfTotalOnceReported)
{
    EXPECT_EQ(ProgressTicker::FormatLine("arealis intersection", 0, -1, 1),
              "arealis intersection: running, 1 s");
    EXPECT_EQ(ProgressTicker::FormatLine("arealis intersection", 4500, 10000, 3),
              "arealis intersection: 4500/10000 (45%), 3 s");
    EXPECT_EQ(ProgressTicker::FormatLine("arealis unite", 0, 0, 2),
              "arealis unite: 0/0 (100%), 2 s");
}

TEST(ProgressTickerTest, CallbackForwardsWithoutATerminal)
{
    // Standard error of the test is not a terminal: nothing is shown, reports are still taken.
    ProgressTicker ticker("arealis join");
    const auto callback = ticker.Callback();
    callback(1, 2);
    callback(2, 2);
    SUCCEED();
}

} // namespace
