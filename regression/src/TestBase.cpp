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
