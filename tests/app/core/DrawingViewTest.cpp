#include "Arealis/GeometryExceptions.h"
#include "Arealis/Topology.h"
#include "Fakes.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using namespace Testing;

constexpr Colour Fill{10, 20, 30};
constexpr Colour Dot{200, 0, 0};

// A view of 100 x 100 pixels showing the world square (0, 0)-(100, 100): one unit per pixel,
// pixel (x, y) at world (x, 100 - y).
class DrawingViewTest : public ::testing::Test
{
public:
    DrawingViewTest()
    {
        shell.Window.Client = {100, 100};
        shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
    }
    ~DrawingViewTest() override { Arealis::Topology::Delete(pTopology); }

protected:
    Arealis::Polygon& Make(const PolygonRings& rings) { return *AddPolygon(*pLayer, rings); }
    void Draw(Arealis::Polygon& polygon) { shell.View.DrawPolygon(canvas, polygon, Fill, Dot); }

    Shell shell;
    RecordingCanvas canvas;
    Arealis::Topology* pTopology = Arealis::Topology::Create();
    Arealis::PolygonLayer* pLayer = pTopology->CreatePolygonLayer(true);
};

TEST_F(DrawingViewTest, APolygonOnePixelWideIsDrawnAsFourDots)
{
    Draw(Make({{{10.2, 80.5}, {10.2, 90.5}, {10.7, 90.5}, {10.7, 80.5}}}));

    EXPECT_EQ(canvas.Pixels(), (std::vector<PixelPoint>{{10, 9}, {10, 19}, {10, 19}, {10, 9}}));
    for (const DrawCall& call : canvas.Only(DrawCall::Kind::Pixel))
    {
        EXPECT_EQ(call.Paint, Dot);
    }
    EXPECT_TRUE(canvas.Only(DrawCall::Kind::Line).empty());
    EXPECT_TRUE(canvas.Only(DrawCall::Kind::Fill).empty());
}

TEST_F(DrawingViewTest, ATriangleOnTwoPixelsIsOutlinedButNotFilled)
{
    // Two corners fall on pixel (10, 9), the third on (20, 19).
    Draw(Make({{{10.1, 90.9}, {20.5, 80.5}, {10.8, 90.2}}}));

    EXPECT_EQ(canvas.Only(DrawCall::Kind::Move).at(0).Point, (PixelPoint{10, 9}));
    EXPECT_EQ(canvas.LineEnds(), (std::vector<PixelPoint>{{20, 19}, {10, 9}}));
    EXPECT_TRUE(canvas.Only(DrawCall::Kind::Fill).empty());
}

TEST_F(DrawingViewTest, ASquareIsOutlinedThenFilledThroughTheMask)
{
    Draw(Make({Square(10, 10, 20)}));

    EXPECT_EQ(canvas.LineEnds(), (std::vector<PixelPoint>{{10, 70}, {30, 70}, {30, 90}, {10, 90}}));
    const std::vector<DrawCall> fills = canvas.Only(DrawCall::Kind::Fill);
    ASSERT_EQ(fills.size(), 1U);
    EXPECT_EQ(fills[0].Op, RasterOp::MaskPen);
    EXPECT_EQ(fills[0].Paint, Fill);
    EXPECT_EQ(fills[0].RingSizes, std::vector<int>{5});
    // The outline comes first, so the fill darkens it instead of covering it.
    EXPECT_EQ(canvas.Calls.back().What, DrawCall::Kind::Fill);
}

TEST_F(DrawingViewTest, HolesJoinTheFillRegionAndTinyRingsBecomeDots)
{
    const RingPoints hole{{40, 40}, {60, 40}, {60, 60}, {40, 60}};
    const RingPoints tinyHole{{20.1, 20.1}, {20.6, 20.1}, {20.6, 20.6}, {20.1, 20.6}};
    Draw(Make({Square(10, 10, 80), hole, tinyHole}));

    const std::vector<DrawCall> fills = canvas.Only(DrawCall::Kind::Fill);
    ASSERT_EQ(fills.size(), 1U);
    EXPECT_EQ(fills[0].RingSizes, (std::vector<int>{5, 5}));
    EXPECT_EQ(canvas.Pixels(), (std::vector<PixelPoint>{{20, 79}}));
}

