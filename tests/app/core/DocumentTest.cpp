#include "Arealis/Topology.h"
#include "Commands.h"
#include "Fakes.h"

#include <gtest/gtest.h>
#include <set>

namespace Orvista
{
namespace
{

using namespace Testing;
using namespace CommandId;

std::string Name(const DisplayLayer* pLayer)
{
    return pLayer != nullptr ? pLayer->Name() : "(none)";
}

TEST(DocumentTest, NewTopologiesAreNumberedFromZeroAndNumbersAreNotReused)
{
    Shell shell;
    shell.Document.OnNewTopology();
    shell.Document.OnNewTopology();

    EXPECT_EQ(shell.WorkingTopology.Texts(),
              (std::vector<std::string>{"Topology #1", "Topology #0"}));
    EXPECT_EQ(shell.TreeControl.Texts(), (std::vector<std::string>{"Topology #1", "Topology #0"}));
    EXPECT_TRUE(shell.TreeControl.Roots[0].Checked);
    EXPECT_EQ(Name(shell.Document.GetCurrentLayer()), "Topology #1");
    EXPECT_TRUE(shell.Document.HasLayers());

    shell.SelectInTree(shell.FindLayer("Topology #1"));
    shell.Document.OnDeleteSelectedLayer();
    shell.Document.OnNewTopology();

    EXPECT_EQ(shell.WorkingTopology.Texts(),
              (std::vector<std::string>{"Topology #2", "Topology #0"}));
    EXPECT_EQ(shell.Document.GetTopologyCounter(), 3);
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

TEST(DocumentTest, TheNinthLayerTakesTheColoursOfTheFirstAgain)
{
    Shell shell;
    for (int i = 0; i < 9; ++i)
    {
        shell.Document.OnNewTopology();
    }
    std::set<std::tuple<int, int, int>> fills;
    for (std::size_t i = 0; i < 8; ++i)
    {
        const Colour fill = shell.Layer(i).FillColour();
        fills.insert({fill.R, fill.G, fill.B});
    }
    EXPECT_EQ(fills.size(), 8U);
    EXPECT_EQ(shell.Layer(8).FillColour(), shell.Layer(0).FillColour());
    EXPECT_EQ(shell.Layer(8).OutlineColour(), shell.Layer(0).OutlineColour());
    EXPECT_NE(shell.Layer(7).OutlineColour(), shell.Layer(0).OutlineColour());
}

TEST(DocumentTest, OpeningAPathThatIsOpenAlreadyIsRefused)
{
    Shell shell;
    shell.Reader.Files["/data/a.shp"] = {{Square(0, 0, 10)}};
    shell.Reader.Files["/data/./a.shp"] = {{Square(0, 0, 10)}};

    shell.Open("/data/a.shp");
    shell.Open("/data/a.shp");

    ASSERT_EQ(shell.Document.GetLayers().size(), 1U);
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "A file with the same name is already opened!");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Ok);
    EXPECT_EQ(shell.Reader.ReadPaths.size(), 1U);
    EXPECT_EQ(shell.Platform.LastFilter, COrvistaDoc::LayerFileFilter);

