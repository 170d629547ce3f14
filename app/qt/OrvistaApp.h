#pragma once

#include "LayerReader.h"
#include "OrvistaDoc.h"
#include "QtPlatform.h"
#include "QtReporter.h"
#include "RecentFileList.h"

#include <QApplication>
#include <memory>

namespace Orvista
{

class MainWindow;

// The application: starts the program with its settings and recent files, creates the
// document and the main window, and opens the files named on the command line as layers.
class COrvistaApp
{
public:
    // The settings key of the program's profile.
    static constexpr const char* ProfileKey = "Local AppWizard-Generated Applications";
    static constexpr int RecentFileCount = 4;

    COrvistaApp(int& argc, char** argv);
    ~COrvistaApp();

    COrvistaApp(const COrvistaApp&) = delete;
    COrvistaApp& operator=(const COrvistaApp&) = delete;

    // Shows the main window and runs the event loop; returns the exit code.
    int Run();

private:
    void InitInstance();

    QApplication m_application;
    QtPlatform m_platform;
    QtReporter m_reporter{m_platform};
    LayerFileReader m_reader{m_reporter};
    RecentFileList m_recentFiles{RecentFileCount};
    COrvistaDoc m_document{m_platform, m_reader};
    std::unique_ptr<MainWindow> m_mainWindow;
};

} // namespace Orvista
