#include "Commands.h"
#include "Fakes.h"

#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using namespace Testing;
using namespace CommandId;

class SetOperationDialogTest : public ::testing::Test
{
protected:
    // Layers a.shp (one polygon), b.shp (one polygon) and many.shp (two polygons), opened in
    // the order many, b, a so that the Working Topology list reads a, b, many.
    SetOperationDialogTest()
    {
        shell.Reader.Files["many.shp"] = {{Square(0, 0, 10)}, {Square(20, 0, 10)}};
        shell.Reader.Files["b.shp"] = {{Square(5, 5, 10)}};
        shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
        for (const char* name : {"many.shp", "b.shp", "a.shp"})
        {
            shell.Open(name);
        }
    }

    Shell shell;
    FakeSetOperationWindow window;
};

TEST_F(SetOperationDialogTest, ProposesANameFromTheTwoLayersAndTheOperation)
{
    CSetOperationDlg dialog(shell.View, IntersectLayers);
    dialog.OnInitDialog(window);

    EXPECT_EQ(window.Title, "Intersection");
    EXPECT_EQ(window.First.Texts(), (std::vector<std::string>{"a.shp", "b.shp", "many.shp"}));
    EXPECT_EQ(window.First.GetText(window.First.GetCurSel()), "a.shp");
    EXPECT_EQ(window.Second.GetText(window.Second.GetCurSel()), "b.shp");
    EXPECT_EQ(window.Result.GetText(window.Result.GetCurSel()), "a_b_Intersection");
    EXPECT_FALSE(window.ResultEnabled);

    // A new choice replaces the proposal instead of adding another one.
    window.Second.SetCurSel(2);
    dialog.OnSelectionChanged();
    EXPECT_EQ(window.Result.Texts(),
              (std::vector<std::string>{"a.shp", "b.shp", "many.shp", "a_many_Intersection"}));
    EXPECT_EQ(window.Result.GetCurSel(), 3);
}

TEST_F(SetOperationDialogTest, NamesDropEveryShpAndKeepFolders)
{
    EXPECT_EQ(CSetOperationDlg::ProposeResultName("/d/a.shp", "/d.shp/b.shp", "Join"),
              "/d/a_/d/b_Join");
    EXPECT_EQ(CSetOperationDlg::ProposeResultName("Topology #0", "x", "Subtraction"),
              "Topology #0_x_Subtraction");
    CSetOperationDlg other(shell.View, CompareLayers);
    EXPECT_EQ(other.GetOperationName(), "Undefined operation");
}

TEST_F(SetOperationDialogTest, UnionOffersOnlyLayersWithOnePolygon)
{
    CSetOperationDlg dialog(shell.View, UniteTwoLayers);
    dialog.OnInitDialog(window);

    EXPECT_EQ(window.Title, "Union");
    EXPECT_EQ(window.First.Texts(), (std::vector<std::string>{"a.shp", "b.shp"}));
    EXPECT_EQ(window.Second.Texts(), (std::vector<std::string>{"a.shp", "b.shp"}));
}

TEST_F(SetOperationDialogTest, OkCreatesTheResultLayerAndFillsTheViewsSlots)
{
    CSetOperationDlg dialog(shell.View, IntersectLayers);
    dialog.OnInitDialog(window);
    dialog.OnOK();

    ASSERT_EQ(window.Ended, DialogResult::Ok);
    EXPECT_TRUE(dialog.IsAccepted());
    DisplayLayer* pResult = shell.FindLayer("a_b_Intersection");
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(shell.WorkingTopology.GetText(0), "a_b_Intersection");
    EXPECT_EQ(shell.WorkingTopology.GetCurSel(), 0);
    const LayerOperationSlots& slots = shell.View.GetLayerOperationSlots();
    EXPECT_EQ(slots.pFirst, shell.Named("a.shp").GetPolygonLayer());
    EXPECT_EQ(slots.pSecond, shell.Named("b.shp").GetPolygonLayer());
    EXPECT_EQ(slots.pResultLayer, pResult);
    EXPECT_EQ(slots.pResult, pResult->GetPolygonLayer());
    EXPECT_TRUE(slots.Ready);
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

TEST_F(SetOperationDialogTest, TheSameLayerTwiceIsRefused)
{
    CSetOperationDlg dialog(shell.View, JoinLayers);
    dialog.OnInitDialog(window);
    window.Second.SetCurSel(0);
    dialog.OnSelectionChanged();
    dialog.OnOK();

    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Selected layers should be different");
    EXPECT_EQ(shell.Platform.Boxes[0].Caption, "Arealis Demo");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Exclamation);
    EXPECT_EQ(window.Ended, DialogResult::Cancel);
    EXPECT_EQ(shell.Document.GetLayers().size(), 3U);
    EXPECT_FALSE(dialog.IsAccepted());
}