    // The same file under another path is another layer.
    shell.Open("/data/./a.shp");
    EXPECT_EQ(shell.Document.GetLayers().size(), 2U);
    EXPECT_EQ(shell.Platform.WaitCursorDepth, 0);
}

TEST(DocumentTest, CancellingTheFileDialogOpensNothing)
{
    Shell shell;
    shell.Document.OnOpenLayer();
    EXPECT_TRUE(shell.Document.GetLayers().empty());
    EXPECT_FALSE(shell.Document.HasLayers());
}

TEST(DocumentTest, TheFirstLayerSetsTheZoomAndLaterOnesKeepIt)
{
    Shell shell;
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Reader.Files["b.shp"] = {{Square(100, 100, 10)}};

    shell.Open("a.shp");
    EXPECT_EQ(shell.View.GetRequestedRectangle(), Arealis::Rectangle(0, 0, 10, 10));
    EXPECT_TRUE(shell.View.IsRedrawNeeded());

    shell.Open("b.shp");
    EXPECT_EQ(shell.View.GetRequestedRectangle(), Arealis::Rectangle(0, 0, 10, 10));
    EXPECT_EQ(Name(shell.Document.GetCurrentLayer()), "b.shp");
    EXPECT_EQ(shell.TreeControl.Texts(), (std::vector<std::string>{"b.shp", "a.shp"}));
}

TEST(DocumentTest, AnEmptyFirstLayerLeavesTheZoomAlone)
{
    Shell shell;
    shell.Reader.Files["empty.shp"] = {};
    const Arealis::Rectangle before = shell.View.GetRequestedRectangle();

    shell.Open("empty.shp");

    EXPECT_EQ(shell.Document.GetLayers().size(), 1U);
    EXPECT_EQ(shell.View.GetRequestedRectangle(), before);
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
}

TEST(DocumentTest, AReadErrorConfirmedWithOkAddsNoLayer)
{
    Shell shell;
    shell.Reader.Files["bad.shp"] = {{Square(0, 0, 10)}};
    shell.Reader.Failing = {"bad.shp"};

    shell.Open("bad.shp");

    EXPECT_TRUE(shell.Document.GetLayers().empty());
    EXPECT_TRUE(shell.TreeControl.Roots.empty());
    EXPECT_TRUE(shell.WorkingTopology.Entries.empty());
    // The reader has reported the error itself; the document adds no second box.
    EXPECT_TRUE(shell.Platform.Boxes.empty());
    EXPECT_EQ(shell.Platform.WaitCursorDepth, 0);
}

TEST(DocumentTest, DeletingTheCurrentLayerMakesTheTopOfTheListCurrent)
{
    Shell shell;
    for (const char* name : {"a.shp", "b.shp", "c.shp"})
    {
        shell.Reader.Files[name] = {{Square(0, 0, 10)}};
        shell.Open(name);
    }
    shell.SelectInTree(shell.FindLayer("b.shp"));
    EXPECT_EQ(Name(shell.Document.GetCurrentLayer()), "b.shp");
    EXPECT_EQ(shell.WorkingTopology.GetText(shell.WorkingTopology.GetCurSel()), "b.shp");

    shell.Document.OnDeleteSelectedLayer();

    EXPECT_EQ(shell.TreeControl.Texts(), (std::vector<std::string>{"c.shp", "a.shp"}));
    EXPECT_EQ(shell.WorkingTopology.Texts(), (std::vector<std::string>{"c.shp", "a.shp"}));
    EXPECT_EQ(Name(shell.Document.GetCurrentLayer()), "c.shp");

    for (const char* name : {"c.shp", "a.shp"})
    {
        shell.SelectInTree(shell.FindLayer(name));
        shell.Document.OnDeleteSelectedLayer();
    }
    EXPECT_FALSE(shell.Document.HasLayers());
    EXPECT_EQ(shell.Document.GetCurrentLayer(), nullptr);
    EXPECT_EQ(shell.WorkingTopology.Count(), 0);
    // Without a selection in the tree, deleting does nothing.
    shell.Document.OnDeleteSelectedLayer();
    EXPECT_TRUE(shell.Platform.Boxes.empty());
}

TEST(DocumentTest, DeletingALayerForgetsTheSelectionInIt)
{
    Shell shell;
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Open("a.shp");
    DisplayLayer& layer = shell.Layer(0);
    Arealis::PolygonEnumerator polygons = layer.GetPolygonLayer()->GetPolygons();
    ASSERT_TRUE(polygons.MoveNext());
    Arealis::Polygon* pPolygon = polygons.Current();
    shell.View.SetSelectionLayer(&layer);
    shell.View.SetSelection(pPolygon, pPolygon->GetFirstRing(), 0, pPolygon->GetNode(0));

    shell.SelectInTree(&layer);
    shell.Document.OnDeleteSelectedLayer();

    EXPECT_EQ(shell.View.GetSelectionLayer(), nullptr);
    EXPECT_EQ(shell.View.GetSelectedPolygon(), nullptr);
    EXPECT_EQ(shell.View.GetSelectedRing(), nullptr);
    EXPECT_EQ(shell.View.GetSelectedEdge(), -1);
    EXPECT_EQ(shell.View.GetSelectedNode(), nullptr);
    // The next selection reads the old one's bounds: it must not touch the deleted topology.
    shell.View.SetSelection(nullptr, nullptr, -1, nullptr);
}

// Makes a polygon of a.shp's topology a parent of a polygon in b.shp's topology: a's topology
// then refuses to be deleted while b's exists.
void LinkAsParent(Shell& shell)
{
    Arealis::PolygonEnumerator aPolygons = shell.Named("a.shp").GetPolygonLayer()->GetPolygons();
    Arealis::PolygonEnumerator bPolygons = shell.Named("b.shp").GetPolygonLayer()->GetPolygons();
    ASSERT_TRUE(aPolygons.MoveNext());
    ASSERT_TRUE(bPolygons.MoveNext());
    shell.Named("b.shp").GetPolygonLayer()->Union(aPolygons.Current(), bPolygons.Current(), true);
}

TEST(DocumentTest, ALayerWhoseTopologyRefusesDeletionStays)
{
    Shell shell;
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Reader.Files["b.shp"] = {{Square(5, 5, 10)}};
    shell.Open("a.shp");
    shell.Open("b.shp");
    LinkAsParent(shell);

    shell.SelectInTree(shell.FindLayer("a.shp"));
    shell.Document.OnDeleteSelectedLayer();

    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text,
              "Topology contains polygons that are parents for polygons from other topologies.");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Ok);
    ASSERT_NE(shell.FindLayer("a.shp"), nullptr);
    EXPECT_NE(shell.Named("a.shp").GetPolygonLayer(), nullptr);
    EXPECT_EQ(shell.TreeControl.Texts(), (std::vector<std::string>{"b.shp", "a.shp"}));

    // Once the child's layer is gone, the parent's goes too.
    shell.SelectInTree(shell.FindLayer("b.shp"));
    shell.Document.OnDeleteSelectedLayer();
    shell.SelectInTree(shell.FindLayer("a.shp"));
    shell.Document.OnDeleteSelectedLayer();
    EXPECT_TRUE(shell.Document.GetLayers().empty());
    EXPECT_EQ(shell.Platform.Boxes.size(), 1U);
}

