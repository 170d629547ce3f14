#include "Regression/TestRunner.h"

#include "Regression/Catalogue.h"
#include "Regression/LoadedLayer.h"
#include "Regression/LogFile.h"
#include "Regression/PolygonOperationTest.h"
#include "Regression/PolygonSetUnionTest.h"
#include "Regression/TextError.h"
#include "Regression/TopologyOperationTest.h"
#include "Regression/ValidateTest.h"
#include "Shapefile/Reporter.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <memory>
#include <string_view>

namespace Arealis::Regression
{

namespace
{

constexpr const char* Caption = "Test";

bool IsEmpty(const char* fileName)
{
    return std::string_view(fileName).empty();
}

// A catalogue row's operands, released when the row ends, also through an error.
class RowInputs
{
public:
    RowInputs(const char* first, const char* second, const std::string& folder, IReporter& reporter)
        : m_first(LoadTestLayer(first, folder, reporter))
    {
        try
        {
            m_second = LoadTestLayer(second, folder, reporter);
        }
        catch (...)
        {
            Release(m_first);
            throw;
        }
    }
    RowInputs(const RowInputs&) = delete;
    RowInputs& operator=(const RowInputs&) = delete;
    ~RowInputs()
    {
        Release(m_second);
        Release(m_first);
    }

    const LoadedLayer& First() const { return m_first; }
    const LoadedLayer& Second() const { return m_second; }

private:
    static void Release(LoadedLayer& layer) noexcept
    {
        try
        {
            ReleaseTestLayer(layer);
        }
        catch (...)
        {
            // A topology whose polygons are still parents elsewhere stays until the end.
        }
    }

    LoadedLayer m_first;
    LoadedLayer m_second;
};

template <class TTest>
void Prepare(TTest& test, Log& log, const std::string& folder, CaseOutcomes& outcomes)
{
    test.SetLog(&log);
    test.SetTestFolder(folder);
    test.SetOutcomes(&outcomes);
}

void CheckCount(std::vector<std::string>& shortfalls, const char* group, int ran, int expected)
{
    if (ran != expected)
    {
        shortfalls.push_back(std::string(group) + ": " + std::to_string(ran) + " of the " +
                             std::to_string(expected) + " cases of a complete run ran");
    }
}

// Every shapefile name that a row of the catalogue reads.
std::set<std::string> NamesRead(const Catalogue& catalogue)
{
    std::set<std::string> names;
    const auto add = [&names](std::initializer_list<const char*> files)
    {
        for (const char* file : files)
        {
            if (file != nullptr && *file != '\0')
            {
                names.insert(file);
            }
        }
    };
    for (const ValidationRow& row : catalogue.Validation)
    {
        add({row.File});
    }
    for (const PolygonOperationRow& row : catalogue.PolygonOperations)
    {
        add({row.First, row.Second, row.Intersection, row.Union, row.Substraction});
    }
    for (const SetUnionRow& row : catalogue.SetUnions)
    {
        add({row.Input, row.Expected});
    }
    for (const TopologyOperationRow& row : catalogue.TopologyOperations)
    {
        add({row.First, row.Second, row.Join, row.Intersection, row.Union, row.Substraction});
    }
    return names;
}

// The shapefiles of the test folder that no row reads: the files of the cases a shortened
// catalogue lost, which name those cases where the counts only name their group.
std::vector<std::string> UnreadFiles(const std::string& folder, const Catalogue& catalogue)
{
    const std::set<std::string> read = NamesRead(catalogue);
    std::vector<std::string> unread;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".shp" && !read.contains(name))
        {
            unread.push_back(name);
        }
    }
    std::ranges::sort(unread);
    return unread;
}

} // namespace

std::vector<std::string> TestRunner::Shortfalls() const
{
    std::vector<std::string> shortfalls;
    for (const CaseOutcome& outcome : m_outcomes)
    {
        if (!outcome.Shortfall.empty())
        {
            shortfalls.push_back(outcome.Name + ": " + outcome.Shortfall);
        }
    }
    CheckCount(shortfalls, "validation", m_ranCounts.Validation, m_expectedCounts.Validation);
    CheckCount(shortfalls, "polygon operations", m_ranCounts.PolygonOperations,
               m_expectedCounts.PolygonOperations);
    CheckCount(shortfalls, "polygon set unions", m_ranCounts.SetUnions, m_expectedCounts.SetUnions);
    CheckCount(shortfalls, "topology operations", m_ranCounts.TopologyOperations,
               m_expectedCounts.TopologyOperations);
    CheckCount(shortfalls, "the whole catalogue", m_ranCounts.Total(), m_expectedCounts.Total());
    if (m_ranCounts.Total() != m_expectedCounts.Total())
    {
        const std::vector<std::string> unread = UnreadFiles(m_testFolder, m_catalogue);
        if (!unread.empty())
        {
            std::string text = "files of the test folder that no case read:";
            for (const std::string& name : unread)
            {
                text += " " + name;
            }
            shortfalls.push_back(text);
        }
    }
    return shortfalls;
}