TEST_F(SetOperationDialogTest, ANameInUseIsRefusedAlsoWhenTheListLeavesItsLayerOut)
{
    // The two-polygon layer "a_b_Union" is not offered to Union, but its name is taken.
    shell.Reader.Files["a_b_Union"] = {{Square(0, 0, 1)}, {Square(5, 5, 1)}};
    shell.Open("a_b_Union");

    CSetOperationDlg dialog(shell.View, UniteTwoLayers);
    dialog.OnInitDialog(window);
    ASSERT_EQ(window.Result.GetText(window.Result.GetCurSel()), "a_b_Union");
    dialog.OnOK();

    EXPECT_EQ(shell.Platform.BoxTexts(),
              std::vector<std::string>{"The result of the operation already exists as a "
                                       "layer!"});
    EXPECT_EQ(window.Ended, DialogResult::Cancel);
    EXPECT_EQ(shell.Document.GetLayers().size(), 4U);
}

TEST_F(SetOperationDialogTest, RepeatingAnOperationProposesTheExistingResultAndIsRefused)
{
    {
        CSetOperationDlg first(shell.View, SubtractLayers);
        FakeSetOperationWindow firstWindow;
        first.OnInitDialog(firstWindow);
        first.OnOK();
        ASSERT_EQ(firstWindow.Ended, DialogResult::Ok);
    }
    CSetOperationDlg again(shell.View, SubtractLayers);
    again.OnInitDialog(window);
    // The new result sits on top of the list now, so choose a and b again.
    window.First.SetCurSel(window.First.FindStringExact("a.shp"));
    window.Second.SetCurSel(window.Second.FindStringExact("b.shp"));
    again.OnSelectionChanged();
    again.OnOK();

    EXPECT_EQ(window.Ended, DialogResult::Cancel);
    EXPECT_EQ(shell.Platform.BoxTexts().size(), 1U);
}

TEST_F(SetOperationDialogTest, EnterClosesTheDialogOnlyAfterOk)
{
    CSetOperationDlg dialog(shell.View, IntersectLayers);
    dialog.OnInitDialog(window);
    dialog.OnDefaultOK();
    EXPECT_FALSE(window.Ended.has_value());

    dialog.OnOK();
    window.Ended.reset();
    dialog.OnDefaultOK();
    EXPECT_EQ(window.Ended, DialogResult::Ok);
}

TEST_F(SetOperationDialogTest, CancelClearsTheViewsReadyFlag)
{
    shell.View.GetLayerOperationSlots().Ready = true;
    CSetOperationDlg dialog(shell.View, IntersectLayers);
    dialog.OnInitDialog(window);
    dialog.OnCancel();

    EXPECT_EQ(window.Ended, DialogResult::Cancel);
    EXPECT_FALSE(shell.View.GetLayerOperationSlots().Ready);
    EXPECT_EQ(shell.Document.GetLayers().size(), 3U);
}

