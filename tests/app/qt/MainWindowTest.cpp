#include "MainWindow.h"

#include "CommandTable.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "DrawingViewWidget.h"
#include "Fakes.h"
#include "LayerTreeWidget.h"
#include "MainFrame.h"
#include "OrvistaDoc.h"
#include "QtCanvas.h"
#include "QtTestSupport.h"
#include "RecentFileList.h"
#include "SetOperationDialog.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QTreeWidgetItem>
#include <gtest/gtest.h>
#include <stdexcept>

namespace Orvista
{
namespace
{

using namespace CommandId;
using Testing::FakeLayerReader;
using Testing::ScriptedPlatform;
using Testing::Square;

std::vector<int> ButtonIds(const QToolBar& toolBar)
{
    std::vector<int> ids;
    for (const QAction* pAction : toolBar.actions())
    {
        if (!pAction->isSeparator() && pAction->isVisible())
        {
            ids.push_back(pAction->data().toInt());
        }
    }
    return ids;
}

QStringList MenuTexts(const QMenu& menu)
{
    QStringList texts;
    for (const QAction* pAction : menu.actions())
    {
        if (!pAction->isSeparator() && pAction->isVisible())
        {
            texts << pAction->text();
        }
    }
    return texts;
}

class MainWindowTest : public ::testing::Test, private Testing::WithFreshSettings
{
public:
    MainWindowTest()
    {
        platform.SetMainWindow(&window);
        reader.Files["/maps/square.shp"] = {{Square(20, 20, 60)}};
        reader.Files["/maps/other.shp"] = {{Square(50, 0, 10)}};
    }
    ~MainWindowTest() override { platform.SetMainWindow(nullptr); }

protected:
    void Open(const std::string& path)
    {
        platform.FileAnswers.push_back(path);
        window.RunCommand(FileOpen);
    }

    // Shows the window with the view sized w x h, zoomed to the world square (0, 0)-(100, 100).
    void ShowZoomed(int width, int height)
    {
        window.show();
        window.Splitter().setSizes({150, width});
        window.View().setFixedSize(width, height);
        QCoreApplication::processEvents();
        window.View().Logic().ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
        window.View().RenderPending();
    }

    QRgb Pixel(const Arealis::Point& world)
    {
        const PixelPoint pixel = window.View().Logic().WorldToPixel(world);
        return window.View().Surface().pixel(pixel.X, pixel.Y) & 0xFFFFFFU;
    }

    // A root item of the layer tree; throws when there is none.
    QTreeWidgetItem& TopItem(int index)
    {
        QTreeWidgetItem* pItem = window.Tree().topLevelItem(index);
        if (pItem == nullptr)
        {
            throw std::out_of_range("no tree item");
        }
        return *pItem;
    }

    static QRgb Rgb(Colour colour) { return qRgb(colour.R, colour.G, colour.B) & 0xFFFFFFU; }

    ScriptedPlatform platform;
    FakeLayerReader reader;
    RecentFileList recentFiles{4};
    COrvistaDoc document{platform, reader};
    MainWindow window{platform, document, recentFiles};
};

TEST_F(MainWindowTest, TitleMenusAndVisibleToolbarButtons)
{
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Arealis Demo"));

    QStringList titles;
    for (const QAction* pMenu : window.menuBar()->actions())
    {
        titles << pMenu->text();
    }
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Help"}));
    const QMenu* pFile = window.menuBar()->actions().at(0)->menu();
    EXPECT_EQ(MenuTexts(*pFile),
              (QStringList{"&Open Layer...", "&Export Layer...", "Save &As...",
                           "Delete Selected Layer", "&Precision...", "Recent File",
                           "E&xit"}));
    EXPECT_EQ(MenuTexts(*window.menuBar()->actions().at(1)->menu()),
              (QStringList{"&Undo", "&Redo", "&Delete Polygon"}));
    EXPECT_EQ(MenuTexts(*window.menuBar()->actions().at(3)->menu()),
              QStringList{"&About Arealis Demo..."});

    EXPECT_EQ(ButtonIds(window.FirstToolBar()), (std::vector<int>{FileOpen, DeleteSelectedLayer}));
    EXPECT_EQ(
        ButtonIds(window.SecondToolBar()),
        (std::vector<int>{ModeZoomIn, ModeZoomOut, ZoomToCurrent, ModeSelect, UniteAllPolygons,
                          UniteTwoLayers, IntersectLayers, SubtractLayers, JoinLayers}));
    EXPECT_TRUE(window.WorkingTopologyCombo().isHidden());

    // Commands without a button or menu item keep their keys.
    EXPECT_EQ(window.Action(FileNew)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    EXPECT_TRUE(window.actions().contains(window.Action(FileNew)));
    EXPECT_EQ(window.Action(EditCopy)->shortcuts().size(), 2);
}

TEST_F(MainWindowTest, CtrlNAddsAnEmptyTopology)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);

