#include "Regression/Log.h"

#include "Regression/LogFile.h"

#include <stdexcept>

namespace Arealis::Regression
{

void Log::WriteLine(const std::string& text)
{
    Write(text);
    Write("\n");
}

void Log::WriteSummary()
{
    WriteLine(m_failedCount <= 0 ? std::string("All test PASSED")
                                 : " Number of failed tests : " + std::to_string(m_failedCount));
}

void Log::WriteResult(const std::string& name, bool passed)
{
    WriteLine(name + " result : " + (passed ? " SUCCESSFUL" : " UNSUCCESSFUL"));
}

void Log::WriteSeparator()
{
    WriteLine(std::string(65, '-'));
}

bool Log::CountResult(bool passed) noexcept
{
    if (!passed)
    {
        ++m_failedCount;
    }
    return m_failedCount != 0;
}

LogFile::~LogFile()
{
    if (m_stream.is_open())
    {
        m_stream.close();
    }
}

void LogFile::Open(const std::string& path)
{
    m_stream.open(path, std::ios::out | std::ios::trunc);
    if (!m_stream.is_open())
    {
        throw std::runtime_error("Can't open log file");
    }
}

void LogFile::Close()
{
    m_stream.close();
}

void LogFile::Write(const std::string& text)
{
    m_stream << text;
    m_stream.flush();
}

} // namespace Arealis::Regression