TEST(DocumentTest, DestroyingTheDocumentDeletesTopologiesThatAreParentsToo)
{
    std::vector<std::uint8_t> ids;
    {
        Shell shell;
        shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
        shell.Reader.Files["b.shp"] = {{Square(5, 5, 10)}};
        shell.Open("a.shp");
        shell.Open("b.shp");
        LinkAsParent(shell);
        for (const auto& layer : shell.Document.GetLayers())
        {
            ids.push_back(layer->GetTopology()->GetId());
        }
    }
    for (const std::uint8_t id : ids)
    {
        EXPECT_EQ(Arealis::Topology::FromId(id), nullptr);
    }
}

TEST(DocumentTest, TheTreeSelectionIsTheCurrentLayerAndTheListFollowsIt)
{
    Shell shell;
    shell.Document.OnNewTopology();
    shell.Document.OnNewTopology();
    EXPECT_EQ(Name(shell.Document.GetCurrentLayer()), "Topology #1");

    shell.TreeControl.pSelected = shell.FindLayer("Topology #0");
    EXPECT_EQ(Name(shell.Document.GetCurrentLayer()), "Topology #0");
    EXPECT_EQ(shell.WorkingTopology.GetCurSel(), 1);
    EXPECT_EQ(shell.Document.GetCurrentTopology(), shell.Named("Topology #0").GetTopology());
}

TEST(DocumentTest, LayerCommandsAreEnabledByTheTreeSelectionWhicheverPaneHasTheFocus)
{
    Shell shell;
    shell.Reader.Files["a.shp"] = {{Square(0, 0, 10)}};
    shell.Open("a.shp");
    shell.Document.OnNewTopology(); // empty

    // The drawing view is active at first: the tree's selection counts all the same.
    shell.TreeControl.pSelected = shell.FindLayer("a.shp");
    EXPECT_TRUE(shell.State(DeleteSelectedLayer).Enabled);
    EXPECT_TRUE(shell.State(ZoomToCurrent).Enabled);

    shell.SelectInTree(shell.FindLayer("a.shp"));
    EXPECT_TRUE(shell.State(DeleteSelectedLayer).Enabled);
    EXPECT_TRUE(shell.State(ZoomToCurrent).Enabled);
    EXPECT_TRUE(shell.State(UniteAllPolygons).Enabled);

    // An empty layer cannot be zoomed to.
    shell.SelectInTree(shell.FindLayer("Topology #0"));
    EXPECT_TRUE(shell.State(DeleteSelectedLayer).Enabled);
    EXPECT_FALSE(shell.State(ZoomToCurrent).Enabled);

    shell.SelectInTree(nullptr);
    EXPECT_FALSE(shell.State(DeleteSelectedLayer).Enabled);
}

