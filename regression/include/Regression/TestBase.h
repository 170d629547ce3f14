#pragma once

#include "Regression/CaseOutcome.h"
#include "Regression/LoadedLayer.h"

#include <cstdint>
#include <string>

namespace Arealis
{
class IReporter;
class PolygonLayer;
} // namespace Arealis

namespace Arealis::Regression
{

class Log;

// What every regression case shares: the log, the operand and expected layers, the folder
// files are loaded from, and the timer of the measured operation.
class TestBase
{
public:
    // Turns the comparison flag on.
    explicit TestBase(IReporter& reporter);
    TestBase(const TestBase&) = delete;
    TestBase& operator=(const TestBase&) = delete;
    // Releases the layers it loaded itself (not the operands it was handed).
    virtual ~TestBase();

    void SetLog(Log* pLog) noexcept { m_log = pLog; }
    // Where each case that runs adds its outcome; none when not given.
    void SetOutcomes(CaseOutcomes* pOutcomes) noexcept { m_outcomes = pOutcomes; }
    void SetTestFolder(const std::string& folder) { m_testFolder = folder; }
    // Operands loaded by the runner, shared between the cases of one catalogue row.
    void SetFirstInput(const LoadedLayer& layer) { m_firstInput = layer; }
    void SetSecondInput(const LoadedLayer& layer) { m_secondInput = layer; }
    void LoadFirstInput(const std::string& fileName);
    void LoadExpected(const std::string& fileName);
    void ReleaseFirstInput();
    void ReleaseExpected();

protected:
    void StartTimer() noexcept;
    void StopTimer() noexcept;
    // " Duration : %f second " with the duration in seconds.
    void LogDuration();

    Log& GetLog() const { return *m_log; }
    IReporter& Reporter() const { return m_reporter; }
    const LoadedLayer& FirstInput() const { return m_firstInput; }
    const LoadedLayer& SecondInput() const { return m_secondInput; }
    const LoadedLayer& Expected() const { return m_expected; }
    LoadedLayer Load(const std::string& fileName) const;
    // Adds the case's outcome: the shortfall of result against the expected layer, or (with
    // no result) the given shortfall.
    void RecordOutcome(const std::string& caseName, const PolygonLayer& result) const;
    void RecordOutcome(const std::string& caseName, const std::string& shortfall) const;

private:
    IReporter& m_reporter;
    Log* m_log = nullptr;
    CaseOutcomes* m_outcomes = nullptr;
    LoadedLayer m_firstInput;
    LoadedLayer m_secondInput;
    LoadedLayer m_expected;
    bool m_ownsFirstInput = false;
    std::string m_testFolder;
    std::uint32_t m_startTime = 0;
    std::uint32_t m_duration = 0;
};

} // namespace Arealis::Regression
