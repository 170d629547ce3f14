#include "QtTestSupport.h"

#include "MainWindow.h"

#include <QSettings>

#include <gtest/gtest.h>
#include <memory>

namespace Orvista::Testing
{

namespace
{

std::unique_ptr<QApplication> g_application;

class ApplicationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { TestApplication(); }
    void TearDown() override { g_application.reset(); }
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

} // namespace

QApplication& TestApplication()
{
    if (!g_application)
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "orvista_qt_tests";
        static char* argv[] = {name, nullptr};
        g_application = std::make_unique<QApplication>(argc, argv);
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Orvista Tests"));
        QCoreApplication::setApplicationName(QStringLiteral("orvista_qt_tests"));
        // Every run starts from no settings: what an earlier run left (recent files, the
        // editing tools, the file dialog's last folder) would otherwise change what the
        // windows show and ask.
        QSettings().clear();
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).clear();
    }
    return *g_application;
}

WithFreshSettings::WithFreshSettings()
{
    TestApplication();
    QSettings().remove(QString::fromLatin1(MainWindow::EditingToolsKey));
}

} // namespace Orvista::Testing
