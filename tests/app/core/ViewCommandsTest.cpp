#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Commands.h"
#include "Fakes.h"
#include "RegressionRun.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace Orvista
{
namespace
{

using namespace Testing;
using namespace CommandId;

// The view of 100 x 100 pixels on the world square (0, 0)-(100, 100) with layer a.shp: two
// squares side by side; b.shp, which some cases open, holds a small square inside the first.
class ViewCommandsTest : public ::testing::Test
{
protected:
    ViewCommandsTest()
    {
        shell.Reader.Files["a.shp"] = {{Square(10, 10, 20)}, {Square(30, 10, 20)}};
        shell.Reader.Files["b.shp"] = {{Square(15, 15, 5)}};
        shell.Open("a.shp");
        shell.Window.Client = {100, 100};
        shell.View.ZoomToRectangle(Arealis::Rectangle(0, 0, 100, 100));
    }

    // The polygon of the layer whose bounds start at the corner.
    static Arealis::Polygon* PolygonAt(const DisplayLayer& layer, double minX, double minY)
    {
        Arealis::PolygonEnumerator polygons = layer.GetPolygonLayer()->GetPolygons();
        while (polygons.MoveNext())
        {
            if (polygons.Current()->GetBounds().MinX == minX &&
                polygons.Current()->GetBounds().MinY == minY)
            {
                return polygons.Current();
            }
        }
        return nullptr;
    }

    void Pick(Arealis::Polygon* pFirst, Arealis::Polygon* pSecond)
    {
        BooleanOperands& operands = shell.View.GetBooleanOperands();
        operands.pFirst = pFirst;
        operands.FirstChosen = pFirst != nullptr;
        operands.pSecond = pSecond;
        operands.SecondChosen = pSecond != nullptr;
    }

    void Run(int id)
    {
        Dispatch([this, id] { shell.Frame.Execute(id, nullptr); });
    }

    Arealis::PolygonLayer& LayerA() const { return *shell.Layer(0).GetPolygonLayer(); }

    // The platform's clock advances 1.5 seconds at every reading from now on.
    void StepTheClock() { shell.Platform.TickStep = 1500; }

    // Answers the set-operation dialog with its first proposal and OK.
    void AcceptDialogs()
    {
        shell.Platform.SetOperationDialog = AcceptProposals;
    }

    Shell shell;
};

// --- Boolean polygon operations ----------------------------------------------------------------

TEST_F(ViewCommandsTest, ABooleanOperationReportsMillisecondsAndBothVertexCounts)
{
    StepTheClock();
    shell.Frame.Execute(ModeBooleanSelection, nullptr);
    Arealis::PolygonEnumerator polygons = LayerA().GetPolygons();
    ASSERT_TRUE(polygons.MoveNext());
    Arealis::Polygon* pA = polygons.Current();
    ASSERT_TRUE(polygons.MoveNext());
    Arealis::Polygon* pB = polygons.Current();
    pA->GetFirstRing()->InsertNode(1, pA->GetBounds().MinX, pA->GetBounds().MinY + 5);
    BooleanOperands& operands = shell.View.GetBooleanOperands();
    operands = {pA, pB, nullptr, true, true, false};
    const int before = LayerA().GetPolygonCount();

    Run(BooleanIntersect);

    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Operation  time 1500.000000 ms, count1 = 5, count2 = 4");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Ok);
    EXPECT_TRUE(operands.ResultValid);
    EXPECT_EQ(LayerA().GetPolygonCount(), before + (operands.pResult != nullptr ? 1 : 0));
    // The result, on top of its operands, is selected and named in the status bar.
    EXPECT_EQ(shell.Platform.StatusText.rfind("Intersection", 0), 0U) << shell.Platform.StatusText;
    if (operands.pResult != nullptr && !operands.pResult->IsEmpty())
    {
        EXPECT_EQ(shell.View.GetSelectedPolygon(), operands.pResult);
    }
    // The current layer is drawn again with the result.
    EXPECT_FALSE(shell.Layer(0).Rendered);
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
}

TEST_F(ViewCommandsTest, ABooleanOperationWithOneOperandAsksForTwoAndAddsNothing)
{
    shell.Frame.Execute(ModeBooleanSelection, nullptr);
    DisplayLayer& layer = shell.Layer(0);
    Pick(PolygonAt(layer, 10, 10), nullptr);
    const int before = layer.GetPolygonLayer()->GetPolygonCount();

    Run(BooleanUnion);

    EXPECT_TRUE(shell.Platform.Boxes.empty());
    EXPECT_EQ(shell.Platform.StatusText, COrvistaView::PickTwoPolygons);
    EXPECT_EQ(layer.GetPolygonLayer()->GetPolygonCount(), before);
    EXPECT_FALSE(shell.View.GetBooleanOperands().ResultValid);
}

// --- Commit -----------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, CommitReportsSecondsWithSixDecimals)
{
    StepTheClock();
    // An empty polygon cannot be committed.
    LayerA().CreatePolygon()->CreateRing();
    Run(CommitChanges);

    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "The topology contains invalid polygons.");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Ok);
    EXPECT_EQ(shell.Platform.WaitCursorDepth, 0);

    shell.Platform.Boxes.clear();
    Arealis::PolygonEnumerator polygons = LayerA().GetPolygons();
    while (polygons.MoveNext())
    {
        if (polygons.Current()->IsEmpty())
        {
            LayerA().DeletePolygon(polygons.Current());
            break;
        }
    }
    Run(CommitChanges);
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Commit time 1.500000");
}

