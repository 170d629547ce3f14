#include "QtPlatform.h"
#include "QtTestSupport.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

class QtProgressTest : public ::testing::Test, private Testing::WithApplication
{
protected:
    QtProgressTest()
    {
        platform.SetMainWindow(&window);
        window.statusBar(); // made before the window is shown, as the main window does
        window.resize(400, 300);
        window.show();
    }

    QMainWindow window;
    QtPlatform platform;
};

TEST_F(QtProgressTest, BarShowsInTheStatusBarUntilTheOperationEnds)
{
    platform.SetProgress(1, 2); // not shown yet: nothing happens
    EXPECT_EQ(platform.ProgressBar(), nullptr);

    platform.BeginProgress();
    QProgressBar* pBar = platform.ProgressBar();
    ASSERT_NE(pBar, nullptr);
    EXPECT_EQ(pBar->parentWidget(), window.statusBar());
    EXPECT_TRUE(pBar->isVisible());
    EXPECT_GT(pBar->width(), 0); // laid out at once, without the event loop

    platform.SetProgress(450, 1000);
    EXPECT_EQ(pBar->value() * 1000 / pBar->maximum(), 450);
    platform.SetProgress(7, 0); // nothing to do counts as done
    EXPECT_EQ(pBar->value(), pBar->maximum());

    platform.EndProgress();
    EXPECT_EQ(platform.ProgressBar(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.statusBar()->findChildren<QProgressBar*>().isEmpty());
}

TEST_F(QtProgressTest, WithoutAMainWindowThereIsNoBar)
{
    QtPlatform alone;
    alone.BeginProgress();
    alone.SetProgress(1, 2);
    EXPECT_EQ(alone.ProgressBar(), nullptr);
    alone.EndProgress();
}

} // namespace
} // namespace Orvista
