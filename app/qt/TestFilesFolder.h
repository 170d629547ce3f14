#pragma once

#include "RegressionRun.h"

#include <QString>

namespace Orvista
{

// The settings key that names the test-files folder of the regression suite, overriding the
// folder that comes with the program.
inline constexpr const char* TestFilesFolderKey = "Regression/TestFilesFolder";

// The folders of "StartTest/n": the folder of the settings when it is set; otherwise the data
// folder installed with the program; otherwise the source tree's data/regression. The writable
// copy goes to the user's own data folder.
TestFilesFolders FindTestFilesFolders();

} // namespace Orvista
