#include "GdalTestFiles.h"
#include "ScratchFolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace FormatsTesting;
namespace fs = std::filesystem;

using Arealis::Testing::FileText;

namespace
{

struct Result
{
    int Status = -1;
    std::string Err;
};

class AttributesEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_cli_attributes");
        fs::create_directories(m_folder);
        // A: a parcel with an owner, B: a zone with a code; both have a NAME column.
        const std::vector<Formats::Field> parcel{{"owner", Formats::FieldType::String, 40, 0},
                                                 {"lot", Formats::FieldType::Integer, 0, 0},
                                                 {"NAME", Formats::FieldType::String, 20, 0}};
        WriteTestSource(In("parcels.gpkg"), "GPKG", "parcels", wkbPolygon, parcel,
                        {{"POLYGON ((0 0,2 0,2 2,0 2,0 0))",
                          {std::string("Müller"), std::int64_t{17}, std::string("north")}}},
                        25832);
        const std::vector<Formats::Field> zone{{"code", Formats::FieldType::String, 4, 0},
                                               {"NAME", Formats::FieldType::String, 20, 0}};
        WriteTestSource(
            In("zones.shp"), "ESRI Shapefile", "zones", wkbPolygon, zone,
            {{"POLYGON ((1 1,3 1,3 3,1 3,1 1))", {std::string("R1"), std::string("Residential")}}},
            25832);
        WriteTestSource(In("other.geojson"), "GeoJSON", "other", wkbPolygon, zone,
                        {{"POLYGON ((500001 1,500003 1,500003 3,500001 3,500001 1))",
                          {std::string("R2"), std::string("Far")}}},
                        25833);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string In(const std::string& name) const { return (m_folder / name).string(); }

    Result Run(const std::string& arguments) const
    {
        const auto err = m_folder / "stderr.txt";
        const std::string command = std::string("'") + AREALIS_CLI_PATH + "' " + arguments +
                                    " > /dev/null 2> '" + err.string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, FileText(err)};
    }

    fs::path m_folder;
};

// "column=value;..." per feature with its area, ordered by the features' text.
std::vector<std::string> Features(const std::string& path)
{
    GDALDatasetUniquePtr dataset = OpenForTest(path);
    std::vector<std::string> features;
    for (const auto& feature : *dataset->GetLayer(0))
    {
        std::string text;
        for (int i = 0; i < feature->GetFieldCount(); ++i)
        {
            text += std::string(feature->GetFieldDefnRef(i)->GetNameRef()) + "=" +
                    (feature->IsFieldSetAndNotNull(i) ? feature->GetFieldAsString(i) : "null") +
                    ";";
        }
        const double area =
            OGR_G_Area(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(feature->GetGeometryRef())));
        features.push_back(text + "area=" + std::to_string(area));
    }
    std::sort(features.begin(), features.end());
    return features;
}

TEST_F(AttributesEndToEndTest, EveryOperationCarriesItsParentsColumns)
{
    const std::string a = "owner=Müller;lot=17;NAME_1=north;";
    const std::string b = "code=R1;NAME_2=Residential;";
    const std::string noA = "owner=null;lot=null;NAME_1=null;";
    const std::string noB = "code=null;NAME_2=null;";
    struct Case
    {
        std::string Operation;
        std::vector<std::string> Expected;
    };
    const std::vector<Case> cases{
        {"intersection", {a + b + "a_record=0;b_record=0;area=1.000000"}},
        {"subtract", {"owner=Müller;lot=17;NAME=north;a_record=0;b_record=null;area=3.000000"}},
        {"join",
         {noA + b + "a_record=null;b_record=0;area=3.000000",
          a + b + "a_record=0;b_record=0;area=1.000000",
          a + noB + "a_record=0;b_record=null;area=3.000000"}},
        {"identity",
         {a + b + "a_record=0;b_record=0;area=1.000000",
          a + noB + "a_record=0;b_record=null;area=3.000000"}},
        {"symmetric_difference",
         {noA + b + "a_record=null;b_record=0;area=3.000000",
          a + noB + "a_record=0;b_record=null;area=3.000000"}},
        {"union", {"a_record=null;b_record=null;area=7.000000"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Operation);
        const std::string out = In(c.Operation + ".gpkg");
        const Result run = Run(c.Operation + " '" + In("parcels.gpkg") + "' '" + In("zones.shp") +
                               "' -o '" + out + "'");
        ASSERT_EQ(run.Status, 0) << run.Err;
        std::vector<std::string> expected = c.Expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Features(out), expected);
    }
}

