#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "CommandTable.h"
#include "Commands.h"
#include "CreatePolygonController.h"
#include "DisplayLayer.h"
#include "DrawingViewWidget.h"
#include "EditController.h"
#include "Fakes.h"
#include "MainWindow.h"
#include "OrvistaDoc.h"
#include "QtTestSupport.h"
#include "RecentFileList.h"
#include "TestFilesFolder.h"

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QToolBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using namespace CommandId;
using Testing::FakeLayerReader;
using Testing::ScriptedPlatform;
using Testing::Square;

// The program's window on layer /maps/a.shp, its view 200 x 200 pixels showing the world
// square (0, 0)-(100, 100): pixel (x, y) lies on world (x / 2, 100 - y / 2). The layer holds
// two squares side by side that share the nodes (40, 20) and (40, 40), and a small square
// apart from them.
class ModesTest : public ::testing::Test, private Testing::WithFreshSettings
{
public:
    ModesTest()
    {
        platform.SetMainWindow(&window);
        reader.Files["/maps/a.shp"] = {
            {Square(20, 20, 20)}, {Square(40, 20, 20)}, {Square(62, 50, 10)}};
        reader.Files["/maps/b.shp"] = {{Square(25, 25, 10)}};
        Open("/maps/a.shp");
        window.show();
        window.Splitter().setSizes({150, 200});
        View().setFixedSize(200, 200);
        QCoreApplication::processEvents();
        Logic().ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
        View().RenderPending();
    }
    ~ModesTest() override { platform.SetMainWindow(nullptr); }

protected:
    void Open(const std::string& path)
    {
        platform.FileAnswers.push_back(path);
        window.RunCommand(FileOpen);
    }

    DrawingViewWidget& View() { return window.View(); }
    COrvistaView& Logic() { return window.View().Logic(); }
    DisplayLayer& LayerA() { return *document.GetLayers().front(); }
    Arealis::Topology& TopologyA() { return *LayerA().GetTopology(); }

    static QPoint PixelOf(const Arealis::Point& world)
    {
        return {static_cast<int>(world.X * 2), static_cast<int>(200 - world.Y * 2)};
    }

    Arealis::Node* NodeAt(const Arealis::Point& world)
    {
        return TopologyA().GetNodeSet().Find(world);
    }

    // The polygon of layer a whose bounds start at the corner.
    Arealis::Polygon* PolygonAt(double minX, double minY)
    {
        Arealis::PolygonEnumerator polygons = LayerA().GetPolygonLayer()->GetPolygons();
        while (polygons.MoveNext())
        {
            const Arealis::Rectangle bounds = polygons.Current()->GetBounds();
            if (bounds.MinX == minX && bounds.MinY == minY)
            {
                return polygons.Current();
            }
        }
        return nullptr;
    }

    void Click(const QPoint& pixel) { QTest::mouseClick(&View(), Qt::LeftButton, {}, pixel); }

    // Presses on from, moves in a few steps to to, and releases there.
    void Drag(const QPoint& from, const QPoint& to)
    {
        QTest::mousePress(&View(), Qt::LeftButton, {}, from);
        MoveInSteps(from, to);
        QTest::mouseRelease(&View(), Qt::LeftButton, {}, to);
    }

    void MoveInSteps(const QPoint& from, const QPoint& to)
    {
        for (int step = 1; step <= 4; ++step)
        {
            QTest::mouseMove(&View(), from + (to - from) * step / 4);
        }
    }

    void Wheel(const QPoint& pixel, int delta)
    {
        QWheelEvent event(pixel, View().mapToGlobal(pixel), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&View(), &event);
    }

    std::vector<int> SecondToolbarIds()
    {
        std::vector<int> ids;
        for (const QAction* pAction : window.SecondToolBar().actions())
        {
            if (!pAction->isSeparator())
            {
                ids.push_back(pAction->data().toInt());
            }
        }
        return ids;
    }

    ScriptedPlatform platform;
    FakeLayerReader reader;
    RecentFileList recentFiles{4};
    COrvistaDoc document{platform, reader};
    MainWindow window{platform, document, recentFiles};
};

// --- Select -------------------------------------------------------------------------------