    ASSERT_EQ(window.Tree().topLevelItemCount(), 1);
    EXPECT_EQ(TopItem(0).text(0), QStringLiteral("Topology #0"));
}

TEST_F(MainWindowTest, OpeningALayerListsItCheckedWithASwatch)
{
    Open("/maps/square.shp");
    Open("/maps/other.shp");

    LayerTreeWidget& tree = window.Tree();
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    QTreeWidgetItem& top = TopItem(0);
    // The file name, with the whole path in the tooltip.
    EXPECT_EQ(top.text(0), QStringLiteral("other.shp"));
    EXPECT_EQ(top.toolTip(0), QStringLiteral("/maps/other.shp"));
    EXPECT_EQ(top.checkState(0), Qt::Checked);
    ASSERT_EQ(top.childCount(), 1);
    const QTreeWidgetItem* pSwatch = top.child(0);
    ASSERT_NE(pSwatch, nullptr);
    EXPECT_TRUE(pSwatch->text(0).isEmpty());

    const DisplayLayer& layer = *document.GetLayers().back();
    const QImage swatch = pSwatch->icon(0).pixmap(32, 14).toImage();
    EXPECT_EQ(swatch.pixel(16, 7) & 0xFFFFFFU, Rgb(layer.FillColour()));
    EXPECT_EQ(window.WorkingTopologyCombo().currentText(), QStringLiteral("/maps/other.shp"));
}

TEST_F(MainWindowTest, ARenderedSquareShowsItsFillInsideAndItsOutlineOnItsEdges)
{
    Open("/maps/square.shp");
    ShowZoomed(200, 200);
    const DisplayLayer& layer = *document.GetLayers().front();

    EXPECT_EQ(Pixel({50, 50}), Rgb(layer.FillColour()));
    EXPECT_EQ(Pixel({10, 10}), 0xFFFFFFU);
    EXPECT_EQ(Pixel({90, 50}), 0xFFFFFFU);
    // The left edge lies under the fill, which darkens it through the mask; the right edge
    // lies just outside the fill and keeps the outline colour.
    EXPECT_EQ(Pixel({20, 50}), Rgb(layer.OutlineColour() & layer.FillColour()));
    EXPECT_EQ(Pixel({80, 50}), Rgb(layer.OutlineColour()));
}

TEST_F(MainWindowTest, UncheckingALayerTakesItOutOfThePicture)
{
    Open("/maps/square.shp");
    ShowZoomed(200, 200);
    const DisplayLayer& layer = *document.GetLayers().front();
    ASSERT_EQ(Pixel({50, 50}), Rgb(layer.FillColour()));

    TopItem(0).setCheckState(0, Qt::Unchecked);
    window.View().RenderPending();
    EXPECT_EQ(Pixel({50, 50}), 0xFFFFFFU);
    EXPECT_FALSE(layer.Visible);

    TopItem(0).setCheckState(0, Qt::Checked);
    window.View().RenderPending();
    EXPECT_EQ(Pixel({50, 50}), Rgb(layer.FillColour()));
}

TEST_F(MainWindowTest, ClickingASwatchChangesTheFillColour)
{
    Open("/maps/square.shp");
    ShowZoomed(200, 200);
    platform.ColourAnswers.push_back({0, 128, 255});
    const DisplayLayer& layer = *document.GetLayers().front();
    QTreeWidgetItem* pSwatch = window.Tree().SwatchItem(layer);
    ASSERT_NE(pSwatch, nullptr);

    QTest::mouseClick(window.Tree().viewport(), Qt::LeftButton, {},
                      window.Tree().visualItemRect(pSwatch).center());
    window.View().RenderPending();

    EXPECT_EQ(layer.FillColour(), (Colour{0, 128, 255}));
    EXPECT_EQ(Pixel({50, 50}), 0x0080FFU);
    const QImage swatch = pSwatch->icon(0).pixmap(32, 14).toImage();
    EXPECT_EQ(swatch.pixel(16, 7) & 0xFFFFFFU, 0x0080FFU);
}

TEST_F(MainWindowTest, LayerCommandsFollowTheActivePaneAndTheTreeSelection)
{
    Open("/maps/square.shp");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.UpdateCommandStates();
    EXPECT_FALSE(window.Action(DeleteSelectedLayer)->isEnabled());
    EXPECT_TRUE(window.Action(ModeZoomIn)->isEnabled());

    window.Tree().setFocus();
    window.Tree().setCurrentItem(&TopItem(0));
    window.UpdateCommandStates();
    EXPECT_TRUE(window.Action(DeleteSelectedLayer)->isEnabled());
    EXPECT_TRUE(window.Action(ZoomToCurrent)->isEnabled());

    window.RunCommand(DeleteSelectedLayer);
    EXPECT_EQ(window.Tree().topLevelItemCount(), 0);
    EXPECT_TRUE(document.GetLayers().empty());
    EXPECT_FALSE(window.Action(DeleteSelectedLayer)->isEnabled());
    EXPECT_FALSE(window.Action(ModeZoomIn)->isEnabled());
}

TEST_F(MainWindowTest, ZoomToCurrentShowsTheSelectedLayer)
{
    Open("/maps/square.shp");
    Open("/maps/other.shp");
    ShowZoomed(200, 200);
    window.Tree().setCurrentItem(&TopItem(0)); // other.shp

    window.RunCommand(ZoomToCurrent);

    EXPECT_EQ(window.View().Logic().GetRequestedRectangle(), Arealis::Rectangle(50, 0, 60, 10));
}

TEST_F(MainWindowTest, TheSetOperationDialogClosesOnlyThroughItsOkButton)
{
    Open("/maps/square.shp");
    Open("/maps/other.shp");
    CSetOperationDlg logic(window.View().Logic(), IntersectLayers);
    SetOperationDialog dialog(logic, platform, &window);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Intersection"));
    EXPECT_EQ(dialog.ResultCombo().currentText(),
              QStringLiteral("/maps/other_/maps/square_Intersection"));
    EXPECT_FALSE(dialog.ResultCombo().isEnabled());

    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());

