#include "Regression/Log.h"

#include "Regression/LogFile.h"
#include "ScratchFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>

using namespace Arealis::Regression;

using Arealis::Testing::FileText;

namespace
{

// Keeps everything written, to check the exact texts.
class MemoryLog final : public Log
{
public:
    void Open(const std::string&) override {}
    void Close() override {}
    void Write(const std::string& text) override { Text += text; }
    std::string Text;
};

TEST(LogTest, ResultLinesKeepTheirDoubleBlanks)
{
    MemoryLog log;
    log.WriteResult("Operation ", true);
    log.WriteResult("Test", false);
    EXPECT_EQ(log.Text, "Operation  result :  SUCCESSFUL\nTest result :  UNSUCCESSFUL\n");
}

TEST(LogTest, SeparatorIsSixtyFiveMinusSigns)
{
    MemoryLog log;
    log.WriteSeparator();
    EXPECT_EQ(log.Text, std::string(65, '-') + "\n");
}

TEST(LogTest, SummaryReportsFailedCount)
{
    MemoryLog passing;
    EXPECT_FALSE(passing.CountResult(true));
    EXPECT_EQ(passing.GetFailedCount(), 0);
    passing.WriteSummary();
    EXPECT_EQ(passing.Text, "All test PASSED\n");

    MemoryLog failing;
    EXPECT_TRUE(failing.CountResult(false));
    EXPECT_TRUE(failing.CountResult(true)) << "still failed after a passing case";
    failing.CountResult(false);
    failing.CountResult(false);
    failing.WriteSummary();
    EXPECT_EQ(failing.Text, " Number of failed tests : 3\n");
}

class LogFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_logfile");
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::filesystem::path m_folder;
};

TEST_F(LogFileTest, OpeningReplacesContentAndEveryLineIsOnDiskAtOnce)
{
    const auto path = m_folder / "TestLog.log";
    {
        std::ofstream old(path);
        old << "old content that must go\n";
    }
    LogFile log;
    log.Open(path.string());
    log.WriteLine("first");
    EXPECT_EQ(FileText(path), "first\n") << "written before the log is closed";
    log.Write("no line end");
    EXPECT_EQ(FileText(path), "first\nno line end");
}

TEST_F(LogFileTest, UnopenablePathThrowsTheLogText)
{
    LogFile log;
    try
    {
        log.Open((m_folder / "missing" / "TestLog.log").string());
        FAIL() << "opened a file in a folder that does not exist";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Can't open log file");
    }
}

} // namespace