TEST_F(DrawingViewTest, VerticesOnOnePixelAreDrawnOnce)
{
    Draw(Make({{{10, 10}, {10, 30}, {10.3, 29.8}, {30, 30}, {30, 10}}}));

    EXPECT_EQ(canvas.LineEnds(), (std::vector<PixelPoint>{{10, 70}, {30, 70}, {30, 90}, {10, 90}}));
}

TEST_F(DrawingViewTest, AHugePolygonIsClippedToTheWindowFrame)
{
    // Layers of any precision, one after the other: the frame follows each.
    for (const Arealis::Precision precision :
         {Arealis::Precision{}, Arealis::Precision::Geographic(), Arealis::Precision{}})
    {
        Arealis::Topology* pOwn = Arealis::Topology::Create();
        pOwn->SetPrecision(precision);
        Arealis::PolygonLayer* pOwnLayer = pOwn->CreatePolygonLayer(true);
        Arealis::Polygon& huge = *AddPolygon(*pOwnLayer, {Square(-100000, -100000, 200000)});
        pOwnLayer->Commit();
        canvas.Calls.clear();
        Draw(huge);

        const std::vector<DrawCall> fills = canvas.Only(DrawCall::Kind::Fill);
        ASSERT_EQ(fills.size(), 1U);
        for (const PixelPoint& point : fills[0].Points)
        {
            EXPECT_LE(std::abs(point.X), 110);
            EXPECT_LE(std::abs(point.Y), 110);
        }
        // The clipped copy does not stay behind in the scratch layer: only the frame is there.
        EXPECT_EQ(shell.View.GetClipFrame()->GetLayer()->GetPolygonCount(), 1);
        Arealis::Topology::Delete(pOwn);
    }
}

TEST_F(DrawingViewTest, AHugeInvalidPolygonIsDrawnWholeAndLeftAsItIs)
{
    // A bow tie: its ring crosses itself, so the polygon stays in the edit list.
    Arealis::Polygon& bowTie =
        Make({{{-100000, -100000}, {-100000, 100000}, {100000, -100000}, {100000, 100000}}});
    EXPECT_THROW(pLayer->Commit(), Arealis::InvalidPolygonException);
    ASSERT_TRUE(bowTie.IsEditing());

    Draw(bowTie);

    EXPECT_TRUE(bowTie.IsEditing());
    EXPECT_EQ(pLayer->GetEditingCount(), 1);
    EXPECT_FALSE(canvas.Only(DrawCall::Kind::Line).empty());
    EXPECT_EQ(shell.View.GetClipFrame()->GetLayer()->GetPolygonCount(), 1);
}

TEST_F(DrawingViewTest, TheFramePolygonLiesTwoPixelsOutsideTheWindow)
{
    const Arealis::Polygon* pFrame = shell.View.GetClipFrame()->GetFrame();
    ASSERT_NE(pFrame, nullptr);
    EXPECT_EQ(pFrame->GetBounds(), Arealis::Rectangle(-2, -2, 102, 102));
    EXPECT_GT(pFrame->GetSignedArea(), 0.0);

    // Zooming again replaces the frame.
    shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 50, 50));
    EXPECT_EQ(shell.View.GetClipFrame()->GetLayer()->GetPolygonCount(), 1);
    EXPECT_EQ(shell.View.GetClipFrame()->GetFrame()->GetBounds(),
              Arealis::Rectangle(-1, -1, 51, 51));
}

TEST_F(DrawingViewTest, ZoomingToAPointNeedsNoFrame)
{
    shell.View.ZoomToRectangle(Arealis::Rectangle(5, 5, 5, 5));
    EXPECT_EQ(shell.View.GetClipFrame()->GetFrame(), nullptr);
    // Drawing still works, without clipping.
    Draw(Make({Square(0, 0, 10)}));
}

class ComposeTest : public ::testing::Test
{
protected:
    ComposeTest()
    {
        shell.Reader.Files["lower.shp"] = {{Square(0, 0, 50)}};
        shell.Reader.Files["upper.shp"] = {{Square(25, 25, 50)}};
        shell.Open("lower.shp");
        shell.Open("upper.shp");
        shell.Window.Client = {100, 100};
        shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
    }

