#pragma once

#include <cstdint>
#include <string>

namespace Arealis::Regression
{

// A line-oriented sink for the regression suite that also counts failed cases and writes the
// closing summary.
class Log
{
public:
    Log() = default;
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    virtual ~Log() = default;

    virtual void Open(const std::string& path) = 0;
    virtual void Close() = 0;
    // Writes the text as it is, without a line end.
    virtual void Write(const std::string& text) = 0;
    virtual void WriteLine(const std::string& text);
    // "All test PASSED", or " Number of failed tests : " and the count.
    virtual void WriteSummary();

    void SetDetailed(bool detailed) noexcept { m_detailed = detailed; }
    bool IsDetailed() const noexcept { return m_detailed; }
    // name + " result : " + " SUCCESSFUL" or " UNSUCCESSFUL".
    void WriteResult(const std::string& name, bool passed);
    // 65 minus signs.
    void WriteSeparator();
    // Counts a failed case; returns whether any case has failed so far.
    bool CountResult(bool passed) noexcept;
    std::int32_t GetFailedCount() const noexcept { return m_failedCount; }

private:
    bool m_detailed = false;
    std::int32_t m_failedCount = 0;
};

} // namespace Arealis::Regression