TEST_F(ModesTest, SelectPicksANodeBeforeAPolygonAndAPolygonWithTheEdgeNearTheClick)
{
    window.RunCommand(ModeSelect);

    // Within 5 pixels of the shared node (40, 40).
    Click(PixelOf({40, 40}) + QPoint(3, 2));
    EXPECT_EQ(Logic().GetSelectedNode(), NodeAt({40, 40}));
    EXPECT_EQ(Logic().GetSelectedPolygon(), nullptr);
    EXPECT_EQ(Logic().GetSelectionLayer(), &LayerA());

    // Inside the first square, 10 pixels from its edges: the polygon alone.
    Click(PixelOf({30, 25}));
    EXPECT_EQ(Logic().GetSelectedNode(), nullptr);
    EXPECT_EQ(Logic().GetSelectedPolygon(), PolygonAt(20, 20));
    EXPECT_EQ(Logic().GetSelectedEdge(), -1);

    // Two pixels above its bottom edge: the polygon with that edge.
    Click(PixelOf({30, 21}));
    ASSERT_EQ(Logic().GetSelectedPolygon(), PolygonAt(20, 20));
    ASSERT_NE(Logic().GetSelectedRing(), nullptr);
    const Arealis::Rectangle edge = Logic().GetSelectionBounds();
    EXPECT_EQ(edge, Arealis::Rectangle(20, 20, 40, 20));

    // Empty space: nothing selected, the selection layer stays.
    Click(PixelOf({90, 90}));
    EXPECT_EQ(Logic().GetSelectedPolygon(), nullptr);
    EXPECT_EQ(Logic().GetSelectedNode(), nullptr);
    EXPECT_EQ(Logic().GetSelectionLayer(), &LayerA());
}

TEST_F(ModesTest, SelectPrefersTheTopLayerAndIgnoresHiddenLayers)
{
    Open("/maps/b.shp");
    DisplayLayer& layerB = *document.GetLayers().back();
    window.RunCommand(ModeSelect);

    Click(PixelOf({30, 30}));
    EXPECT_EQ(Logic().GetSelectionLayer(), &layerB);

    layerB.Visible = false;
    Click(PixelOf({30, 30}));
    EXPECT_EQ(Logic().GetSelectionLayer(), &LayerA());
    EXPECT_EQ(Logic().GetSelectedPolygon(), PolygonAt(20, 20));
}

// --- Move a node ------------------------------------------------------------------------------

TEST_F(ModesTest, DraggingASharedNodeMovesBothPolygonsAndShowsThemAtOnce)
{
    window.RunCommand(ModeMoveNode);
    Arealis::Node* pShared = NodeAt({40, 40});
    const std::int32_t nodes = TopologyA().GetNodeSet().Count();

    Drag(PixelOf({40, 40}), PixelOf({45, 47}));

    EXPECT_EQ(NodeAt({40, 40}), nullptr);
    Arealis::Node* pMoved = NodeAt({45, 47});
    ASSERT_NE(pMoved, nullptr);
    EXPECT_EQ(pMoved, pShared);
    EXPECT_TRUE(PolygonAt(20, 20)->ContainsNode(pMoved));
    EXPECT_TRUE(PolygonAt(40, 20)->ContainsNode(pMoved));
    EXPECT_EQ(TopologyA().GetNodeSet().Count(), nodes);
    EXPECT_EQ(Logic().GetSelectedNode(), pMoved);

    // The layer's picture is drawn again: the square's top edge now leans up to the node.
    View().RenderPending();
    const QPoint underNewEdge = PixelOf({43, 44});
    EXPECT_NE(View().Surface().pixel(underNewEdge) & 0xFFFFFFU, 0xFFFFFFU);
}

TEST_F(ModesTest, DraggingOntoAnotherNodeMergesThemAndTheSelectionFollows)
{
    window.RunCommand(ModeMoveNode);
    Arealis::Node* pExisting = NodeAt({60, 40});
    const std::int32_t nodes = TopologyA().GetNodeSet().Count();

    // The corner (62, 50) of the small square, released 2 pixels from the node (60, 40).
    Drag(PixelOf({62, 50}), PixelOf({60, 40}) + QPoint(1, -2));

    EXPECT_EQ(TopologyA().GetNodeSet().Count(), nodes - 1);
    EXPECT_EQ(NodeAt({62, 50}), nullptr);
    EXPECT_EQ(NodeAt({60, 40}), pExisting);
    EXPECT_TRUE(PolygonAt(60, 40)->ContainsNode(pExisting));
    EXPECT_EQ(Logic().GetSelectedNode(), pExisting);
    // The view draws the selection from the node that stays.
    View().RenderPending();
    EXPECT_EQ(Logic().GetSelectionBounds(), Arealis::Rectangle(60, 40, 60, 40));
}