// --- Unite all polygons -------------------------------------------------------------------

TEST_F(ViewCommandsTest, UnitingAllPolygonsWithoutATreeSelectionNamesTheResultAfterTheCurrentLayer)
{
    ASSERT_EQ(shell.TreeControl.pSelected, nullptr);

    shell.View.OnUniteAllPolygons();

    DisplayLayer* pUnited = shell.FindLayer("a_union");
    ASSERT_NE(pUnited, nullptr);
    EXPECT_EQ(pUnited->GetPolygonLayer()->GetPolygonCount(), 1);
    EXPECT_EQ(pUnited->GetPolygonLayer()->GetBounds(), Arealis::Rectangle(10, 10, 50, 30));
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Operation duration: 0.00 s; united polygon count: 2");
}

TEST_F(ViewCommandsTest, UnitingAnEmptyCurrentLayerDoesNothing)
{
    shell.Document.OnNewTopology();

    Dispatch([this] { shell.View.OnUniteAllPolygons(); });

    EXPECT_EQ(shell.FindLayer("Topology #0_union"), nullptr);
    EXPECT_EQ(shell.Document.GetLayers().size(), 2U);
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

// --- Parents --------------------------------------------------------------------------------

TEST_F(ViewCommandsTest, ShowParentsOutlinesThemAndClearParentsForgetsThem)
{
    DisplayLayer& layer = shell.Layer(0);
    Arealis::Polygon* pA = PolygonAt(layer, 10, 10);
    Arealis::Polygon* pB = PolygonAt(layer, 30, 10);
    Arealis::Polygon* pUnion = layer.GetPolygonLayer()->Union(pA, pB, true);
    ASSERT_NE(pUnion, nullptr);
    shell.Frame.Execute(ModeSelect, nullptr);
    shell.View.SetSelection(pUnion, nullptr, -1, nullptr);

    Run(ShowParents);
    EXPECT_EQ(shell.Window.DirectDrawings, 1);
    const std::vector<DrawCall> pens = shell.Window.Direct.Only(DrawCall::Kind::Pen);
    ASSERT_FALSE(pens.empty());
    EXPECT_EQ(pens.front().Paint, COrvistaView::ParentOutlineColour);
    // Two squares of four edges each.
    EXPECT_EQ(shell.Window.Direct.Only(DrawCall::Kind::Line).size(), 8U);

    Run(ClearParents);
    EXPECT_FALSE(pA->IsUsed());
    shell.Window.Direct.Calls.clear();
    Run(ShowParents);
    EXPECT_TRUE(shell.Window.Direct.Only(DrawCall::Kind::Line).empty());
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

// --- Compare and the layer utility ------------------------------------------------------------

TEST_F(ViewCommandsTest, ComparingTwoLayersSaysWhetherTheFirstOnesPolygonsAreInTheSecond)
{
    shell.Reader.Files["same.shp"] = {{Square(30, 10, 20)}, {Square(10, 10, 20)}};
    shell.Open("same.shp");
    AcceptDialogs();

    // The list reads same.shp, a.shp: the first is compared with the second.
    Run(CompareLayers);
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "The topologies are EQUAL");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Ok);
    DisplayLayer* pResult = shell.FindLayer("same_a_Undefined operation");
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetPolygonCount(), 0);
    EXPECT_EQ(shell.TreeControl.Texts().front(), "same_a_Undefined operation");

    shell.Open("b.shp");
    shell.Platform.Boxes.clear();
    Run(CompareLayers);
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "The topologies are NOT equal");
    // The polygon of b.shp that the other layer lacks is kept in the result layer.
    pResult = shell.FindLayer("b_same_a_Undefined operation_Undefined operation");
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetPolygonCount(), 1);
}

