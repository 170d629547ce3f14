#include "Regression/TestRunner.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Regression/Catalogue.h"
#include "Regression/LoadedLayer.h"
#include "Regression/Log.h"
#include "Regression/PolygonOperationTest.h"
#include "ScratchFolder.h"
#include "Shapefile/Reporter.h"
#include "ShapefileBuilder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Arealis;
using namespace Arealis::Regression;

using Arealis::Testing::FileText;

namespace
{

class RecordingReporter final : public IReporter
{
public:
    void ShowMessage(const std::string& text, const std::string& caption) override
    {
        Boxes.emplace_back(text, caption);
    }
    bool ShowError(const std::string& text) override
    {
        Boxes.emplace_back(text, "error");
        return true;
    }
    std::vector<std::pair<std::string, std::string>> Boxes;
};

class MemoryLog final : public Log
{
public:
    void Open(const std::string&) override {}
    void Close() override {}
    void Write(const std::string& text) override { Text += text; }
    std::string Text;
};

std::filesystem::path CatalogueFolder()
{
    const char* source = std::getenv("AREALIS_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : AREALIS_SOURCE_ROOT) / "data" /
           "regression";
}

class TestRunnerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_runner");
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::filesystem::path m_folder;
    RecordingReporter m_reporter;
};

TEST_F(TestRunnerTest, MissingCatalogueFileStopsTheRunWithItsName)
{
    ASSERT_TRUE(std::filesystem::exists(CatalogueFolder() / "3_2.shp"));
    std::filesystem::copy(CatalogueFolder(), m_folder, std::filesystem::copy_options::recursive);
    std::filesystem::remove(m_folder / "3_2.shp");

    TestRunner runner(m_reporter);
    runner.SetTestFolder(m_folder.string());
    runner.SetLogFilePath((m_folder / "TestLog.log").string());
    runner.Run();

    const std::pair<std::string, std::string> expectedBox{"Cant open file 3_2.shp", "Test"};
    ASSERT_FALSE(m_reporter.Boxes.empty());
    EXPECT_EQ(m_reporter.Boxes.back(), expectedBox);
    const std::string log = FileText(m_folder / "TestLog.log");
    EXPECT_NE(log.find(" Polygon intersect : Input : 2_1.shp , 2_2.shp ; "), std::string::npos);
    EXPECT_EQ(log.find("3_1.shp"), std::string::npos);
    EXPECT_EQ(log.find("PASSED"), std::string::npos) << "no summary after an error";
    EXPECT_EQ(log.find("Number of failed tests"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 16), "Error execution\n");
}

TEST_F(TestRunnerTest, UnopenableLogRunsNothingAndSaysErrorExecution)
{
    TestRunner runner(m_reporter);
    runner.SetTestFolder(CatalogueFolder().string());
    runner.SetLogFilePath((m_folder / "missing" / "TestLog.log").string());
    runner.Run();
    const std::vector<std::pair<std::string, std::string>> expected{{"Error execution", "Test"}};
    EXPECT_EQ(m_reporter.Boxes, expected);
    EXPECT_FALSE(std::filesystem::exists(m_folder / "missing"));
}

TEST_F(TestRunnerTest, EmptyInputLayerFailsTheCaseWithErrorExecution)
{
    ShapefileBuilder().WriteTo(m_folder / "empty.shp");
    ShapefileBuilder().Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}}).WriteTo(m_folder / "one.shp");
    LoadedLayer empty = LoadTestLayer("empty.shp", m_folder.string(), m_reporter);
    LoadedLayer one = LoadTestLayer("one.shp", m_folder.string(), m_reporter);

    MemoryLog log;
    log.SetDetailed(true);
    {
        PolygonIntersectionTest test(m_reporter);
        test.SetLog(&log);
        test.SetTestFolder(m_folder.string());
        test.SetFirstInput(empty);
        test.SetSecondInput(one);
        test.LoadExpected("one.shp");
        EXPECT_FALSE(test.Run());
        test.ReleaseExpected();
    }
    EXPECT_EQ(log.GetFailedCount(), 1);
    EXPECT_NE(log.Text.find("Error execution\n"), std::string::npos);
    EXPECT_EQ(log.Text.find("Test result"), std::string::npos);
    ReleaseTestLayer(one);
    ReleaseTestLayer(empty);
}

TEST_F(TestRunnerTest, PassingPolygonCaseWritesEveryCheckLine)
{
    ShapefileBuilder().Polygon({{{0, 0}, {0, 2}, {2, 2}, {2, 0}}}).WriteTo(m_folder / "a.shp");
    ShapefileBuilder().Polygon({{{1, 1}, {1, 3}, {3, 3}, {3, 1}}}).WriteTo(m_folder / "b.shp");
    ShapefileBuilder().Polygon({{{1, 1}, {1, 2}, {2, 2}, {2, 1}}}).WriteTo(m_folder / "ab.shp");
    LoadedLayer a = LoadTestLayer("a.shp", m_folder.string(), m_reporter);
    LoadedLayer b = LoadTestLayer("b.shp", m_folder.string(), m_reporter);

    MemoryLog log;
    log.SetDetailed(true);
    {
        PolygonIntersectionTest test(m_reporter);
        test.SetLog(&log);
        test.SetTestFolder(m_folder.string());
        test.SetFirstInput(a);
        test.SetSecondInput(b);
        test.SetConvexExpected(true);
        test.LoadExpected("ab.shp");
        EXPECT_TRUE(test.Run());
        test.ReleaseExpected();
    }
    const std::string separator(65, '-');
    std::istringstream lines(log.Text);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);)
    {
        got.push_back(line);
    }
    ASSERT_EQ(got.size(), 10U) << log.Text;
    EXPECT_EQ(got[0], separator);
    EXPECT_EQ(got[1], " Polygon intersect : Input : a.shp , b.shp ; ");
    EXPECT_EQ(got[2], "Result compare with : ab.shp");
    EXPECT_EQ(got[3].rfind(" Duration : ", 0), 0U);
    EXPECT_EQ(got[3].substr(got[3].size() - 8), " second ");
    EXPECT_EQ(got[4], "Operation  result :  SUCCESSFUL");
    EXPECT_EQ(got[5], "Convex  result :  SUCCESSFUL");
    EXPECT_EQ(got[6], "Polygon parent result :  SUCCESSFUL");
    EXPECT_EQ(got[7], "Polygon refer result :  SUCCESSFUL");
    EXPECT_EQ(got[8], "Test result :  SUCCESSFUL");
    EXPECT_EQ(got[9], separator);
    EXPECT_EQ(log.GetFailedCount(), 0);
    ReleaseTestLayer(b);
    ReleaseTestLayer(a);
}

} // namespace

