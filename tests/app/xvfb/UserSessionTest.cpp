// The main window on a real X server, driven by mouse clicks, drags and keys as a new user
// drives it: each session walks through places where the program used to leave the user
// stuck (commands greyed out by the focus, invisible results, no way back).

#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "DrawingViewWidget.h"
#include "Fakes.h"
#include "LayerTreeWidget.h"
#include "MainWindow.h"
#include "OrvistaDoc.h"
#include "QtCanvas.h"
#include "QtTestSupport.h"
#include "RecentFileList.h"

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidgetItem>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using namespace CommandId;
using Arealis::Point;
using Testing::FakeLayerReader;
using Testing::ScriptedPlatform;
using Testing::Square;

class UserSessionTest : public ::testing::Test, private Testing::WithApplication
{
public:
    // These sessions switch the editing tools on, which the window keeps in its settings: a
    // settings file of their own keeps that from reaching the window tests that ctest runs
    // beside them.
    static void SetUpTestSuite()
    {
        Testing::TestApplication();
        QCoreApplication::setApplicationName(QStringLiteral("orvista_xvfb_tests"));
    }

    UserSessionTest()
    {
        platform.SetMainWindow(&window);
        // Two squares side by side sharing an edge, and one square apart.
        reader.Files["/maps/a.shp"] = {{Square(10, 10, 20)}, {Square(30, 10, 20)}};
        reader.Files["/maps/b.shp"] = {{Square(60, 60, 20)}};
        if (!window.ShowsEditingTools())
        {
            window.RunCommand(ViewEditingTools);
        }
        window.show();
        window.View().setFixedSize(400, 400);
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    ~UserSessionTest() override { platform.SetMainWindow(nullptr); }

protected:
    // Lets the event loop wait once, as it does between a user's inputs: the window brings
    // its commands' states up to date then.
    static void Settle()
    {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // Ctrl+O, the file dialog answering path.
    void Open(const std::string& path)
    {
        platform.FileAnswers.push_back(path);
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        Settle();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* pFocus = QApplication::focusWidget();
        QTest::keyClick(pFocus != nullptr ? pFocus : &window, key, modifiers);
        Settle();
    }
    // A click on the command's toolbar button.
    void Button(int id)
    {
        QAction* pAction = window.Action(id);
        QWidget* pButton = window.SecondToolBar().widgetForAction(pAction);
        if (pButton == nullptr)
        {
            pButton = window.FirstToolBar().widgetForAction(pAction);
        }
        ASSERT_NE(pButton, nullptr) << id;
        ASSERT_TRUE(pAction->isEnabled()) << id;
        QTest::mouseClick(pButton, Qt::LeftButton);
        Settle();
    }
    void ClickTreeItem(const QString& text)
    {
        LayerTreeWidget& tree = window.Tree();
        const QList<QTreeWidgetItem*> items = tree.findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                          tree.visualItemRect(items.front()).center());
        Settle();
    }
    QPoint PixelOf(const Point& world)
    {
        const PixelPoint pixel = window.View().Logic().WorldToPixel(world);
        return {pixel.X, pixel.Y};
    }
    void Click(const Point& world)
    {
        QTest::mouseClick(&window.View(), Qt::LeftButton, {}, PixelOf(world));
        Settle();
    }
    void Drag(const Point& from, const Point& to)
    {
        QTest::mousePress(&window.View(), Qt::LeftButton, {}, PixelOf(from));
        QTest::mouseMove(&window.View(), PixelOf(to));
        QTest::mouseRelease(&window.View(), Qt::LeftButton, {}, PixelOf(to));
        Settle();
    }
    void ZoomToHundred()
    {
        window.View().Logic().ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
        QCoreApplication::processEvents();
    }
    std::string Status() const { return window.statusBar()->currentMessage().toStdString(); }
    DisplayLayer& Layer(const std::string& name)
    {
        for (const auto& layer : document.GetLayers())
        {
            if (layer->Name() == name)
            {
                return *layer;
            }
        }
        throw std::out_of_range(name);
    }
    int PolygonCount(const std::string& name)
    {
        return Layer(name).GetPolygonLayer()->GetPolygonCount();
    }

    ScriptedPlatform platform;
    FakeLayerReader reader;
    RecentFileList recentFiles{4};
    COrvistaDoc document{platform, reader};
    MainWindow window{platform, document, recentFiles};
};

TEST_F(UserSessionTest, NewOpenTreeFocusAndDeletingLayers)
{
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
    Settle();
    Open("/maps/a.shp");
    // The view showed nothing after New: it zooms to the opened layer.
    const Arealis::Rectangle requested = window.View().Logic().GetRequestedRectangle();
    EXPECT_EQ(requested.MinX, 10);
    EXPECT_EQ(requested.MaxX, 50);

    // Choosing the layer in the tree leaves the view's commands enabled.
    ClickTreeItem(QStringLiteral("a.shp"));
    ASSERT_TRUE(window.Tree().hasFocus());
    for (const int id : {CommitChanges, StartTest, ModeCreate, ModeBooleanSelection})
    {
        EXPECT_TRUE(window.Action(id)->isEnabled()) << id;
    }
    Button(ModeCreate);
    EXPECT_TRUE(window.Action(AddPolygon)->isEnabled());

    // Deleting the selected layer selects the next one, so a second click deletes it too.
    Button(DeleteSelectedLayer);
    ASSERT_EQ(window.Tree().topLevelItemCount(), 1);
    EXPECT_NE(document.GetLayerTree()->GetSelectedLayer(), nullptr);
    Button(DeleteSelectedLayer);
    EXPECT_EQ(window.Tree().topLevelItemCount(), 0);
    EXPECT_TRUE(platform.Boxes.empty());
}

TEST_F(UserSessionTest, CreateRingsDeleteAndUndoWithTheKeys)
{
    Open("/maps/a.shp");
    ZoomToHundred();
    ClickTreeItem(QStringLiteral("a.shp"));
    Button(ModeCreate);
    Button(AddPolygon);
    // Counter-clockwise clicks: the exterior ring is turned.
    for (const Point& p : {Point{60, 40}, Point{90, 40}, Point{90, 70}, Point{60, 70}})
    {
        Click(p);
    }
    Button(AddRing);
    EXPECT_EQ(Status().rfind("Exterior ring of 4 vertices made (", 0), 0U) << Status();
    for (const Point& p : {Point{70, 50}, Point{80, 50}, Point{80, 60}, Point{70, 60}})
    {
        Click(p);
    }
    Button(ModeSelect);
    EXPECT_EQ(Status(), "Hole of 4 vertices made");
    ASSERT_EQ(PolygonCount("/maps/a.shp"), 3);

    // Identify, then Delete on the selected square; Undo and Redo with the keys.
    Click({15, 15});
    EXPECT_EQ(Status(), "Record 0 of a.shp: area 400, 1 ring, 4 vertices, valid");
    Key(Qt::Key_Delete);
    EXPECT_EQ(PolygonCount("/maps/a.shp"), 2);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(PolygonCount("/maps/a.shp"), 3);
    EXPECT_EQ(Status(), "Undone: Delete polygon");
    Key(Qt::Key_Z, Qt::ControlModifier); // the hole
    Key(Qt::Key_Z, Qt::ControlModifier); // the polygon
    EXPECT_EQ(PolygonCount("/maps/a.shp"), 2);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(PolygonCount("/maps/a.shp"), 3);
    Button(CommitChanges);
    ASSERT_EQ(platform.Boxes.size(), 1U);
    EXPECT_EQ(platform.Boxes[0].rfind("Commit time ", 0), 0U) << platform.Boxes[0];
}

TEST_F(UserSessionTest, MovingANodeOfAnotherLayerAndBooleanResults)
{
    Open("/maps/a.shp");
    Open("/maps/b.shp"); // current
    ZoomToHundred();
    Button(ModeMoveNode);
    Drag({10, 10}, {5, 5});
    EXPECT_TRUE(platform.Boxes.empty());
    EXPECT_EQ(Status().rfind("The current layer is now /maps/a.shp", 0), 0U) << Status();
    const Arealis::NodeSet& nodes = Layer("/maps/a.shp").GetTopology()->GetNodeSet();
    EXPECT_NE(nodes.Find({5, 5}), nullptr);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(nodes.Find({10, 10}), nullptr);
    EXPECT_EQ(nodes.Find({5, 5}), nullptr);

    Button(ModeBooleanSelection);
    Button(BooleanUnion);
    EXPECT_EQ(Status(), "Pick two polygons first");
    Click({15, 15});
    Click({35, 15});
    Button(BooleanUnion);
    EXPECT_EQ(Status().rfind("Union made: a polygon of 1 ring and ", 0), 0U) << Status();
    const Arealis::Polygon* pResult = window.View().Logic().GetSelectedPolygon();
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetBounds().MaxX, 50);
    EXPECT_EQ(PolygonCount("/maps/a.shp"), 3);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(PolygonCount("/maps/a.shp"), 2);
}

