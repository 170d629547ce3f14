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

TEST(ProgressTickerTest, CallbackReportsReachTheLine)
{
    // Standard error of the test is not a terminal: nothing is shown, reports are still taken.
    ProgressTicker ticker("arealis join");
    EXPECT_EQ(ticker.CurrentLine(1), "arealis join: running, 1 s");
    const auto callback = ticker.Callback();
    callback(1, 4);
    EXPECT_EQ(ticker.CurrentLine(2), "arealis join: 1/4 (25%), 2 s");
    callback(4, 4);
    EXPECT_EQ(ticker.CurrentLine(3), "arealis join: 4/4 (100%), 3 s");
}

} // namespace