TEST(DocumentTest, LayerOperationsNeedTwoLayers)
{
    Shell shell;
    shell.Reader.Files["one.shp"] = {{Square(0, 0, 10)}};
    shell.Reader.Files["two.shp"] = {{Square(0, 0, 10)}, {Square(20, 0, 10)}};
    shell.Open("one.shp");
    for (int id : {UniteTwoLayers, IntersectLayers, SubtractLayers, JoinLayers})
    {
        EXPECT_FALSE(shell.State(id).Enabled) << id;
    }

    shell.Open("two.shp");
    EXPECT_TRUE(shell.State(IntersectLayers).Enabled);
    EXPECT_TRUE(shell.State(SubtractLayers).Enabled);
    EXPECT_TRUE(shell.State(JoinLayers).Enabled);
    // Uniting needs two layers of exactly one polygon each.
    EXPECT_FALSE(shell.State(UniteTwoLayers).Enabled);
    shell.Reader.Files["three.shp"] = {{Square(50, 0, 10)}};
    shell.Open("three.shp");
    EXPECT_TRUE(shell.State(UniteTwoLayers).Enabled);
}

TEST(DocumentTest, ModeCommandsNeedLayersAndShowTheActiveMode)
{
    Shell shell;
    EXPECT_FALSE(shell.State(ModeZoomIn).Enabled);
    EXPECT_FALSE(shell.State(ModeSelect).Enabled);
    EXPECT_TRUE(shell.State(ModeCreate).Enabled);
    EXPECT_TRUE(shell.State(FileOpen).Enabled);
    // Commands without a handler stay disabled.
    EXPECT_FALSE(shell.State(EditUndo).Enabled);
    EXPECT_FALSE(shell.State(FileSave).Enabled);

    shell.Document.OnNewTopology();
    EXPECT_TRUE(shell.State(ModeZoomIn).Enabled);
    EXPECT_TRUE(shell.Frame.Execute(ModeZoomOut, nullptr));
    EXPECT_EQ(shell.View.GetMode(), ModeZoomOut);
    EXPECT_TRUE(shell.State(ModeZoomOut).Checked);
    EXPECT_FALSE(shell.State(ModeZoomIn).Checked);

    // The snapping option toggles in the drawing view.
    EXPECT_TRUE(shell.State(SnapByNodeIndex).Checked);
    EXPECT_TRUE(shell.Frame.Execute(SnapByNodeIndex, nullptr));
    EXPECT_FALSE(shell.State(SnapByNodeIndex).Checked);
}

TEST(DocumentTest, UnitingAllPolygonsOfTheSelectedLayerMakesANewLayer)
{
    Shell shell;
    shell.Reader.Files["/d/a.shp"] = {{Square(0, 0, 10)}, {Square(5, 5, 10)}, {Square(40, 0, 5)}};
    shell.Open("/d/a.shp");
    shell.SelectInTree(&shell.Named("/d/a.shp"));
    ASSERT_TRUE(shell.State(UniteAllPolygons).Enabled);

    Dispatch([&shell] { shell.Frame.Execute(UniteAllPolygons, nullptr); });

    DisplayLayer& united = shell.Named("/d/a_union");
    EXPECT_EQ(united.GetPolygonLayer()->GetPolygonCount(), 1);
    EXPECT_EQ(united.GetPolygonLayer()->GetBounds(), Arealis::Rectangle(0, 0, 45, 15));
    EXPECT_EQ(shell.WorkingTopology.GetText(shell.WorkingTopology.GetCurSel()), "/d/a_union");
    EXPECT_EQ(shell.TreeControl.Texts().front(), "/d/a_union");
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_EQ(shell.Platform.Boxes[0].Text, "Operation duration: 0.00 s; united polygon count: 3");
    EXPECT_EQ(shell.Platform.Boxes[0].Kind, MessageBoxKind::Information);
    // The united polygon is outlined on the window at once.
    EXPECT_EQ(shell.Window.DirectDrawings, 1);
    EXPECT_FALSE(shell.Window.Direct.Only(DrawCall::Kind::Line).empty());
    EXPECT_TRUE(shell.View.IsRedrawNeeded());
}