namespace
{

// Sets the declared length of a shapefile so that only the first half of its records is read.
void DropSecondHalfOfRecords(const std::filesystem::path& path)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    std::vector<std::size_t> starts;
    for (std::size_t offset = 100; offset + 8 <= bytes.size();)
    {
        starts.push_back(offset);
        const std::size_t words = (std::size_t{bytes[offset + 4]} << 24) |
                                  (std::size_t{bytes[offset + 5]} << 16) |
                                  (std::size_t{bytes[offset + 6]} << 8) | bytes[offset + 7];
        offset += 8 + 2 * words;
    }
    ASSERT_GE(starts.size(), 2U) << path;
    const std::size_t words = starts[starts.size() / 2] / 2;
    const std::array<char, 4> declared{static_cast<char>(words >> 24),
                                       static_cast<char>(words >> 16),
                                       static_cast<char>(words >> 8), static_cast<char>(words)};
    file.clear();
    file.seekp(24);
    file.write(declared.data(), declared.size());
}

bool Mentions(const std::vector<std::string>& texts, const std::string& part)
{
    return std::any_of(texts.begin(), texts.end(),
                       [&part](const std::string& text)
                       { return text.find(part) != std::string::npos; });
}

// The log compares from the result to the expected file only; the run's shortfalls look back
// and count the cases, so that lost output and lost cases fail by name where the log passes.
TEST_F(TestRunnerTest, PlantedFaultsAreReportedByNameWhereTheLogPasses)
{
    const std::string intersection =
        "topology intersection attr_small.shp , fem_small.shp -> attr_fem_small_int.shp";
    const std::vector<PolygonOperationRow> rows(PolygonOperationTable().begin(),
                                                PolygonOperationTable().end() - 1);
    Catalogue withoutARow = Catalogue::BuiltIn();
    withoutARow.PolygonOperations = rows;
    struct Fault
    {
        const char* Name;
        std::function<void(const std::filesystem::path&)> Plant;
        Catalogue Tables;
        std::vector<std::string> Reported; // each must be part of some shortfall
        bool LogPasses;
    };
    const std::vector<Fault> faults{
        {"none", [](const std::filesystem::path&) {}, Catalogue::BuiltIn(), {}, true},
        {"expected file swapped for a superset",
         [](const std::filesystem::path& folder)
         {
             std::filesystem::copy_file(folder / "attr_fem_small_join.shp",
                                        folder / "attr_fem_small_int.shp",
                                        std::filesystem::copy_options::overwrite_existing);
         },
         Catalogue::BuiltIn(),
         {intersection + ": the result has 161 parts, the expected file 207"},
         true},
        {"half the records of an input lost, so results lose polygons",
         [](const std::filesystem::path& folder)
         { DropSecondHalfOfRecords(folder / "fem_small.shp"); },
         Catalogue::BuiltIn(),
         {intersection + ": the result has"},
         false},
        {"catalogue row removed",
         [](const std::filesystem::path&) {},
         withoutARow,
         {"polygon operations: 25 of the 27 cases of a complete run ran",
          "the whole catalogue: 43 of the 45 cases of a complete run ran",
          std::string("files of the test folder that no case read: ") +
              PolygonOperationTable().back().First},
         true},
    };
    for (const Fault& fault : faults)
    {
        SCOPED_TRACE(fault.Name);
        std::filesystem::remove_all(m_folder);
        std::filesystem::copy(CatalogueFolder(), m_folder,
                              std::filesystem::copy_options::recursive);
        fault.Plant(m_folder);
        TestRunner runner(m_reporter);
        runner.SetTestFolder(m_folder.string());
        runner.SetLogFilePath((m_folder / "TestLog.log").string());
        runner.SetCatalogue(fault.Tables, CaseCounts{});
        runner.Run();

        const std::vector<std::string> shortfalls = runner.Shortfalls();
        EXPECT_EQ(shortfalls.empty(), fault.Reported.empty())
            << ::testing::PrintToString(shortfalls);
        for (const std::string& reported : fault.Reported)
        {
            EXPECT_TRUE(Mentions(shortfalls, reported))
                << reported << " in " << ::testing::PrintToString(shortfalls);
        }
        const std::string log = FileText(m_folder / "TestLog.log");
        if (fault.LogPasses)
        {
            EXPECT_EQ(log.substr(log.size() - 16), "All test PASSED\n");
        }
        EXPECT_EQ(runner.Outcomes().size(),
                  static_cast<std::size_t>(
                      fault.Tables.PolygonOperations.size() == rows.size() ? 43 : 45));
    }
}

} // namespace
