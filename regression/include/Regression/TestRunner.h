#pragma once

#include <string>

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
    void Run();

private:
    void RunValidationGroup(Log& log);
    void RunPolygonOperationGroup(Log& log);
    void RunSetUnionGroup(Log& log);
    void RunTopologyOperationGroup(Log& log);

    IReporter& m_reporter;
    std::string m_testFolder;
    std::string m_logFilePath;
    bool m_detailed = true;
};

} // namespace Arealis::Regression
