#pragma once

#include "Regression/Log.h"

#include <fstream>
#include <string>

namespace Arealis::Regression
{

// The log written to a text file; every write is flushed at once so that the file holds every
// line even when a run is cut short.
class LogFile final : public Log
{
public:
    ~LogFile() override;

    // Truncates an existing file. Throws "Can't open log file" (a std::runtime_error) when it
    // cannot open it.
    void Open(const std::string& path) override;
    void Close() override;
    void Write(const std::string& text) override;

private:
    std::ofstream m_stream;
};

} // namespace Arealis::Regression
