#pragma once

#include "Regression/CaseOutcome.h"
#include "Regression/Catalogue.h"

#include <string>
#include <vector>

namespace Arealis
{
class IReporter;
}

namespace Arealis::Regression
{

class Log;

// Runs the whole catalogue on the files of the test folder and writes the log: the validation
// cases, then the polygon operations, the set unions and the topology operations. Ends with
// "Completed" (caption "Test"), or, when a catalogue file or the log cannot be opened, with
// that error and "Error execution" in the log and no summary.
class TestRunner
{
public:
    explicit TestRunner(IReporter& reporter) : m_reporter(reporter) {}

    void SetTestFolder(const std::string& folder) { m_testFolder = folder; }
    void SetLogFilePath(const std::string& path) { m_logFilePath = path; }
    // Another catalogue and the case counts that a complete run of it executes (tests plant
    // faults with these).
    void SetCatalogue(const Catalogue& catalogue, const CaseCounts& counts)
    {
        m_catalogue = catalogue;
        m_expectedCounts = counts;
    }
    void Run();

    // The outcome of every case of the last run, in the order they ran.
    const CaseOutcomes& Outcomes() const { return m_outcomes; }
    // Everything the log does not show of the last run, one text per finding, each naming the
    // case or the group: cases whose result lost or repeated expected polygons, and groups that
    // ran fewer cases than a complete run does. Empty for a complete run.
    std::vector<std::string> Shortfalls() const;
    // Whether the last run went through to its summary; a run that stopped on an error has
    // said so already, and its missing cases follow from that.
    bool Completed() const { return m_completed; }

private:
    void RunValidationGroup(Log& log);
    void RunPolygonOperationGroup(Log& log);
    void RunSetUnionGroup(Log& log);
    void RunTopologyOperationGroup(Log& log);

    IReporter& m_reporter;
    Catalogue m_catalogue = Catalogue::BuiltIn();
    CaseCounts m_expectedCounts;
    CaseCounts m_ranCounts{0, 0, 0, 0};
    CaseOutcomes m_outcomes;
    std::string m_testFolder;
    std::string m_logFilePath;
    bool m_detailed = true;
    bool m_completed = false;
};

} // namespace Arealis::Regression