TEST_F(UserSessionTest, AMiddleButtonPanIsDrawnCoarselyThenFullyOnceTheViewRests)
{
    Open("/maps/a.shp");
    ZoomToHundred();
    // Every layer counts as large here, so that the pan is drawn coarsely first.
    window.View().Logic().SetDraftWhileMoving(true, 0);
    const QPoint from = PixelOf({20, 20});
    QTest::mousePress(&window.View(), Qt::MiddleButton, {}, from);
    QTest::mouseMove(&window.View(), from + QPoint(40, 0));
    QTest::mouseRelease(&window.View(), Qt::MiddleButton, {}, from + QPoint(40, 0));
    window.View().RenderPending();
    EXPECT_TRUE(Layer("/maps/a.shp").Draft);
    const QPoint inside = PixelOf({20, 20});
    EXPECT_EQ(window.View().Surface().pixelColor(inside), Qt::white); // outlines only

    // After the rest the coarse picture is gone: the square is filled again.
    QTest::qWait(DrawingViewWidget::ViewRestMilliseconds * 3);
    window.View().RenderPending();
    EXPECT_FALSE(Layer("/maps/a.shp").Draft);
    EXPECT_EQ(window.View().Surface().pixelColor(inside), ToQColor(Layer("/maps/a.shp").FillColour()));
}

} // namespace
} // namespace Orvista
