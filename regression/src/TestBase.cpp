#include "Regression/TestBase.h"

#include "Regression/LayerComparison.h"
#include "Regression/Log.h"
#include "Regression/TestClock.h"

#include <cstdio>

namespace Arealis::Regression
{

TestBase::TestBase(IReporter& reporter) : m_reporter(reporter)
{
    SetComparisonFlag(true);
}

TestBase::~TestBase()
{
    try
    {
        ReleaseExpected();
        if (m_ownsFirstInput)
        {
            ReleaseFirstInput();
        }
    }
    catch (...)
    {
        // A layer whose polygons are still parents elsewhere is left to the end of the run.
    }
}

LoadedLayer TestBase::Load(const std::string& fileName) const
{
    return LoadTestLayer(fileName, m_testFolder, m_reporter);
}

void TestBase::RecordOutcome(const std::string& caseName, const PolygonLayer& result) const
{
    if (m_outcomes == nullptr)
    {
        return;
    }
    // The check comes on top of the described log and must not change it: its own failure is
    // a shortfall of the case, not an error of the run.
    std::string shortfall;
    try
    {
        shortfall = FindShortfall(result, *m_expected.Layer);
    }
    catch (...)
    {
        shortfall = "the comparison with the expected file failed";
    }
    RecordOutcome(caseName, shortfall);
}

void TestBase::RecordOutcome(const std::string& caseName, const std::string& shortfall) const
{
    if (m_outcomes != nullptr)
    {
        m_outcomes->push_back({caseName, shortfall});
    }
}

void TestBase::LoadFirstInput(const std::string& fileName)
{
    m_firstInput = Load(fileName);
    m_ownsFirstInput = true;
}

void TestBase::LoadExpected(const std::string& fileName)
{
    m_expected = Load(fileName);
}

void TestBase::ReleaseFirstInput()
{
    ReleaseTestLayer(m_firstInput);
    m_ownsFirstInput = false;
}

void TestBase::ReleaseExpected()
{
    ReleaseTestLayer(m_expected);
}

void TestBase::StartTimer() noexcept
{
    m_startTime = TickCount();
}

void TestBase::StopTimer() noexcept
{
    m_duration = TickCount() - m_startTime;
}

void TestBase::LogDuration()
{
    char text[64];
    std::snprintf(text, sizeof text, " Duration : %f second ", m_duration / 1000.0);
    m_log->WriteLine(text);
}

} // namespace Arealis::Regression