TEST_F(ModesTest, ReleasingWithoutMovingChangesNothing)
{
    window.RunCommand(ModeMoveNode);
    Arealis::Node* pShared = NodeAt({40, 40});

    QTest::mouseClick(&View(), Qt::LeftButton, {}, PixelOf({40, 40}));

    EXPECT_EQ(NodeAt({40, 40}), pShared);
    EXPECT_EQ(Logic().GetSelectedNode(), pShared);
    EXPECT_FALSE(PolygonAt(20, 20)->IsEditing());
    EXPECT_FALSE(PolygonAt(40, 20)->IsEditing());
}

TEST_F(ModesTest, EscapeAbandonsTheDragAndTakesTheRubberLineAway)
{
    window.RunCommand(ModeMoveNode);
    View().RenderPending();
    const QImage before = View().Surface().copy();
    Arealis::Node* pShared = NodeAt({40, 40});

    QTest::mousePress(&View(), Qt::LeftButton, {}, PixelOf({40, 40}));
    View().RenderPending();
    MoveInSteps(PixelOf({40, 40}), PixelOf({80, 80}));
    const auto* pEdit = dynamic_cast<const EditController*>(Logic().GetController());
    ASSERT_NE(pEdit, nullptr);
    EXPECT_TRUE(pEdit->IsDragging());
    // The rubber line runs over the empty upper right of the view.
    EXPECT_NE(View().Surface().pixel(PixelOf({70, 70})), before.pixel(PixelOf({70, 70})));

    QTest::keyClick(&View(), Qt::Key_Escape);
    QTest::mouseRelease(&View(), Qt::LeftButton, {}, PixelOf({80, 80}));

    EXPECT_FALSE(pEdit->IsDragging());
    EXPECT_EQ(NodeAt({40, 40}), pShared);
    EXPECT_EQ(NodeAt({80, 80}), nullptr);
    EXPECT_FALSE(PolygonAt(20, 20)->IsEditing());
    EXPECT_EQ(View().Surface().pixel(PixelOf({70, 70})), before.pixel(PixelOf({70, 70})));
}

// --- Create ---------------------------------------------------------------------------------