TEST_F(AttributesEndToEndTest, ReferenceSystemsAndExistingOutputsAreCheckedBeforeWriting)
{
    const std::string out = In("result.shp");
    const std::string inputs = "'" + In("parcels.gpkg") + "' '" + In("other.geojson") + "'";
    const Result refused = Run("intersection " + inputs + " -o '" + out + "'");
    EXPECT_EQ(refused.Status, 2);
    EXPECT_NE(refused.Err.find("is in EPSG:25832"), std::string::npos) << refused.Err;
    EXPECT_NE(refused.Err.find("in EPSG:25833"), std::string::npos) << refused.Err;
    EXPECT_FALSE(fs::exists(out));

    // Transformed, B's square lands next to A's (6 degrees of longitude further west).
    const Result transformed = Run("join --reproject " + inputs + " -o '" + out + "'");
    ASSERT_EQ(transformed.Status, 0) << transformed.Err;
    GDALDatasetUniquePtr dataset = OpenForTest(out);
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(dataset->GetLayer(0)->GetFeatureCount(), 2);
    EXPECT_STREQ(dataset->GetLayer(0)->GetSpatialRef()->GetAuthorityCode(nullptr), "25832");
    dataset.reset();

    const Result again = Run("join --reproject " + inputs + " -o '" + out + "'");
    EXPECT_EQ(again.Status, 2);
    EXPECT_NE(again.Err.find("exists already; give --overwrite"), std::string::npos) << again.Err;
    EXPECT_EQ(Run("subtract --overwrite --reproject " + inputs + " -o '" + out + "'").Status, 0);
    EXPECT_EQ(OpenForTest(out)->GetLayer(0)->GetFeatureCount(), 1);
}

// A full disk (a small tmpfs; root only, skipped where nothing can be mounted): writing each
// format fails with an error naming the file, leaves no file behind, and keeps an earlier
// output that --overwrite would have replaced, and the inputs, as they were.
TEST_F(AttributesEndToEndTest, AFullDiskFailsEveryFormatAndLeavesNothingBehind)
{
    if (::geteuid() != 0)
    {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    const fs::path disk = m_folder / "disk";
    fs::create_directories(disk);
    const std::string mount =
        "mount -t tmpfs -o size=192k tmpfs '" + disk.string() + "' 2> /dev/null";
    if (std::system(mount.c_str()) != 0)
    {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> unmount(
        &disk,
        [](const fs::path* path) { std::system(("umount '" + path->string() + "'").c_str()); });

    // Two grids of 30 x 30 named squares, half a square apart: about 400 kB of GeoJSON.
    const std::vector<Formats::Field> fields{{"name", Formats::FieldType::String, 40, 0}};
    for (const auto& [name, offset] : {std::pair{"grid_a.gpkg", 0.0}, {"grid_b.gpkg", 0.5}})
    {
        std::vector<TestFeature> squares;
        for (int i = 0; i < 900; ++i)
        {
            const double x = i % 30 + offset;
            const double y = i / 30 + offset;
            const auto corner = [](double cx, double cy)
            { return std::to_string(cx) + " " + std::to_string(cy); };
            squares.push_back({"POLYGON ((" + corner(x, y) + "," + corner(x + 1, y) + "," +
                                   corner(x + 1, y + 1) + "," + corner(x, y + 1) + "," +
                                   corner(x, y) + "))",
                               {std::string("square number ") + std::to_string(i)}});
        }
        WriteTestSource(In(name), "GPKG", "grid", wkbPolygon, fields, squares);
    }
    const std::string inputs = "'" + In("grid_a.gpkg") + "' '" + In("grid_b.gpkg") + "'";
    const std::string inputsBefore = FileText(In("grid_a.gpkg")) + FileText(In("grid_b.gpkg"));
    std::ofstream(disk / "r.geojson") << "earlier\n";

    for (const std::string name :
         {"r.geojson", "r.json", "r.wkt", "r.shp", "r.gpkg", "r.fgb", "r.csv"})
    {
        const std::string out = (disk / name).string();
        const std::string format = name == "r.wkt" ? " --format wkt" : "";
        const Result failed =
            Run("intersection --overwrite" + format + " " + inputs + " -o '" + out + "'");
        EXPECT_EQ(failed.Status, 2) << name;
        EXPECT_NE(failed.Err.find(out + ": "), std::string::npos) << failed.Err;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(disk))
        {
            left.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(left, std::vector<std::string>{"r.geojson"}) << name;
    }
    EXPECT_EQ(FileText(disk / "r.geojson"), "earlier\n");
    EXPECT_EQ(FileText(In("grid_a.gpkg")) + FileText(In("grid_b.gpkg")), inputsBefore);
}

} // namespace
