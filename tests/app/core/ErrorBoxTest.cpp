#include "ErrorBox.h"

#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "FakePlatform.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace Orvista
{
namespace
{

using Testing::FakePlatform;

TEST(ErrorBoxTest, LibraryExceptionsShowTheirMessageAndTheHandlersLocation)
{
    FakePlatform platform;
    platform.BoxAnswers = {BoxAnswer::Cancel, BoxAnswer::Cancel};

    // Argument exceptions derive from std::exception twice; their message must still show.
    RunGuarded(platform, "OrvistaView", 120,
               [] { throw Exceptions::ArgumentException("The pointer is not valid.", "Ring, 1"); });
    RunGuarded(platform, "OrvistaDoc", 7,
               [] { throw Exceptions::InvalidOperationException("Busy", "Topology, line: 2"); });

    ASSERT_EQ(platform.Boxes.size(), 2U);
    EXPECT_EQ(platform.Boxes[0].Text, "The pointer is not valid.\nAt:\n    OrvistaView, line: 120");
    EXPECT_EQ(platform.Boxes[0].Caption, "Arealis Demo");
    EXPECT_EQ(platform.Boxes[0].Kind, MessageBoxKind::OkCancelError);
    EXPECT_EQ(platform.Boxes[1].Text, "Busy\nAt:\n    OrvistaDoc, line: 7");
}

TEST(ErrorBoxTest, OtherExceptionsShowWhatOrUnknownError)
{
    FakePlatform platform;
    platform.BoxAnswers = {BoxAnswer::Cancel, BoxAnswer::Cancel};

    RunGuarded(platform, "MainFrm", 3, [] { throw std::runtime_error("disk full"); });
    RunGuarded(platform, "MainFrm", 4, [] { throw 42; });

    EXPECT_EQ(platform.BoxTexts(),
              (std::vector<std::string>{"disk full\nAt:\n    MainFrm, line: 3",
                                        "Unknown error.\nAt:\n    MainFrm, line: 4"}));
}

TEST(ErrorBoxTest, CancelContinuesAfterTheHandlerAndOkAbandonsTheEvent)
{
    FakePlatform platform;
    platform.BoxAnswers = {BoxAnswer::Cancel, BoxAnswer::Ok};
    std::vector<int> steps;

    const auto event = [&]
    {
        RunGuarded(platform, "A", 1, [] { throw std::runtime_error("first"); });
        steps.push_back(1);
        RunGuarded(platform, "A", 2, [] { throw std::runtime_error("second"); });
        steps.push_back(2);
    };
    Testing::Dispatch(event);

    EXPECT_EQ(steps, std::vector<int>{1});
    EXPECT_EQ(platform.Boxes.size(), 2U);
}

TEST(ErrorBoxTest, AnAbandonedCommandIsReportedOnlyOnce)
{
    FakePlatform platform;
    bool outerContinued = false;

    Testing::Dispatch(
        [&]
        {
            RunGuarded(platform, "Outer", 1,
                       [&]
                       {
                           RunGuarded(platform, "Inner", 2,
                                      [] { throw std::runtime_error("failure"); });
                           outerContinued = true;
                       });
        });

    EXPECT_FALSE(outerContinued);
    ASSERT_EQ(platform.Boxes.size(), 1U);
    EXPECT_EQ(platform.Boxes[0].Text, "failure\nAt:\n    Inner, line: 2");
}

} // namespace
} // namespace Orvista
