#pragma once

#include <string>

namespace Orvista
{

class IPlatform;

// Where the regression suite finds its catalogue files and writes "TestLog.log".
struct TestFilesFolders
{
    // The folder of the catalogue's shapefiles.
    std::string Folder;
    // A folder of the user's own where the files are copied to, and the suite run, when Folder
    // cannot be written (an installed copy); empty for none.
    std::string WritableCopy;
};

// The name of the log file in the folder the suite runs in.
inline constexpr const char* TestLogFileName = "TestLog.log";

// Runs the whole catalogue and reports through message boxes ("Completed" with the caption
// "Test" at the end). When the test-files folder exists but cannot take the log, the suite
// runs on a copy in the writable folder and a further box says where the log is. Returns the
// path of the log.
std::string RunRegressionSuite(IPlatform& platform, const TestFilesFolders& folders);

} // namespace Orvista
