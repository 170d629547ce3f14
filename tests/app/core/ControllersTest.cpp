#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "Commands.h"
#include "CreatePolygonController.h"
#include "EditController.h"
#include "Fakes.h"

#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using namespace Testing;
using namespace CommandId;
using Arealis::Point;

// A view of 100 x 100 pixels on the world square (0, 0)-(100, 100): pixel (x, y) lies on world
// (x, 100 - y). Layer a.shp holds two squares side by side sharing the nodes (30, 10) and
// (30, 30).
class ControllersTest : public ::testing::Test
{
protected:
    ControllersTest()
    {
        shell.Reader.Files["a.shp"] = {{Square(10, 10, 20)}, {Square(30, 10, 20)}};
        shell.Reader.Files["b.shp"] = {{Square(60, 60, 20)}};
        shell.Window.Client = {100, 100};
        shell.Open("a.shp");
        shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
    }

    static PixelPoint PixelOf(const Arealis::Point& world)
    {
        return {static_cast<int>(world.X), static_cast<int>(100 - world.Y)};
    }

    void Mode(int id) { shell.Frame.Execute(id, nullptr); }
    void Down(const Arealis::Point& world)
    {
        Dispatch([&] { shell.View.OnLButtonDown(KeyFlags::LeftButton, PixelOf(world)); });
    }
    void Move(const Arealis::Point& world)
    {
        Dispatch([&] { shell.View.OnMouseMove(KeyFlags::LeftButton, PixelOf(world)); });
    }
    void Up(const Arealis::Point& world)
    {
        Dispatch([&] { shell.View.OnLButtonUp(0, PixelOf(world)); });
    }

    Arealis::Topology& TopologyOf(std::size_t layer) { return *shell.Layer(layer).GetTopology(); }
    const CreatePolygonController& Create() const
    {
        return dynamic_cast<const CreatePolygonController&>(*shell.View.GetController());
    }

    // The polylines drawn with the not-xor raster operation, as lists of line ends.
    static std::vector<std::vector<PixelPoint>> XorLines(const RecordingCanvas& canvas)
    {
        std::vector<std::vector<PixelPoint>> lines;
        for (const DrawCall& call : canvas.Calls)
        {
            if (call.What == DrawCall::Kind::Move)
            {
                lines.push_back({call.Point});
            }
            else if (call.What == DrawCall::Kind::Line && call.Op == RasterOp::NotXorPen)
            {
                lines.back().push_back(call.Point);
            }
        }
        std::erase_if(lines, [](const auto& line) { return line.size() < 2; });
        return lines;
    }

    Shell shell;
};

// --- Modes and the mouse --------------------------------------------------------------------