void TestRunner::Run()
{
    m_outcomes.clear();
    m_ranCounts = CaseCounts{0, 0, 0, 0};
    m_completed = false;
    std::unique_ptr<LogFile> log;
    try
    {
        log = std::make_unique<LogFile>();
        log->Open(m_logFilePath);
        log->SetDetailed(m_detailed);
        RunValidationGroup(*log);
        RunPolygonOperationGroup(*log);
        RunSetUnionGroup(*log);
        RunTopologyOperationGroup(*log);
        log->WriteSummary();
        log->Close();
        log.reset();
        m_completed = true;
        m_reporter.ShowMessage("Completed", Caption);
    }
    catch (const TextError& e)
    {
        m_reporter.ShowMessage(e.what(), Caption);
        if (log)
        {
            log->WriteLine("Error execution");
        }
    }
    catch (...)
    {
        m_reporter.ShowMessage("Error execution", Caption);
        if (log)
        {
            log->WriteLine("Error execution");
        }
    }
}

void TestRunner::RunValidationGroup(Log& log)
{
    ValidateTest test(m_reporter);
    Prepare(test, log, m_testFolder, m_outcomes);
    for (const ValidationRow& row : m_catalogue.Validation)
    {
        test.LoadInput(row.File);
        test.SetExpectedValid(row.ExpectedValid);
        ++m_ranCounts.Validation;
        test.Run();
        test.ReleaseInput();
    }
}

void TestRunner::RunPolygonOperationGroup(Log& log)
{
    PolygonUnionTest unionTest(m_reporter);
    PolygonIntersectionTest intersectionTest(m_reporter);
    PolygonSubstractTest substractTest(m_reporter);
    for (PolygonOperationTest* test :
         std::array<PolygonOperationTest*, 3>{&unionTest, &intersectionTest, &substractTest})
    {
        Prepare(*test, log, m_testFolder, m_outcomes);
    }
    for (const PolygonOperationRow& row : m_catalogue.PolygonOperations)
    {
        const RowInputs inputs(row.First, row.Second, m_testFolder, m_reporter);
        const std::array<std::tuple<PolygonOperationTest*, const char*, bool>, 3> cases{{
            {&intersectionTest, row.Intersection, row.IntersectionConvex},
            {&unionTest, row.Union, row.UnionConvex},
            {&substractTest, row.Substraction, row.SubstractionConvex},
        }};
        for (const auto& [test, expected, convex] : cases)
        {
            if (IsEmpty(expected))
            {
                continue;
            }
            test->LoadExpected(expected);
            test->SetFirstInput(inputs.First());
            test->SetSecondInput(inputs.Second());
            test->SetConvexExpected(convex);
            ++m_ranCounts.PolygonOperations;
            test->Run();
            test->ReleaseExpected();
        }
    }
}

void TestRunner::RunSetUnionGroup(Log& log)
{
    PolygonSetUnionTest test(m_reporter);
    Prepare(test, log, m_testFolder, m_outcomes);
    for (const SetUnionRow& row : m_catalogue.SetUnions)
    {
        test.LoadFirstInput(row.Input);
        test.LoadExpected(row.Expected);
        ++m_ranCounts.SetUnions;
        test.Run();
        test.ReleaseFirstInput();
        test.ReleaseExpected();
    }
}

void TestRunner::RunTopologyOperationGroup(Log& log)
{
    TopologyJoinTest joinTest(m_reporter);
    TopologyIntersectionTest intersectionTest(m_reporter);
    TopologyUnionTest unionTest(m_reporter);
    TopologySubstractTest substractTest(m_reporter);
    for (TopologyOperationTest* test : std::array<TopologyOperationTest*, 4>{
             &joinTest, &intersectionTest, &unionTest, &substractTest})
    {
        Prepare(*test, log, m_testFolder, m_outcomes);
    }
    for (const TopologyOperationRow& row : m_catalogue.TopologyOperations)
    {
        const RowInputs inputs(row.First, row.Second, m_testFolder, m_reporter);
        const std::array<std::pair<TopologyOperationTest*, const char*>, 4> cases{{
            {&joinTest, row.Join},
            {&intersectionTest, row.Intersection},
            {&unionTest, row.Union},
            {&substractTest, row.Substraction},
        }};
        for (const auto& [test, expected] : cases)
        {
            if (IsEmpty(expected))
            {
                continue;
            }
            test->SetFirstInput(inputs.First());
            test->SetSecondInput(inputs.Second());
            test->LoadExpected(expected);
            ++m_ranCounts.TopologyOperations;
            test->Run();
            test->ReleaseExpected();
        }
    }
}

} // namespace Arealis::Regression