TEST(LayerOperationTest, OneLayerStopsAtTheTwoLayerMessageBeforeTheDialog)
{
    Shell shell;
    shell.Document.OnNewTopology();
    bool dialogShown = false;
    shell.Platform.SetOperationDialog = [&](CSetOperationDlg&)
    {
        dialogShown = true;
        return DialogResult::Cancel;
    };

    for (int id : {UniteTwoLayers, IntersectLayers, SubtractLayers, JoinLayers})
    {
        shell.Document.OnCommand(id);
    }

    EXPECT_FALSE(dialogShown);
    ASSERT_EQ(shell.Platform.Boxes.size(), 4U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "This operation needs two layers.");
    EXPECT_EQ(shell.Platform.Boxes[0].Caption, "Arealis Demo");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Exclamation);
}

TEST(LayerOperationTest, UnitingTwoOnePolygonLayersFillsTheResultLayer)
{
    Shell shell;
    shell.Reader.Files["b.shp"] = {{Square(5, 0, 10)}};
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Open("b.shp");
    shell.Open("a.shp");
    shell.Platform.SetOperationDialog = AcceptProposals;
    shell.Platform.Now = 5000;

    shell.Document.OnCommand(UniteTwoLayers);

    DisplayLayer* pResult = shell.FindLayer("a_b_Union");
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetPolygonCount(), 1);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetBounds(), Arealis::Rectangle(0, 0, 15, 10));
    EXPECT_EQ(shell.TreeControl.Texts().front(), "a_b_Union");
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Operation duration: 0.00 s");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Information);
}

TEST(LayerOperationTest, IntersectingTwoLayersMakesTheResultTheNewLayersContent)
{
    Shell shell;
    shell.Reader.Files["b.shp"] = {{Square(5, 5, 10)}, {Square(100, 100, 5)}};
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Open("b.shp");
    shell.Open("a.shp");
    shell.Platform.SetOperationDialog = AcceptProposals;

    shell.Document.OnCommand(IntersectLayers);

    DisplayLayer* pResult = shell.FindLayer("a_b_Intersection");
    ASSERT_NE(pResult, nullptr);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetPolygonCount(), 1);
    EXPECT_EQ(pResult->GetPolygonLayer()->GetBounds(), Arealis::Rectangle(5, 5, 10, 10));
    EXPECT_EQ(shell.Layer(2).Name(), "a_b_Intersection");
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
    // Cancelling the dialog runs nothing.
    shell.Platform.SetOperationDialog = [](CSetOperationDlg&) { return DialogResult::Cancel; };
    shell.Document.OnCommand(JoinLayers);
    EXPECT_EQ(shell.Document.GetLayers().size(), 3U);
}

// Polygons that are not committed take no part; one message says how many were left out,
// and which records.
TEST(LayerOperationTest, PolygonsLeftOutOfAnOperationAreCountedInOneMessage)
{
    Shell shell;
    shell.Reader.Files["b.shp"] = {{Square(5, 5, 10)}, {Square(0, 0, 4)}};
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Open("b.shp");
    shell.Open("a.shp");
    Arealis::PolygonLayer& b = *shell.FindLayer("b.shp")->GetPolygonLayer();
    // Record 1, the small square at the origin, is taken out for editing, as moving one of its
    // nodes does.
    Arealis::PolygonEnumerator polygons = b.GetPolygons(Arealis::Rectangle(0, 0, 1, 1));
    ASSERT_TRUE(polygons.MoveNext());
    b.BeginEdit(polygons.Current());
    shell.Platform.SetOperationDialog = AcceptProposals;

    shell.Document.OnCommand(IntersectLayers);

    EXPECT_EQ(shell.FindLayer("a_b_Intersection")->GetPolygonLayer()->GetPolygonCount(), 1);
    ASSERT_EQ(shell.Platform.Boxes.size(), 2U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text,
              "1 polygons that are not committed (invalid, or being edited) were left out of the "
              "operation: 0 of the first layer, 1 of the second. Records of the second layer: "
              "1. \"Commit changes\" or \"Validate\" shows which.");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Exclamation);
    EXPECT_EQ(shell.Platform.Boxes[1].Text, "Operation duration: 0.00 s");
}

} // namespace
} // namespace Orvista