    // The pictures copied into the view bitmap by the last paint, in order.
    std::vector<const IBitmap*> Composed()
    {
        RecordingCanvas window;
        shell.View.OnDraw(window);
        std::vector<const IBitmap*> pictures;
        const auto& bitmap = dynamic_cast<const RecordingBitmap&>(*shell.View.GetViewBitmap());
        EXPECT_TRUE(bitmap.Size() == shell.Window.Client) << "the view bitmap covers the window";
        for (const DrawCall& call : bitmap.Recorder.Only(DrawCall::Kind::Transparent))
        {
            EXPECT_EQ(call.Paint, White);
            pictures.push_back(call.pSource);
        }
        return pictures;
    }

    Shell shell;
};

TEST_F(ComposeTest, LayersAreComposedInListOrderAndHiddenOnesAreLeftOut)
{
    DisplayLayer& lower = shell.Named("lower.shp");
    DisplayLayer& upper = shell.Named("upper.shp");
    const std::vector<const IBitmap*> both = Composed();
    EXPECT_EQ(both, (std::vector<const IBitmap*>{lower.Picture(), upper.Picture()}));
    EXPECT_FALSE(shell.View.IsRedrawNeeded());
    EXPECT_FALSE(lower.Dirty);

    shell.Tree.OnCheckBoxClicked(lower, false);
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
    EXPECT_EQ(Composed(), std::vector<const IBitmap*>{upper.Picture()});

    // Checking it again shows it again and makes it the current layer.
    shell.Tree.OnCheckBoxClicked(lower, true);
    EXPECT_EQ(Composed(), both);
    EXPECT_EQ(shell.Document.GetCurrentLayer(), &lower);
}

TEST_F(ComposeTest, UnchangedLayersAreNotDrawnAgain)
{
    Composed();
    const IBitmap* pBefore = shell.Named("lower.shp").Picture();
    shell.View.SetRedrawNeeded(true);
    Composed();
    EXPECT_EQ(shell.Named("lower.shp").Picture(), pBefore);

    // A zoom draws every visible layer again.
    shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 50, 50));
    Composed();
    EXPECT_NE(shell.Named("lower.shp").Picture(), pBefore);
}

TEST_F(ComposeTest, TheSelectionIsDrawnRightAfterItsLayer)
{
    DisplayLayer& lower = shell.Named("lower.shp");
    Arealis::PolygonEnumerator polygons = lower.GetPolygonLayer()->GetPolygons();
    ASSERT_TRUE(polygons.MoveNext());
    shell.View.SetSelectionLayer(&lower);
    shell.View.SetSelection(polygons.Current(), nullptr, -1, nullptr);
    // The old and the new selection are repainted with a margin of 7 pixels.
    ASSERT_EQ(shell.Window.InvalidatedRects.size(), 1U);
    EXPECT_EQ(shell.Window.InvalidatedRects[0], (PixelRect{-7, 43, 57, 107}));

    RecordingCanvas window;
    shell.View.OnDraw(window);
    const auto& bitmap = dynamic_cast<const RecordingBitmap&>(*shell.View.GetViewBitmap());
    std::vector<DrawCall::Kind> kinds;
    for (const DrawCall& call : bitmap.Recorder.Calls)
    {
        if (call.What == DrawCall::Kind::Transparent || call.What == DrawCall::Kind::Fill)
        {
            kinds.push_back(call.What);
        }
    }
    EXPECT_EQ(kinds, (std::vector<DrawCall::Kind>{DrawCall::Kind::Transparent, DrawCall::Kind::Fill,
                                                  DrawCall::Kind::Transparent}));
    EXPECT_EQ(bitmap.Recorder.Only(DrawCall::Kind::Fill)[0].Paint, Red);
}

