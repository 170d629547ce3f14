#include "OrvistaApp.h"

#include "MainWindow.h"
#include "ToolbarIcons.h"

#include <QStringList>
#include <QTimer>

namespace Orvista
{

COrvistaApp::COrvistaApp(int& argc, char** argv) : m_application(argc, argv)
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(ProfileKey));
    QCoreApplication::setApplicationName(QStringLiteral("Orvista"));
    QGuiApplication::setApplicationDisplayName(QString::fromLatin1(ApplicationTitle));
    QGuiApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("orvista"));
}

COrvistaApp::~COrvistaApp()
{
    m_mainWindow.reset();
    m_platform.SetMainWindow(nullptr);
}

void COrvistaApp::InitInstance()
{
    m_recentFiles.Load();
    m_mainWindow = std::make_unique<MainWindow>(m_platform, m_document, m_recentFiles);
    m_platform.SetMainWindow(m_mainWindow.get());
    m_mainWindow->show();
    m_mainWindow->setWindowTitle(QString::fromLatin1(ApplicationTitle));

    // Files named on the command line open as layers once the window has its size.
    const QStringList files = QCoreApplication::arguments().mid(1);
    QTimer::singleShot(0, m_mainWindow.get(),
                       [this, files]
                       {
                           for (const QString& file : files)
                           {
                               m_mainWindow->OpenFile(file);
                           }
                       });
}

int COrvistaApp::Run()
{
    InitInstance();
    const int exitCode = QApplication::exec();
    m_recentFiles.Save();
    return exitCode;
}

} // namespace Orvista