TEST_F(ModesTest, ClicksInCreateModeBuildAPolygonAtTheClickedWorldPositions)
{
    window.RunCommand(ModeCreate);
    EXPECT_TRUE(window.Action(AddPolygon)->isEnabled());
    window.RunCommand(AddPolygon);
    const std::vector<Arealis::Point> corners{{10, 10}, {10, 20}, {20, 20}, {20, 10}};
    for (const Arealis::Point& corner : corners)
    {
        Click(PixelOf(corner));
    }
    const auto* pCreate = dynamic_cast<const CreatePolygonController*>(Logic().GetController());
    ASSERT_NE(pCreate, nullptr);
    Arealis::Polygon* pPolygon = pCreate->GetPolygon();
    ASSERT_NE(pPolygon, nullptr);
    ASSERT_EQ(pPolygon->GetNodeCount(), 4);
    for (std::int32_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(pPolygon->GetNode(i)->Position, corners[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(pPolygon->GetLayer(), LayerA().GetPolygonLayer());
    EXPECT_TRUE(pPolygon->IsEditing());

    // The layer's picture shows it before it is committed.
    View().RenderPending();
    EXPECT_EQ(View().Surface().pixel(PixelOf({15, 15})) & 0xFFFFFFU,
              qRgb(LayerA().FillColour().R, LayerA().FillColour().G, LayerA().FillColour().B) &
                  0xFFFFFFU);
}

TEST_F(ModesTest, AddRingAddsAHoleToThePolygonBeingBuilt)
{
    window.RunCommand(ModeCreate);
    window.RunCommand(AddRing); // before any polygon: ignored
    Click(PixelOf({5, 5}));
    const auto* pCreate = dynamic_cast<const CreatePolygonController*>(Logic().GetController());
    ASSERT_NE(pCreate, nullptr);
    EXPECT_EQ(pCreate->GetPolygon(), nullptr);
    EXPECT_EQ(LayerA().GetPolygonLayer()->GetPolygonCount(), 3);

    window.RunCommand(AddPolygon);
    for (const Arealis::Point& corner :
         std::vector<Arealis::Point>{{2, 60}, {2, 98}, {40, 98}, {40, 60}})
    {
        Click(PixelOf(corner));
    }
    window.RunCommand(AddRing);
    for (const Arealis::Point& corner :
         std::vector<Arealis::Point>{{10, 70}, {30, 70}, {30, 90}, {10, 90}})
    {
        Click(PixelOf(corner));
    }
    Arealis::Polygon* pPolygon = pCreate->GetPolygon();
    ASSERT_NE(pPolygon, nullptr);
    EXPECT_EQ(pPolygon->GetRingCount(), 2);

    window.RunCommand(CommitChanges);
    EXPECT_FALSE(pPolygon->IsEditing());
    EXPECT_FALSE(pPolygon->ContainsPoint({20, 80}));
    EXPECT_TRUE(pPolygon->ContainsPoint({5, 80}));
}

// --- Zoom -----------------------------------------------------------------------------------

TEST_F(ModesTest, ZoomingInThenOutAtOnePointRestoresTheRequestedSize)
{
    window.RunCommand(ModeZoomIn);
    Click(PixelOf({25, 75}));
    EXPECT_EQ(Logic().GetRequestedRectangle(), Arealis::Rectangle(0, 50, 50, 100));
    EXPECT_DOUBLE_EQ(Logic().GetScale(), 4.0);

    window.RunCommand(ModeZoomOut);
    Click(PixelOf({25, 75}));
    const Arealis::Rectangle requested = Logic().GetRequestedRectangle();
    EXPECT_DOUBLE_EQ(requested.Width(), 100.0);
    EXPECT_DOUBLE_EQ(requested.Height(), 100.0);
    EXPECT_DOUBLE_EQ(Logic().GetScale(), 2.0);
}

TEST_F(ModesTest, TheWheelZoomsAboutTheCursor)
{
    const QPoint cursor(30, 150);
    const Arealis::Point under = Logic().PixelToWorld({cursor.x(), cursor.y()});

    Wheel(cursor, 120);
    EXPECT_DOUBLE_EQ(Logic().GetScale(), 4.0);
    Arealis::Point after = Logic().PixelToWorld({cursor.x(), cursor.y()});
    EXPECT_NEAR(after.X, under.X, 1e-9);
    EXPECT_NEAR(after.Y, under.Y, 1e-9);

    Wheel(cursor, -240);
    EXPECT_DOUBLE_EQ(Logic().GetScale(), 1.0);
    after = Logic().PixelToWorld({cursor.x(), cursor.y()});
    EXPECT_NEAR(after.X, under.X, 1e-9);
    EXPECT_NEAR(after.Y, under.Y, 1e-9);
}

TEST_F(ModesTest, DraggingWithTheMiddleButtonPans)
{
    window.RunCommand(ModeSelect);
    const QPoint from(100, 100);
    const QPoint to(140, 80);
    const Arealis::Point grabbed = Logic().PixelToWorld({from.x(), from.y()});

    QTest::mousePress(&View(), Qt::MiddleButton, {}, from);
    QTest::mouseMove(&View(), to);
    EXPECT_EQ(View().PanOffset(), to - from);
    QTest::mouseRelease(&View(), Qt::MiddleButton, {}, to);

    const Arealis::Point dropped = Logic().PixelToWorld({to.x(), to.y()});
    EXPECT_NEAR(dropped.X, grabbed.X, 1e-9);
    EXPECT_NEAR(dropped.Y, grabbed.Y, 1e-9);
    EXPECT_TRUE(View().PanOffset().isNull());
    // The middle button selected nothing.
    EXPECT_EQ(Logic().GetSelectionLayer(), nullptr);
}

TEST_F(ModesTest, TheStatusBarShowsTheWorldCoordinatesUnderTheCursor)
{
    QTest::mouseMove(&View(), PixelOf({25, 75}));
    EXPECT_EQ(window.CursorPositionLabel().text(), QStringLiteral("X: 25.0  Y: 75.0"));
}

// --- Boolean picks and validation ------------------------------------------------------------

TEST_F(ModesTest, BooleanPicksFillTheFirstFreeSlotAndAClickOnAnOperandFreesIt)
{
    EXPECT_FALSE(window.Action(BooleanUnion)->isEnabled());
    window.RunCommand(ModeBooleanSelection);
    EXPECT_TRUE(window.Action(BooleanUnion)->isEnabled());
    Arealis::Polygon* pSecond = PolygonAt(40, 20);
    Arealis::Polygon* pThird = PolygonAt(62, 50);
    const BooleanOperands& operands = Logic().GetBooleanOperands();

    Click(PixelOf({30, 30}));
    Click(PixelOf({50, 30}));
    Click(PixelOf({30, 30}));
    EXPECT_FALSE(operands.FirstChosen);
    EXPECT_TRUE(operands.SecondChosen);
    EXPECT_EQ(operands.pSecond, pSecond);

    Click(PixelOf({67, 55}));
    EXPECT_TRUE(operands.FirstChosen);
    EXPECT_EQ(operands.pFirst, pThird);

    // A third polygon while both are chosen, and empty space, change nothing.
    Click(PixelOf({30, 30}));
    Click(PixelOf({90, 10}));
    EXPECT_EQ(operands.pFirst, pThird);
    EXPECT_EQ(operands.pSecond, pSecond);
    EXPECT_EQ(Logic().GetSelectedPolygon(), nullptr);

    // Leaving the mode clears the slots.
    window.RunCommand(ModeSelect);
    EXPECT_FALSE(operands.FirstChosen);
    EXPECT_FALSE(operands.SecondChosen);
}

TEST_F(ModesTest, ValidatingADrawnBowTieReportsItsProblem)
{
    window.RunCommand(ModeCreate);
    window.RunCommand(AddPolygon);
    for (const Arealis::Point& corner :
         std::vector<Arealis::Point>{{10, 60}, {10, 90}, {40, 60}, {40, 90}})
    {
        Click(PixelOf(corner));
    }
    window.RunCommand(ModeValidate);
    Click(PixelOf({14, 75}));

    ASSERT_EQ(platform.Boxes.size(), 1U);
    EXPECT_FALSE(platform.Boxes[0].empty());
    EXPECT_EQ(platform.Boxes[0].find("At:"), std::string::npos);
    EXPECT_TRUE(Logic().GetSelectedPolygon()->IsEditing());

    // A committed polygon gives no message.
    Click(PixelOf({30, 30}));
    EXPECT_EQ(platform.Boxes.size(), 1U);
}

// --- Editing Tools ----------------------------------------------------------------------------

TEST_F(ModesTest, EditingToolsShowTheHiddenButtonsAndAreRemembered)
{
    const std::vector<int> standard = SecondToolbarIds();
    EXPECT_EQ(std::count(standard.begin(), standard.end(), ModeMoveNode), 0);
    EXPECT_FALSE(window.Action(ViewEditingTools)->isChecked());

    window.RunCommand(ViewEditingTools);

    EXPECT_TRUE(window.Action(ViewEditingTools)->isChecked());
    const std::vector<int> editing = SecondToolbarIds();
    for (const int id : {CommitChanges, SnapByNodeIndex, ModeMoveNode, ModeCreate, ModeValidate,
                         ModeBooleanSelection, BooleanUnion, BooleanIntersect, BooleanSubtract,
                         AddPolygon, AddRing, ShowParents, ClearParents, StartTest, CompareLayers})
    {
        EXPECT_EQ(std::count(editing.begin(), editing.end(), id), 1) << id;
    }
    EXPECT_EQ(std::count(editing.begin(), editing.end(), WorkingTopology), 0);

    EXPECT_TRUE(QSettings().value(QString::fromLatin1(MainWindow::EditingToolsKey)).toBool());
    {
        FakeLayerReader otherReader;
        COrvistaDoc otherDocument{platform, otherReader};
        const MainWindow restarted{platform, otherDocument, recentFiles};
        EXPECT_TRUE(restarted.ShowsEditingTools());
    }

    window.RunCommand(ViewEditingTools);
    EXPECT_EQ(SecondToolbarIds(), standard);
    EXPECT_FALSE(QSettings().value(QString::fromLatin1(MainWindow::EditingToolsKey)).toBool());
}

// --- StartTest/n ----------------------------------------------------------------------------

TEST(TestFilesFolderTest, TheSettingsNameTheFolderElseTheProgramsOwnCatalogueIsUsed)
{
    Testing::TestApplication();
    QSettings settings;
    const QString key = QString::fromLatin1(TestFilesFolderKey);
    settings.remove(key);

    const TestFilesFolders standard = FindTestFilesFolders();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(standard.Folder) / "1_1.shp"))
        << standard.Folder;
    EXPECT_FALSE(standard.WritableCopy.empty());
    EXPECT_NE(standard.WritableCopy, standard.Folder);

    settings.setValue(key, QStringLiteral("/srv/catalogue"));
    EXPECT_EQ(FindTestFilesFolders().Folder, "/srv/catalogue");
    settings.remove(key);
}

} // namespace
} // namespace Orvista
