// Opening layers of every format, the Attributes panel's groups and Export Layer, on the
// sample parcels and zones with their attribute tables, through the document's commands.

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "AttributesPanel.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "Fakes.h"
#include "Formats/VectorSource.h"
#include "LayerReader.h"
#include "LayerTable.h"
#include "MainFrame.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "Shapefile/Reporter.h"
#include "TopologyTreeView.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

namespace fs = std::filesystem;
using namespace CommandId;
using Testing::AcceptProposals;
using Testing::Dispatch;
using Testing::FakePlatform;

fs::path Samples()
{
    const char* pSource = std::getenv("AREALIS_SOURCE_DIR");
    return fs::path(pSource != nullptr ? pSource : AREALIS_SOURCE_ROOT) / "data" / "samples";
}

// The reader's messages become the platform's message boxes, as in the program.
class BoxReporter final : public Arealis::IReporter
{
public:
    explicit BoxReporter(FakePlatform& platform) : m_platform(platform) {}
    void ShowMessage(const std::string& text, const std::string& caption) override
    {
        m_platform.ShowMessageBox(text, caption, MessageBoxKind::Ok);
    }
    bool ShowError(const std::string& text) override
    {
        return m_platform.ShowMessageBox(text, "", MessageBoxKind::OkCancelError) == BoxAnswer::Ok;
    }

private:
    FakePlatform& m_platform;
};

// The document wired to the real file reader, in a folder of its own for outputs.
struct FileShell
{
    FakePlatform Platform;
    BoxReporter Reporter{Platform};
    LayerFileReader Reader{Reporter};
    Testing::FakeComboList WorkingTopology;
    COrvistaDoc Document{Platform, Reader};
    Testing::FakeTreeControl TreeControl;
    CTopologyTreeView Tree{Platform, TreeControl};
    Testing::FakeViewWindow Window;
    COrvistaView View{Platform};
    CMainFrame Frame{Platform, Document, View, Tree};
    fs::path Folder = fs::temp_directory_path() /
                      ("orvista-files-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));

    FileShell()
    {
        Document.SetWorkingTopologyList(&WorkingTopology);
        Tree.OnCreate(Document);
        View.OnCreate(Document, Window);
        fs::create_directories(Folder);
    }
    ~FileShell() { fs::remove_all(Folder); }

    bool Open(const fs::path& path)
    {
        bool opened = false;
        Dispatch([&] { opened = Document.OpenLayerFile(path.string()); });
        return opened;
    }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(Folder / name) << text;
    }
    DisplayLayer& Last() const { return *Document.GetLayers().back(); }
};

TEST(LayerFilesTest, OpeningOtherFormatsAsksForTablesAndSaysWhatItSkipped)
{
    FileShell shell;
    const fs::path geoPackage = Samples() / "samples.gpkg";
    // Two polygon tables: the user picks one from a list; cancelling opens nothing.
    EXPECT_FALSE(shell.Open(geoPackage));
    EXPECT_EQ(shell.Platform.LastChoices, (std::vector<std::string>{"parcels", "zones"}));
    EXPECT_NE(shell.Platform.LastPrompt.find("samples.gpkg holds 2 polygon tables"),
              std::string::npos);
    shell.Platform.ChoiceAnswers.push_back(1);
    ASSERT_TRUE(shell.Open(geoPackage));
    EXPECT_EQ(shell.Last().Name(), geoPackage.string() + ":zones");
    EXPECT_EQ(shell.Last().GetPolygonLayer()->GetPolygonCount(), 10);
    EXPECT_EQ(shell.Last().Attributes().Fields.back().Name, "NAME");
    EXPECT_TRUE(shell.Platform.Boxes.empty());
    // The table names the format's "Undefined geographic SRS": not degrees.
    EXPECT_EQ(shell.Last().GetTopology()->GetPrecision(), Arealis::Precision{});

    // No polygon at all: one message naming the file, no layer.
    const std::string point = R"({"type":"Feature","properties":{},"geometry":)"
                              R"({"type":"Point","coordinates":[1,1]}})";
    shell.Write("points.geojson", R"({"type":"FeatureCollection","features":[)" + point + "]}");
    EXPECT_FALSE(shell.Open(shell.Folder / "points.geojson"));
    ASSERT_EQ(shell.Platform.Boxes.size(), 1U);
    EXPECT_NE(shell.Platform.BoxTexts()[0].find("points.geojson: no polygon table"),
              std::string::npos);
    // Points among polygons are skipped and counted in one message; the polygons open.
    shell.Write("mixed.geojson",
                R"({"type":"FeatureCollection","features":[)" + point + "," + point +
                    R"(,{"type":"Feature","properties":{"n":7},"geometry":{"type":"Polygon",)"
                    R"("coordinates":[[[0,0],[4,0],[4,4],[0,4],[0,0]]]}}]})");
    ASSERT_TRUE(shell.Open(shell.Folder / "mixed.geojson"));
    ASSERT_EQ(shell.Platform.Boxes.size(), 2U);
    EXPECT_NE(shell.Platform.BoxTexts()[1].find("2 features that are not polygons were skipped"),
              std::string::npos);
    EXPECT_EQ(shell.Last().GetPolygonLayer()->GetPolygonCount(), 1);
    // GeoJSON is longitude/latitude: read with the defaults for degrees.
    EXPECT_EQ(shell.Last().GetTopology()->GetPrecision(), Arealis::Precision::Geographic());

    // A broken attribute table costs the attributes only: the geometry opens, with a note.
    for (const char* extension : {".shp", ".shx"})
    {
        fs::copy_file(Samples() / (std::string("parcels") + extension),
                      shell.Folder / (std::string("broken") + extension));
    }
    shell.Write("broken.dbf", "not a table");
    ASSERT_TRUE(shell.Open(shell.Folder / "broken.shp"));
    EXPECT_EQ(shell.Last().GetPolygonLayer()->GetPolygonCount(), 32);
    EXPECT_TRUE(shell.Last().Attributes().Fields.empty());
    ASSERT_EQ(shell.Platform.Boxes.size(), 3U);
    EXPECT_NE(shell.Platform.BoxTexts()[2].find("broken.dbf"), std::string::npos);
}