    QTest::mouseClick(&dialog.OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(window.WorkingTopologyCombo().itemText(0),
              QStringLiteral("/maps/other_/maps/square_Intersection"));
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(MainWindowTest, ResizingRefitsTheZoomOnceTheSizeSettles)
{
    Open("/maps/square.shp");
    ShowZoomed(200, 200);
    window.View().setFixedSize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window.View().Logic().IsRedrawNeeded());

    QTest::qWait(DrawingViewWidget::SettleMilliseconds + 100);
    window.View().RenderPending();
    EXPECT_EQ(window.View().Logic().GetMapping().VisibleRectangle(),
              Arealis::Rectangle(-25, 0, 125, 100));
    const DisplayLayer& layer = *document.GetLayers().front();
    EXPECT_EQ(Pixel({50, 50}), Rgb(layer.FillColour()));
}

TEST_F(MainWindowTest, OpenedFilesJoinTheRecentFilesNewestFirst)
{
    ASSERT_TRUE(recentFiles.Files().isEmpty());
    window.UpdateCommandStates();
    EXPECT_EQ(window.Action(FileMruFirst)->text(), QStringLiteral("Recent File"));
    EXPECT_FALSE(window.Action(FileMruFirst)->isEnabled());

    Open("/maps/square.shp");
    Open("/maps/other.shp");

    EXPECT_EQ(recentFiles.Files(), (QStringList{"/maps/other.shp", "/maps/square.shp"}));
    EXPECT_EQ(window.Action(FileMruFirst)->text(), QStringLiteral("&1 /maps/other.shp"));
    EXPECT_EQ(window.Action(FileMruFirst + 1)->text(), QStringLiteral("&2 /maps/square.shp"));
    EXPECT_FALSE(window.Action(FileMruFirst + 2)->isVisible());
    EXPECT_TRUE(window.Action(FileMruFirst + 1)->isEnabled());
}

TEST(RecentFileListTest, KeepsTheNewestEntriesOnceEachAndSurvivesARestart)
{
    Testing::TestApplication();
    RecentFileList files(4);
    for (const char* path : {"a", "b", "c", "d", "e", "c"})
    {
        files.Add(QString::fromLatin1(path));
    }
    EXPECT_EQ(files.Files(), (QStringList{"c", "e", "d", "b"}));
    files.Save();

    RecentFileList restarted(4);
    restarted.Load();
    EXPECT_EQ(restarted.Files(), files.Files());
    restarted.Remove(QStringLiteral("e"));
    EXPECT_EQ(restarted.Files(), (QStringList{"c", "d", "b"}));
}

} // namespace
} // namespace Orvista
