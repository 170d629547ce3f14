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
    }
    return *g_application;
}

WithFreshSettings::WithFreshSettings()
{
    TestApplication();
    QSettings().remove(QString::fromLatin1(MainWindow::EditingToolsKey));
}

} // namespace Orvista::Testing
