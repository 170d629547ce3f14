#pragma once

#include "CommandLine.h"

#include <ostream>
#include <string>
#include <vector>

namespace ArealisCli
{

// Runs the regression catalogue on the folder, writing FOLDER/TestLog.log, and prints the
// log's summary line. Exit status 0 only when the log ends with "All test PASSED" and no case
// wrote " UNSUCCESSFUL" or "Error execution"; 1 otherwise.
int RunRegression(const Options& options, std::ostream& standardOutput, std::ostream& errors);

// Judges a finished log by its lines.
bool LogShowsSuccess(const std::vector<std::string>& lines);

} // namespace ArealisCli