TEST_F(ComposeTest, ResizingStretchesThePictureUntilTheSizeSettles)
{
    RecordingCanvas window;
    shell.View.OnDraw(window);
    shell.Frame.OnViewSizing(); // the initial layout
    shell.Window.Client = {200, 100};
    shell.Frame.OnViewSizing();
    EXPECT_FALSE(shell.View.IsRedrawNeeded());
    const IBitmap* pOld = shell.View.GetViewBitmap();
    shell.View.OnDraw(window);
    EXPECT_EQ(shell.View.GetViewBitmap(), pOld);
    EXPECT_EQ(window.Only(DrawCall::Kind::Stretched).back().pSource, pOld);

    shell.Frame.OnViewSizeSettled();
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
    EXPECT_EQ(shell.View.GetRequestedRectangle(), Arealis::Rectangle(0, 0, 100, 100));
    EXPECT_EQ(shell.View.GetMapping().VisibleRectangle(), Arealis::Rectangle(-50, 0, 150, 100));
}

TEST_F(ComposeTest, AMoveOverManyPolygonsIsOutlinedCoarselyUntilTheViewRests)
{
    DisplayLayer& lower = shell.Named("lower.shp");
    const auto drawn = [&lower](DrawCall::Kind kind)
    { return dynamic_cast<const RecordingBitmap&>(*lower.Picture()).Recorder.Only(kind); };
    shell.View.SetDraftWhileMoving(true, 0);
    shell.View.ZoomToRectangle(Arealis::Rectangle(-100, -100, 200, 200));
    Composed();
    EXPECT_TRUE(shell.View.IsMoving());
    EXPECT_TRUE(lower.Draft);
    ASSERT_EQ(drawn(DrawCall::Kind::Segments).size(), 1U);
    EXPECT_EQ(drawn(DrawCall::Kind::Segments)[0].Points.size(), 8U); // the square's four sides
    EXPECT_TRUE(drawn(DrawCall::Kind::Fill).empty());

    // At rest every coarse picture is replaced by the full drawing.
    shell.View.SettleView();
    EXPECT_FALSE(shell.View.IsMoving());
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
    Composed();
    EXPECT_FALSE(lower.Draft);
    EXPECT_TRUE(drawn(DrawCall::Kind::Segments).empty());
    EXPECT_EQ(drawn(DrawCall::Kind::Fill).size(), 1U);

    // Layers of few polygons are drawn fully at once.
    shell.View.SetDraftWhileMoving(true, 1);
    shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
    Composed();
    EXPECT_FALSE(lower.Draft);
    EXPECT_EQ(drawn(DrawCall::Kind::Fill).size(), 1U);
}

TEST_F(ComposeTest, AColourChangeRedrawsOnlyAVisibleLayer)
{
    DisplayLayer& lower = shell.Named("lower.shp");
    Composed();
    const Colour original = lower.FillColour();
    shell.Platform.ColourAnswers = {Colour{1, 2, 3}};
    shell.Tree.OnSwatchClicked(lower);

    EXPECT_EQ(shell.Platform.LastInitialColour, original);
    EXPECT_EQ(lower.FillColour(), (Colour{1, 2, 3}));
    EXPECT_TRUE(lower.Dirty);
    EXPECT_FALSE(lower.Rendered);
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
    EXPECT_EQ(shell.TreeControl.RefreshedSwatches, std::vector<const DisplayLayer*>{&lower});

    // An unchecked layer changes colour without a redraw.
    Composed();
    shell.Tree.OnCheckBoxClicked(lower, false);
    Composed();
    shell.Platform.ColourAnswers = {Colour{4, 5, 6}};
    shell.Tree.OnSwatchClicked(lower);
    EXPECT_EQ(lower.FillColour(), (Colour{4, 5, 6}));
    EXPECT_FALSE(shell.View.IsRedrawNeeded());

    // Cancelling the colour dialog changes nothing.
    shell.Tree.OnSwatchClicked(lower);
    EXPECT_EQ(lower.FillColour(), (Colour{4, 5, 6}));
}

TEST_F(ComposeTest, TheTreeSelectionSelectsTheSameNameInTheWorkingTopologyList)
{
    shell.TreeControl.pSelected = shell.FindLayer("lower.shp");
    shell.Tree.OnSelectionChanged();
    EXPECT_EQ(shell.WorkingTopology.GetText(shell.WorkingTopology.GetCurSel()), "lower.shp");
}

} // namespace
} // namespace Orvista