TEST_F(ViewCommandsTest, TheLayerUtilityCollectsThePolygonsOfTheSecondLayerUnderTheFirst)
{
    shell.Open("b.shp");
    AcceptDialogs();

    Run(LayerUtility);

    DisplayLayer* pResult = shell.FindLayer("b_a_Undefined operation");
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetPolygonCount(), 1);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetBounds(), Arealis::Rectangle(10, 10, 30, 30));
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

// --- Regression suite -------------------------------------------------------------------------

class RegressionRunTest : public ::testing::Test
{
public:
    RegressionRunTest()
    {
        const char* pSource = std::getenv("AREALIS_SOURCE_DIR");
        catalogue = std::filesystem::path(pSource != nullptr ? pSource : AREALIS_SOURCE_ROOT) /
                    "data" / "regression";
        scratch = std::filesystem::temp_directory_path() /
                  ("orvista-regression-" + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(scratch);
        std::filesystem::create_directories(scratch / "tests");
        for (const auto& entry : std::filesystem::directory_iterator(catalogue))
        {
            if (entry.path().extension() == ".shp")
            {
                std::filesystem::copy_file(entry.path(),
                                           scratch / "tests" / entry.path().filename());
            }
        }
    }
    ~RegressionRunTest() override { std::filesystem::remove_all(scratch); }

protected:
    std::filesystem::path catalogue;
    std::filesystem::path scratch;
    FakePlatform platform;
};

TEST_F(RegressionRunTest, TheSuiteRunsInTheTestFolderAndEndsWithCompleted)
{
    const std::string log =
        RunRegressionSuite(platform, {(scratch / "tests").string(), (scratch / "copy").string()});

    EXPECT_EQ(log, (scratch / "tests" / "TestLog.log").string());
    // The reader reports the invalid polygons of the validation files on the way.
    ASSERT_FALSE(platform.Boxes.empty());
    EXPECT_EQ(platform.Boxes.back().Text, "Completed");
    EXPECT_EQ(platform.Boxes.back().Caption, "Test");
    EXPECT_EQ(platform.WaitCursorDepth, 0);
    std::ifstream in(log);
    std::string line;
    std::string last;
    while (std::getline(in, line))
    {
        last = line;
    }
    EXPECT_EQ(last, "All test PASSED");
    EXPECT_FALSE(std::filesystem::exists(scratch / "copy"));
}

TEST_F(RegressionRunTest, ResultsThatLoseExpectedPolygonsAreNamedWhereTheLogPasses)
{
    // The join's expected file holds every piece of the intersection's and more.
    std::filesystem::copy_file(scratch / "tests" / "attr_fem_small_join.shp",
                               scratch / "tests" / "attr_fem_small_int.shp",
                               std::filesystem::copy_options::overwrite_existing);

    RunRegressionSuite(platform, {(scratch / "tests").string(), (scratch / "copy").string()});

    ASSERT_GE(platform.Boxes.size(), 2U);
    EXPECT_EQ(platform.Boxes[platform.Boxes.size() - 2].Text, "Completed");
    const ShownBox& findings = platform.Boxes.back();
    EXPECT_EQ(findings.Text.rfind("The run is not complete: 1 findings beyond the log.\n"
                                  "topology intersection attr_small.shp , fem_small.shp -> "
                                  "attr_fem_small_int.shp: ",
                                  0),
              0U)
        << findings.Text;
    EXPECT_EQ(findings.Caption, "Test");
}

TEST_F(RegressionRunTest, AFolderThatCannotTakeTheLogRunsOnAWritableCopy)
{
    // A folder in the log's place: the log cannot be written there, as in a read-only folder.
    std::filesystem::create_directory(scratch / "tests" / "TestLog.log");

    const std::string log =
        RunRegressionSuite(platform, {(scratch / "tests").string(), (scratch / "copy").string()});

    EXPECT_EQ(log, (scratch / "copy" / "TestLog.log").string());
    EXPECT_TRUE(std::filesystem::is_regular_file(log));
    ASSERT_GE(platform.Boxes.size(), 2U);
    const ShownBox& completed = platform.Boxes[platform.Boxes.size() - 2];
    const ShownBox& where = platform.Boxes.back();
    EXPECT_EQ(completed.Text, "Completed");
    EXPECT_NE(where.Text.find(log), std::string::npos) << where.Text;
    EXPECT_EQ(where.Caption, "Test");
}

TEST_F(ViewCommandsTest, StartTestRunsTheSuiteOnTheViewsFolder)
{
    shell.View.SetTestFilesFolders({"/nonexistent/orvista/tests", {}});

    Run(StartTest);

    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Error execution");
    EXPECT_EQ(shell.Platform.Boxes[0].Caption, "Test");
}

} // namespace
} // namespace Orvista