TEST(DocumentTest, MakeAllPolygonsEditedIsNotSupported)
{
    Shell shell;
    EXPECT_TRUE(shell.Frame.Execute(MakeAllPolygonsEdited, nullptr));
    EXPECT_EQ(shell.Platform.BoxTexts(), std::vector<std::string>{"Not supported!"});
}

} // namespace
} // namespace Orvista

namespace Orvista
{
namespace
{

using namespace Testing;
using namespace CommandId;

constexpr Arealis::Precision Fine{1e-9, 5e-9};

// Runs File > Precision... on the layer, answering the dialog with answer.
void SetPrecision(Shell& shell, DisplayLayer& layer, std::optional<Arealis::Precision> answer)
{
    shell.SelectInTree(&layer);
    shell.Platform.PrecisionAnswers.push_back(answer);
    Dispatch([&shell] { shell.Frame.Execute(LayerPrecision, nullptr); });
}

TEST(LayerPrecisionTest, ALayerIsReadAgainWithTheNewPrecisionInItsPlace)
{
    Shell shell;
    shell.Reader.Files["/d/a.shp"] = {{Square(0, 0, 10)}, {Square(20, 0, 10)}, {Square(40, 0, 5)}};
    shell.Reader.Files["/d/b.shp"] = {{Square(5, 5, 10)}};
    shell.Open("/d/a.shp");
    shell.Open("/d/b.shp");
    DisplayLayer& a = shell.Named("/d/a.shp");
    a.SetFillColour(Colour{1, 2, 3});
    const Arealis::Topology* pOld = a.GetTopology();

    SetPrecision(shell, a, Fine);

    EXPECT_EQ(shell.Document.GetLayers().front().get(), &a) << "same place in the list";
    EXPECT_NE(a.GetTopology(), pOld);
    EXPECT_EQ(a.GetTopology()->GetPrecision(), Fine);
    EXPECT_EQ(a.GetPolygonLayer()->GetPolygonCount(), 3);
    EXPECT_EQ(a.FillColour(), (Colour{1, 2, 3}));
    EXPECT_EQ(a.Name(), "/d/a.shp");
    EXPECT_EQ(shell.Platform.PrecisionsShown, std::vector<Arealis::Precision>{Arealis::Precision{}});
    EXPECT_EQ(shell.WorkingTopology.FindItemData(&a), shell.WorkingTopology.GetCurSel());

    // An operation between layers of different precision names both and makes nothing.
    const std::size_t layers = shell.Document.GetLayers().size();
    shell.Platform.SetOperationDialog = AcceptProposals;
    Dispatch([&shell] { shell.Document.OnCommand(IntersectLayers); });
    ASSERT_FALSE(shell.Platform.Boxes.empty());
    EXPECT_EQ(shell.Platform.Boxes.back().Text,
              "The layers have different precisions: /d/b.shp (node grid 1e-06 and tolerance "
              "0.0005) and /d/a.shp (node grid 1e-09 and tolerance 5e-09). Give both the same "
              "precision with File > Precision... to combine them.");
    EXPECT_EQ(shell.Document.GetLayers().size(), layers);

    // With the same precision on both, the result takes it.
    SetPrecision(shell, shell.Named("/d/b.shp"), Fine);
    Dispatch([&shell] { shell.Document.OnCommand(IntersectLayers); });
    ASSERT_EQ(shell.Document.GetLayers().size(), layers + 1);
    const DisplayLayer& result = *shell.Document.GetLayers().back();
    EXPECT_EQ(result.GetTopology()->GetPrecision(), Fine);
    EXPECT_EQ(result.GetPolygonLayer()->GetPolygonCount(), 1);

    // A result has no file to read again; neither has a layer made in the program.
    const std::size_t boxes = shell.Platform.Boxes.size();
    SetPrecision(shell, *shell.Document.GetLayers().back(), Arealis::Precision{});
    Dispatch([&shell] { shell.Document.OnNewTopology(); });
    SetPrecision(shell, *shell.Document.GetLayers().back(), Arealis::Precision{});
    ASSERT_EQ(shell.Platform.Boxes.size(), boxes + 2);
    EXPECT_NE(shell.Platform.Boxes[boxes].Text.find("is the result of an operation and has no "
                                                    "file to read again"),
              std::string::npos);
    EXPECT_NE(shell.Platform.Boxes[boxes + 1].Text.find("Topology #0 was made in the program"),
              std::string::npos);
    EXPECT_EQ(shell.Platform.PrecisionsShown.size(), 2U) << "no dialog for them";
}

TEST(LayerPrecisionTest, EditsAreLostOnlyWhenTheUserAgreesAndBadValuesChangeNothing)
{
    Shell shell;
    shell.Reader.Files["/d/a.shp"] = {{Square(0, 0, 10)}, {Square(20, 0, 10)}};
    shell.Open("/d/a.shp");
    DisplayLayer& a = shell.Named("/d/a.shp");
    Arealis::PolygonEnumerator polygons = a.GetPolygonLayer()->GetPolygons();
    ASSERT_TRUE(polygons.MoveNext());
    shell.Document.GetHistory().RecordCreated(a, *polygons.Current(), "Add polygon");
    const Arealis::Topology* pOld = a.GetTopology();

    shell.Platform.BoxAnswers.push_back(BoxAnswer::Cancel);
    SetPrecision(shell, a, Fine);
    EXPECT_EQ(a.GetTopology(), pOld);
    EXPECT_TRUE(shell.Platform.PrecisionsShown.empty()) << "asked before the dialog";
    EXPECT_NE(shell.Platform.Boxes.back().Text.find("has edits that are not in its file"),
              std::string::npos);
    shell.Platform.PrecisionAnswers.clear(); // the dialog did not show

    shell.Platform.BoxAnswers.push_back(BoxAnswer::Ok);
    SetPrecision(shell, a, Arealis::Precision{1e-6, 1e-7});
    EXPECT_EQ(a.GetTopology(), pOld);
    EXPECT_NE(shell.Platform.Boxes.back().Text.find("was not changed"), std::string::npos);

    shell.Platform.BoxAnswers.push_back(BoxAnswer::Ok);
    SetPrecision(shell, a, Fine);
    EXPECT_EQ(a.GetTopology()->GetPrecision(), Fine);
    EXPECT_EQ(a.GetPolygonLayer()->GetPolygonCount(), 2);
    EXPECT_FALSE(shell.Document.GetHistory().CanUndo()) << "the old polygons' edits are gone";
}

TEST(LayerPrecisionTest, AGeographicLayerIsReadWithTheDegreeDefaults)
{
    Shell shell;
    shell.Reader.Files["/d/geo.shp"] = {{Square(10, 50, 0.001)}};
    shell.Reader.Systems["/d/geo.shp"] = {"GEOGCS[...]", "EPSG:4326", true};
    shell.Reader.Files["/d/utm.shp"] = {{Square(10, 50, 1)}};
    shell.Reader.Systems["/d/utm.shp"] = {"PROJCS[...]", "EPSG:25832", false};

    shell.Open("/d/geo.shp");
    EXPECT_EQ(shell.Named("/d/geo.shp").GetTopology()->GetPrecision(),
              Arealis::Precision::Geographic());
    EXPECT_EQ(shell.Platform.StatusText,
              "/d/geo.shp is in longitude/latitude (EPSG:4326): read with node grid 1e-09 and "
              "tolerance 5e-09 degrees; Precision... chooses others");
    shell.Open("/d/utm.shp");
    EXPECT_EQ(shell.Named("/d/utm.shp").GetTopology()->GetPrecision(), Arealis::Precision{});

    // A precision chosen by the user holds for a geographic layer too.
    SetPrecision(shell, shell.Named("/d/geo.shp"), Arealis::Precision{});
    EXPECT_EQ(shell.Named("/d/geo.shp").GetTopology()->GetPrecision(), Arealis::Precision{});
}

} // namespace
} // namespace Orvista
