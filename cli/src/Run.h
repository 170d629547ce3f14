#pragma once

#include "CommandLine.h"

#include <ostream>

namespace ArealisCli
{

// Carries out one command: results go to the output stream (or the -o file), warnings and
// statistics to the error stream. Returns the exit status; throws for errors that end the
// run (the caller prints them as one line and exits with status 2).
int Run(const Options& options, std::ostream& standardOutput, std::ostream& errors);

} // namespace ArealisCli
