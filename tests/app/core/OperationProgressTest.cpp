#include "OperationProgress.h"

#include "FakePlatform.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace Orvista
{
namespace
{

// Records the progress bar's calls as text.
class ProgressPlatform : public Testing::FakePlatform
{
public:
    std::vector<std::string> Calls;

    void BeginProgress() override { Calls.emplace_back("begin"); }
    void SetProgress(std::int64_t done, std::int64_t total) override
    {
        Calls.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void EndProgress() override { Calls.emplace_back("end"); }
};

TEST(OperationProgressTest, AShortOperationShowsNoBar)
{
    ProgressPlatform platform;
    {
        OperationProgress progress(platform);
        const auto report = progress.Callback();
        platform.Now += 500;
        report(1, 2);
        platform.Now += 400;
        report(2, 2);
    }
    EXPECT_TRUE(platform.Calls.empty());
}

TEST(OperationProgressTest, ALongOperationShowsTheBarAfterASecondAndRemovesIt)
{
    ProgressPlatform platform;
    {
        OperationProgress progress(platform);
        const auto report = progress.Callback();
        platform.Now += 999;
        report(1, 10);
        platform.Now += 1;
        report(2, 10); // a second has passed
        platform.Now += 50;
        report(3, 10); // too soon after the last update
        platform.Now += 100;
        report(4, 10);
        report(10, 10); // the end is always shown
    }
    const std::vector<std::string> expected = {"begin", "2/10", "4/10", "10/10", "end"};
    EXPECT_EQ(platform.Calls, expected);
}

} // namespace
} // namespace Orvista