TEST(ControllersWithoutLayersTest, ClicksDoNothing)
{
    Shell shell;
    shell.Window.Client = {100, 100};
    for (int id = ModeZoomIn; id <= ModeCreate; ++id)
    {
        shell.View.SetMode(id);
        const Arealis::Rectangle requested = shell.View.GetRequestedRectangle();
        Dispatch([&shell] { shell.View.OnLButtonDown(KeyFlags::LeftButton, {50, 50}); });
        Dispatch([&shell] { shell.View.OnLButtonUp(0, {50, 50}); });
        EXPECT_EQ(shell.View.GetRequestedRectangle(), requested) << id;
    }
    EXPECT_EQ(shell.Window.WholeInvalidations, 0);
    EXPECT_TRUE(shell.Window.InvalidatedRects.empty());
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

TEST_F(ControllersTest, EveryBooleanPickRepaintsTheWholeView)
{
    // The operands are outlined wherever they lie, also after a click on empty space.
    Mode(ModeBooleanSelection);
    for (const Arealis::Point& point : {Arealis::Point{20, 20}, Arealis::Point{90, 90}})
    {
        const int before = shell.Window.WholeInvalidations;
        Down(point);
        EXPECT_EQ(shell.Window.WholeInvalidations, before + 1);
    }
    EXPECT_TRUE(shell.View.GetBooleanOperands().FirstChosen);
}

TEST_F(ControllersTest, HoveringAndClickingInSelectModeIdentifyThePolygon)
{
    const std::string left = "Record 0 of a.shp: area 400, 1 ring, 4 vertices, valid";
    Mode(ModeSelect);
    Move({15, 15});
    EXPECT_EQ(shell.Platform.StatusText, left);
    Move({35, 15});
    EXPECT_EQ(shell.Platform.StatusText, "Record 1 of a.shp: area 400, 1 ring, 4 vertices, valid");
    Move({90, 90}); // nothing there
    EXPECT_EQ(shell.Platform.StatusText, "");
    Down({15, 15});
    EXPECT_EQ(shell.Platform.StatusText, left);
    // Other modes leave the status bar alone.
    Mode(ModeBooleanSelection);
    Move({35, 15});
    EXPECT_EQ(shell.Platform.StatusText, left);
}

// --- Move a node ------------------------------------------------------------------------------

TEST_F(ControllersTest, WithoutTheNodeIndexTheTargetSnapsToAVertexOfThePolygonUnderTheCursor)
{
    shell.Open("b.shp"); // current layer: b.shp
    shell.SelectInTree(&shell.Layer(0));
    shell.Frame.SetDrawingViewActive(true);
    Mode(SnapByNodeIndex);
    ASSERT_FALSE(shell.View.IsSnapByNodeIndex());
    Mode(ModeMoveNode);
    const auto& edit = dynamic_cast<const EditController&>(*shell.View.GetController());

    Down({10, 10});
    // 3 pixels from the polygon's corner (50, 30): snapped.
    Move({48, 28});
    EXPECT_EQ(edit.GetTarget(), (Arealis::Point{50, 30}));
    // Near no polygon: the cursor's point.
    Move({55, 40});
    EXPECT_EQ(edit.GetTarget(), (Arealis::Point{55, 40}));
    Up({55, 40});
    EXPECT_NE(TopologyOf(0).GetNodeSet().Find({55, 40}), nullptr);
}

TEST_F(ControllersTest, ANodeOfALayerThatIsNotCurrentMakesItsLayerCurrentAndMoves)
{
    shell.Open("b.shp"); // the current layer
    Mode(ModeMoveNode);
    Arealis::Node* pNode = TopologyOf(0).GetNodeSet().Find({10, 10});
    ASSERT_NE(pNode, nullptr);

    Down({10, 10});
    Move({5, 5});
    Up({5, 5});

    EXPECT_TRUE(shell.Platform.Boxes.empty());
    EXPECT_EQ(shell.Document.GetCurrentLayer(), &shell.Layer(0));
    EXPECT_NE(shell.Platform.StatusText.find("The current layer is now a.shp"), std::string::npos);
    EXPECT_EQ(TopologyOf(0).GetNodeSet().Find({10, 10}), nullptr);
    EXPECT_NE(TopologyOf(0).GetNodeSet().Find({5, 5}), nullptr);
}

TEST_F(ControllersTest, TheRubberLineIsDrawnAgainAfterEveryPaintAndGoesOnRelease)
{
    Mode(ModeMoveNode);
    Down({30, 30});
    Move({40, 50});
    const std::vector<std::vector<PixelPoint>> line{{PixelOf({30, 30}), PixelOf({40, 50})}};
    EXPECT_EQ(XorLines(shell.Window.Direct), line);

    RecordingCanvas painted;
    shell.View.OnDraw(painted);
    EXPECT_EQ(XorLines(painted), line);

    shell.Window.Direct.Calls.clear();
    Up({40, 50});
    // Removed by drawing it once more.
    EXPECT_EQ(XorLines(shell.Window.Direct), line);
    RecordingCanvas repainted;
    shell.View.OnDraw(repainted);
    EXPECT_TRUE(XorLines(repainted).empty());
}

// --- Create ---------------------------------------------------------------------------------

TEST_F(ControllersTest, TheRubberBandRunsToTheCursorAndBackToTheFirstVertex)
{
    Mode(ModeCreate);
    Dispatch([this] { shell.Frame.Execute(CommandId::AddPolygon, nullptr); });
    Move({70, 70});
    EXPECT_TRUE(XorLines(shell.Window.Direct).empty());

    Down({60, 60});
    Down({60, 80});
    shell.Window.Direct.Calls.clear();
    Move({80, 80});

    const std::vector<std::vector<PixelPoint>> lines = XorLines(shell.Window.Direct);
    ASSERT_EQ(lines.size(), 2U);
    // The old band is removed, then the new one drawn: last vertex, cursor, first vertex.
    EXPECT_EQ(lines[1],
              (std::vector<PixelPoint>{PixelOf({60, 80}), PixelOf({80, 80}), PixelOf({60, 60})}));
    EXPECT_EQ(Create().GetVertexCount(), 2);
}

TEST_F(ControllersTest, DeletingTheLayerUnderConstructionEndsTheConstruction)
{
    Mode(ModeCreate);
    Dispatch([this] { shell.Frame.Execute(CommandId::AddPolygon, nullptr); });
    Down({60, 60});
    Down({60, 80});
    ASSERT_TRUE(Create().IsActive());

    shell.SelectInTree(&shell.Layer(0));
    Dispatch([this] { shell.Frame.Execute(DeleteSelectedLayer, nullptr); });
    shell.Document.OnNewTopology();
    shell.Frame.SetDrawingViewActive(true);

    EXPECT_FALSE(Create().IsActive());
    EXPECT_EQ(Create().GetPolygon(), nullptr);
    Down({70, 70});
    Move({75, 75});
    Dispatch([this] { shell.Frame.Execute(AddRing, nullptr); });
    EXPECT_EQ(shell.Layer(0).GetPolygonLayer()->GetPolygonCount(), 0);
    EXPECT_TRUE(shell.Platform.Boxes.empty());

    // A new polygon goes to the layer that is current now.
    Dispatch([this] { shell.Frame.Execute(CommandId::AddPolygon, nullptr); });
    Down({70, 70});
    EXPECT_EQ(shell.Layer(0).GetPolygonLayer()->GetPolygonCount(), 1);
}

TEST_F(ControllersTest, RingsAreTurnedIntoAnExteriorRingAndAHoleWhateverTheClickOrder)
{
    // Both rings clicked the same way round (counter-clockwise): the first is turned to make
    // the exterior ring, the second, inside it, is left as a hole.
    Mode(ModeCreate);
    Dispatch([this] { shell.Frame.Execute(CommandId::AddPolygon, nullptr); });
    for (const Arealis::Point& p : {Point{50, 50}, Point{90, 50}, Point{90, 90}, Point{50, 90}})
    {
        Down(p);
    }
    Dispatch([this] { shell.Frame.Execute(AddRing, nullptr); });
    EXPECT_EQ(shell.Platform.StatusText.rfind("Exterior ring of 4 vertices made (", 0), 0U)
        << shell.Platform.StatusText;
    for (const Arealis::Point& p : {Point{60, 60}, Point{70, 60}, Point{70, 70}, Point{60, 70}})
    {
        Down(p);
    }
    Arealis::Polygon* pPolygon = Create().GetPolygon();
    Mode(ModeSelect); // ends the construction
    EXPECT_EQ(shell.Platform.StatusText, "Hole of 4 vertices made");

    Arealis::RingEnumerator rings = pPolygon->GetRings();
    ASSERT_TRUE(rings.MoveNext());
    EXPECT_TRUE(rings.Current()->IsExterior());
    ASSERT_TRUE(rings.MoveNext());
    EXPECT_FALSE(rings.Current()->IsExterior());
    EXPECT_TRUE(pPolygon->IsValid());
}

TEST_F(ControllersTest, DeleteUndoAndRedoOfANodeMergeThroughTheView)
{
    Arealis::PolygonLayer& layer = *shell.Layer(0).GetPolygonLayer();
    const auto census = [this]
    {
        std::vector<std::pair<double, std::uint32_t>> nodes;
        Collections::PlainArray<Arealis::Node*> found;
        TopologyOf(0).GetNodeSet().FindNodes(Arealis::Rectangle(0, 0, 100, 100), found);
        for (const Arealis::Node* pNode : found)
        {
            nodes.emplace_back(pNode->Position.X * 1000 + pNode->Position.Y,
                               pNode->ReferenceCount);
        }
        return nodes;
    };
    const auto start = census();

    // (10, 30) dragged onto the shared node (30, 30): merged.
    Mode(ModeMoveNode);
    Down({10, 30});
    Move({29, 29});
    Up({29, 29});
    ASSERT_EQ(TopologyOf(0).GetNodeSet().Find({10, 30}), nullptr);
    const auto merged = census();

    // Delete the left square: a polygon selected in Select mode.
    Mode(ModeSelect);
    Down({15, 15});
    ASSERT_NE(shell.View.GetSelectedPolygon(), nullptr);
    Dispatch([this] { shell.Frame.Execute(CommandId::EditDelete, nullptr); });
    EXPECT_EQ(layer.GetPolygonCount(), 1);

    Dispatch([this] { shell.Frame.Execute(CommandId::EditUndo, nullptr); });
    EXPECT_EQ(layer.GetPolygonCount(), 2);
    EXPECT_EQ(census(), merged);
    EXPECT_NE(shell.View.GetSelectedPolygon(), nullptr);
    Dispatch([this] { shell.Frame.Execute(CommandId::EditUndo, nullptr); });
    EXPECT_EQ(census(), start);
    EXPECT_EQ(shell.Platform.StatusText, "Undone: Move node");
    EXPECT_FALSE(shell.State(CommandId::EditUndo).Enabled);

    Dispatch([this] { shell.Frame.Execute(CommandId::EditRedo, nullptr); });
    EXPECT_EQ(census(), merged);
    Dispatch([this] { shell.Frame.Execute(CommandId::EditRedo, nullptr); });
    EXPECT_EQ(layer.GetPolygonCount(), 1);
    EXPECT_FALSE(shell.State(CommandId::EditRedo).Enabled);
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

TEST_F(ControllersTest, DeletingAParentIsRefusedWithTheLibrarysMessage)
{
    Mode(ModeBooleanSelection);
    Down({15, 15});
    Down({35, 15});
    Dispatch([this] { shell.Frame.Execute(BooleanUnion, nullptr); });
    shell.Platform.Boxes.clear();
    Mode(ModeSelect);
    Down({15, 15}); // the left operand: committed polygons are found before the result
    ASSERT_NE(shell.View.GetSelectedPolygon(), nullptr);
    ASSERT_TRUE(shell.View.GetSelectedPolygon()->IsUsed());
    const int before = shell.Layer(0).GetPolygonLayer()->GetPolygonCount();

    Dispatch([this] { shell.Frame.Execute(CommandId::EditDelete, nullptr); });

    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text,
              "The Polygon is contained in the Parents collection of an other Polygon.");
    EXPECT_EQ(shell.Layer(0).GetPolygonLayer()->GetPolygonCount(), before);
}

// --- Commit after editing -------------------------------------------------------------------

TEST_F(ControllersTest, ACommitThatReleasesTheSelectedNodeDropsItFromTheSelection)
{
    // A triangle of its own layer: merging two of its corners leaves a ring that the commit
    // removes, releasing the corner nodes.
    shell.Reader.Files["t.shp"] = {{RingPoints{{60, 60}, {60, 80}, {80, 60}}}};
    shell.Open("t.shp");
    Mode(ModeMoveNode);
    Down({60, 80});
    Move({60, 60});
    Up({60, 60});
    ASSERT_NE(shell.View.GetSelectedNode(), nullptr);

    Dispatch([this] { shell.Frame.Execute(CommitChanges, nullptr); });

    EXPECT_EQ(TopologyOf(1).GetNodeSet().Find({60, 60}), nullptr);
    EXPECT_EQ(shell.View.GetSelectedNode(), nullptr);
    // The next selection and paint read nothing of the released node.
    Down({10, 10});
    EXPECT_EQ(shell.View.GetSelectedNode(), TopologyOf(0).GetNodeSet().Find({10, 10}));
    RecordingCanvas painted;
    shell.View.OnDraw(painted);
}

TEST_F(ControllersTest, ACommitThatRemovesTheSelectedRingKeepsOnlyItsPolygonSelected)
{
    Mode(ModeCreate);
    Dispatch([this] { shell.Frame.Execute(CommandId::AddPolygon, nullptr); });
    for (const Arealis::Point& corner :
         std::vector<Arealis::Point>{{60, 60}, {60, 90}, {90, 90}, {90, 60}})
    {
        Down(corner);
    }
    // A ring of two vertices, which the commit removes.
    Dispatch([this] { shell.Frame.Execute(AddRing, nullptr); });
    Down({70, 70});
    Down({80, 80});
    Arealis::Polygon* pPolygon = Create().GetPolygon();
    Arealis::Ring* pSegment = Create().GetRing();
    Mode(ModeSelect);
    Down({75, 75});
    ASSERT_EQ(shell.View.GetSelectedRing(), pSegment);

    Dispatch([this] { shell.Frame.Execute(CommitChanges, nullptr); });

    EXPECT_EQ(pPolygon->GetRingCount(), 1);
    EXPECT_EQ(shell.View.GetSelectedPolygon(), pPolygon);
    EXPECT_EQ(shell.View.GetSelectedRing(), nullptr);
    EXPECT_EQ(shell.View.GetSelectedEdge(), -1);
    EXPECT_EQ(shell.View.GetSelectionBounds(), Arealis::Rectangle(60, 60, 90, 90));
}

TEST_F(ControllersTest, CommittingThePolygonBeingBuiltEndsItsConstruction)
{
    Mode(ModeCreate);
    Dispatch([this] { shell.Frame.Execute(CommandId::AddPolygon, nullptr); });
    for (const Arealis::Point& corner :
         std::vector<Arealis::Point>{{60, 60}, {60, 90}, {90, 90}, {90, 60}})
    {
        Down(corner);
    }
    Dispatch([this] { shell.Frame.Execute(AddRing, nullptr); });
    Down({70, 70}); // a ring of one vertex, removed by the commit
    Arealis::Polygon* pPolygon = Create().GetPolygon();

    Dispatch([this] { shell.Frame.Execute(CommitChanges, nullptr); });
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text.rfind("Commit time ", 0), 0U);
    EXPECT_FALSE(Create().IsActive());

    // Further clicks and rings go nowhere until "Add Polygon".
    Down({75, 75});
    Dispatch([this] { shell.Frame.Execute(AddRing, nullptr); });
    Down({80, 80});
    EXPECT_EQ(pPolygon->GetRingCount(), 1);
    EXPECT_EQ(pPolygon->GetNodeCount(), 4);
    EXPECT_FALSE(pPolygon->IsEditing());
    EXPECT_EQ(shell.Platform.Boxes.size(), 1U);
}

} // namespace
} // namespace Orvista