// The value of a column of a row read back, by the column's name.
const Formats::FieldValue& ValueOf(const Formats::AttributeTable& table, std::size_t row,
                                   const std::string& column)
{
    for (std::size_t i = 0; i < table.Fields.size(); ++i)
    {
        if (table.Fields[i].Name == column)
        {
            return table.Rows.at(row).at(i);
        }
    }
    throw std::out_of_range(column);
}

TEST(LayerFilesTest, AnIntersectionShowsAndExportsItsParentsAttributes)
{
    FileShell shell;
    ASSERT_TRUE(shell.Open(Samples() / "zones.shp"));
    ASSERT_TRUE(shell.Open(Samples() / "parcels.shp"));
    const DisplayLayer& parcels = shell.Last();
    const DisplayLayer& zones = *shell.Document.GetLayers().front();
    shell.Platform.SetOperationDialog = AcceptProposals;
    shell.Document.OnCommand(IntersectLayers);
    DisplayLayer& result = shell.Last();
    ASSERT_NE(result.Derivation(), nullptr);
    shell.TreeControl.pSelected = &result;

    // The panel: the piece's own columns, then each parent's record with its values.
    Arealis::PolygonEnumerator pieces = result.GetPolygonLayer()->GetPolygons();
    ASSERT_TRUE(pieces.MoveNext());
    const std::vector<AttributeGroup> groups = DescribeAttributes(shell.Document, pieces.Current());
    ASSERT_EQ(groups.size(), 3U);
    EXPECT_EQ(groups[0].Values.back().first, "b_record");
    EXPECT_EQ(groups[1].Title.rfind("Parent: parcels.shp, record ", 0), 0U) << groups[1].Title;
    EXPECT_EQ(groups[2].Title.rfind("Parent: zones.shp, record ", 0), 0U) << groups[2].Title;
    EXPECT_EQ(groups[1].Values[2].first, "OWNER");

    // Export, read back: every piece with both parents' columns, values from the right rows.
    const fs::path output = shell.Folder / "pieces.gpkg";
    shell.Platform.SaveAnswers.push_back(output.string());
    shell.Document.OnCommand(FileExportLayer);
    ASSERT_TRUE(shell.Platform.Boxes.size() == 1U) << shell.Platform.BoxTexts().back();
    EXPECT_EQ(shell.Platform.StatusText.rfind("Exported ", 0), 0U) << shell.Platform.StatusText;
    Arealis::Topology* pTopology = Arealis::Topology::Create();
    Arealis::PolygonLayer* pRead = pTopology->CreatePolygonLayer(true);
    const Formats::SourceDescription read = Formats::ReadOgrSource(output.string(), *pRead, {});
    EXPECT_EQ(pRead->GetPolygonCount(), result.GetPolygonLayer()->GetPolygonCount());
    const Formats::AttributeTable& table = read.Attributes;
    ASSERT_EQ(table.Fields.size(), 10U);
    EXPECT_EQ(table.Fields[0].Name, "ID_1");
    EXPECT_EQ(table.Fields[6].Name, "CODE");
    for (std::size_t row = 0; row < table.Rows.size(); ++row)
    {
        const std::int64_t a = std::get<std::int64_t>(ValueOf(table, row, "a_record"));
        const std::int64_t b = std::get<std::int64_t>(ValueOf(table, row, "b_record"));
        EXPECT_EQ(ValueOf(table, row, "OWNER"), ValueOf(parcels.Attributes(), a, "OWNER"));
        EXPECT_EQ(ValueOf(table, row, "CODE"), ValueOf(zones.Attributes(), b, "CODE"));
    }
    Arealis::Topology::Delete(pTopology);

    // Replacing asks first; a refusal leaves the file as it was.
    const auto written = fs::last_write_time(output);
    shell.Platform.SaveAnswers.push_back(output.string());
    shell.Platform.BoxAnswers.push_back(BoxAnswer::Cancel);
    shell.Document.OnCommand(FileSaveAs);
    ASSERT_EQ(shell.Platform.Boxes.size(), 2U);
    EXPECT_NE(shell.Platform.Boxes[1].Text.find("exists already"), std::string::npos);
    EXPECT_EQ(fs::last_write_time(output), written);
    // A write that fails, or a name of no format, says why and leaves no file.
    for (const fs::path& bad : {shell.Folder / "missing" / "out.shp", shell.Folder / "out.txt"})
    {
        shell.Platform.SaveAnswers.push_back(bad.string());
        shell.Document.OnCommand(FileExportLayer);
        EXPECT_NE(shell.Platform.Boxes.back().Text.find(bad.string()), std::string::npos)
            << shell.Platform.Boxes.back().Text;
        EXPECT_FALSE(fs::exists(bad));
    }
    EXPECT_EQ(shell.Platform.Boxes.size(), 4U);
}

} // namespace
} // namespace Orvista
