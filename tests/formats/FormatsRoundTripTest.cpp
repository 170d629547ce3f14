#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Formats/CoordinateSystem.h"
#include "Formats/FormatError.h"
#include "Formats/OutputFile.h"
#include "Formats/VectorSource.h"
#include "Formats/VectorWriter.h"
#include "GdalTestFiles.h"
#include "ScratchFolder.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

using namespace Formats;
using namespace FormatsTesting;
namespace fs = std::filesystem;

namespace
{

const std::vector<Field> Columns{{"owner", FieldType::String, 254, 0},
                                 {"lot", FieldType::Integer, 0, 0},
                                 {"share", FieldType::Real, 0, 0},
                                 {"since", FieldType::Date, 0, 0}};

// A square with a hole, two parts, a plain square; texts in three scripts, nulls, 254
// characters.
std::vector<TestFeature> Parcels()
{
    return {
        {"POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,2 4,4 4,4 2,2 2))",
         {std::string("Müller Åsa"), std::int64_t{7}, 0.1 + 1.0 / 3.0, Date{2024, 1, 31}}},
        {"MULTIPOLYGON (((20 0,30 0,30 5,20 5,20 0)),((40 0,45 0,45 5,40 5,40 0)))",
         {std::string(254, 'x'), std::int64_t{-5000000000}, 1e-7, FieldValue{}}},
        {"POLYGON ((0 20,0.5 20,0.5 20.25,0 20.25,0 20))",
         {FieldValue{}, FieldValue{}, FieldValue{}, Date{1999, 12, 1}}},
        {"POLYGON ((60 0,61 0,61 1,60 1,60 0))",
         {std::string("Łódź, Ærø"), std::int64_t{0}, -2.5, Date{2000, 2, 29}}},
    };
}

double AreaOfWkt(const std::string& wkt)
{
    OGRGeometry* geometry = nullptr;
    OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &geometry);
    const double area = OGR_G_Area(OGRGeometry::ToHandle(geometry));
    OGRGeometryFactory::destroyGeometry(geometry);
    return area;
}

// The text a value reads back as, dates as YYYY-MM-DD whichever way the format keeps them.
std::string Text(const FieldValue& value)
{
    if (const auto* n = std::get_if<std::int64_t>(&value))
        return std::to_string(*n);
    if (const auto* s = std::get_if<std::string>(&value))
        return s->size() >= 10 && (*s)[4] == '/'
                   ? s->substr(0, 4) + "-" + s->substr(5, 2) + "-" + s->substr(8, 2)
                   : *s;
    if (const auto* d = std::get_if<Date>(&value))
        return FormatDate(*d);
    return "null";
}

struct Loaded
{
    Arealis::Topology* Topology = Arealis::Topology::Create();
    Arealis::PolygonLayer* Layer = Topology->CreatePolygonLayer(true);
    std::map<std::int64_t, Arealis::Polygon*> ByRecord;
    SourceDescription Description;

    explicit Loaded(const std::string& source)
    {
        Description = ReadOgrSource(
            source, *Layer, [this](Arealis::Polygon* p, std::int64_t r) { ByRecord[r] = p; });
    }
    ~Loaded() { Arealis::Topology::Delete(Topology); }
};

class FormatsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_formats");
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    std::string In(const std::string& name) const { return (m_folder / name).string(); }

    fs::path m_folder;
};

TEST_F(FormatsTest, EveryOutputFormatReadsBackWithTheSameAreasValuesAndReferenceSystem)
{
    const std::vector<TestFeature> parcels = Parcels();
    WriteTestSource(In("parcels.gpkg"), "GPKG", "parcels", wkbUnknown, Columns, parcels, 25832);
    const Loaded source(In("parcels.gpkg"));
    ASSERT_EQ(source.ByRecord.size(), parcels.size());
    EXPECT_EQ(source.Description.System.Name, "EPSG:25832");

    for (const std::string name :
         {"out.shp", "out.gpkg", "more.gpkg:parcels_2", "out.fgb", "out.csv", "out.geojson"})
    {
        SCOPED_TRACE(name);
        const FileTarget target = *FileTargetFromName(In(name));
        {
            VectorWriter writer(target, source.Description.Attributes.Fields,
                                source.Description.System, false);
            for (const auto& [record, polygon] : source.ByRecord)
                writer.Write(*polygon,
                             source.Description.Attributes.Rows[static_cast<std::size_t>(record)]);
            writer.Commit();
        }
        const std::string readBack = target.Path + (target.Table.empty() ? "" : ":" + target.Table);
        const Loaded copy(readBack);
        ASSERT_EQ(copy.Description.Attributes.Rows.size(), parcels.size());
        if (target.Format != FileFormat::Csv)
        {
            EXPECT_TRUE(SameCoordinateSystem(copy.Description.System, source.Description.System))
                << copy.Description.System.Name;
        }

        GDALDatasetUniquePtr dataset = OpenForTest(target.Path);
        OGRLayer* layer = target.Table.empty() ? dataset->GetLayer(0)
                                               : dataset->GetLayerByName(target.Table.c_str());
        ASSERT_NE(layer, nullptr);
        std::size_t i = 0;
        for (const auto& feature : *layer)
        {
            const double expected = AreaOfWkt(parcels[i].Wkt);
            const auto* surface = feature->GetGeometryRef();
            const double area =
                OGR_G_Area(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(surface)));
            EXPECT_NEAR(area, expected, expected * 1e-9) << "feature " << i;
            const auto& row = copy.Description.Attributes.Rows[i];
            for (std::size_t c = 0; c < Columns.size(); ++c)
            {
                const FieldValue& want = parcels[i].Values[c];
                if (const auto* real = std::get_if<double>(&want))
                {
                    ASSERT_TRUE(std::holds_alternative<double>(row[c])) << Text(row[c]);
                    EXPECT_NEAR(std::get<double>(row[c]), *real, 1e-12);
                }
                else if (Columns[c].Type == FieldType::Date)
                    EXPECT_EQ(Text(row[c]).substr(0, 10), Text(want)) << "feature " << i;
                else
                    EXPECT_EQ(Text(row[c]), Text(want)) << "feature " << i << " column " << c;
            }
            ++i;
        }
        EXPECT_EQ(i, parcels.size());
    }
    // The first GeoPackage written still holds its table beside the one added to the second.
    EXPECT_NE(OpenForTest(In("out.gpkg"))->GetLayerByName("out"), nullptr);
}

TEST_F(FormatsTest, ShapefileAttributesFollowTheRecordsInTheirCodePage)
{
    struct Case
    {
        const char* Encoding;  // layer creation option
        bool KeepCodePageFile; // false: only the .dbf's language byte names the code page
    };
    for (const Case& c : {Case{"UTF-8", true}, Case{"ISO-8859-1", true}, Case{"CP1252", false}})
    {
        SCOPED_TRACE(c.Encoding);
        const std::string shp = In(std::string("p") + c.Encoding + ".shp");
        const std::string option = std::string("ENCODING=") + c.Encoding;
        // The middle record has no geometry: the reader skips it, its row stays in place.
        WriteTestSource(shp, "ESRI Shapefile", "p", wkbPolygon, {Columns[0]},
                        {{"POLYGON ((0 0,1 0,1 1,0 1,0 0))", {std::string("Müller Åsa")}},
                         {"", {std::string("skipped")}},
                         {"POLYGON ((5 0,6 0,6 1,5 1,5 0))", {std::string("Ærø façade")}}},
                        4326, {option.c_str()});
        if (!c.KeepCodePageFile)
        {
            fs::remove(fs::path(shp).replace_extension(".cpg"));
            std::fstream dbf(fs::path(shp).replace_extension(".dbf"),
                             std::ios::in | std::ios::out | std::ios::binary);
            dbf.seekp(29);
            dbf.put(static_cast<char>(0x57)); // Windows ANSI
        }
        const SourceDescription description = ReadShapefileCompanions(shp);
        ASSERT_EQ(description.Attributes.Rows.size(), 3U);
        EXPECT_EQ(Text(description.Attributes.Rows[0][0]), "Müller Åsa");
        EXPECT_EQ(Text(description.Attributes.Rows[2][0]), "Ærø façade");
        EXPECT_EQ(description.System.Name, "EPSG:4326");
    }
}

TEST_F(FormatsTest, BadInputIsAClearErrorNamingTheFile)
{
    const std::vector<Field> one{Columns[1]};
    const auto squares = [](int count)
    {
        std::vector<TestFeature> features;
        for (int i = 0; i < count; ++i)
            features.push_back({"POLYGON ((" + std::to_string(i) + " 0," + std::to_string(i) +
                                    " 1," + std::to_string(i + 1) + " 1," + std::to_string(i + 1) +
                                    " 0," + std::to_string(i) + " 0))",
                                {std::int64_t{i}}});
        return features;
    };
    WriteTestSource(In("two.shp"), "ESRI Shapefile", "two", wkbPolygon, one, squares(2));
    WriteTestSource(In("four.shp"), "ESRI Shapefile", "four", wkbPolygon, one, squares(4));
    const auto withTable = [&](const std::string& name, const std::string& dbfFrom)
    {
        WriteTestSource(In(name + ".shp"), "ESRI Shapefile", name, wkbPolygon, one, squares(3));
        if (!dbfFrom.empty())
            fs::copy_file(In(dbfFrom + ".dbf"), In(name + ".dbf"),
                          fs::copy_options::overwrite_existing);
        return In(name + ".shp");
    };
    const std::string fewer = withTable("fewer", "two");
    const std::string more = withTable("more", "four");
    const std::string broken = withTable("broken", "two");
    std::ofstream(In("broken.dbf"), std::ios::trunc) << "0123456789";
    const std::string codePage = withTable("codepage", "");
    std::ofstream(In("codepage.cpg")) << "NO-SUCH-PAGE";
    WriteTestSource(In("points.gpkg"), "GPKG", "wells", wkbPoint, one,
                    {{"POINT (1 1)", {std::int64_t{1}}}});

    struct Case
    {
        std::string Source;
        std::string Expected;
    };
    for (const Case& c : {Case{fewer, "fewer.dbf: 2 attribute records, but"},
                          Case{more, "more.dbf: 4 attribute records, but"},
                          Case{broken, "broken.dbf: broken attribute table header"},
                          Case{codePage, "codepage.cpg: unknown code page 'NO-SUCH-PAGE'"},
                          Case{In("points.gpkg"), "points.gpkg: no polygon table"},
                          Case{In("points.gpkg:parcels"), "no table 'parcels'"}})
    {
        SCOPED_TRACE(c.Source);
        Arealis::Topology* topology = Arealis::Topology::Create();
        try
        {
            if (IsShapefilePath(c.Source))
                ReadShapefileCompanions(c.Source);
            else
                ReadOgrSource(c.Source, *topology->CreatePolygonLayer(true), {});
            ADD_FAILURE() << "no error";
        }
        catch (const FormatError& e)
        {
            EXPECT_NE(std::string(e.what()).find(c.Expected), std::string::npos) << e.what();
        }
        Arealis::Topology::Delete(topology);
    }
}

TEST_F(FormatsTest, FailedOrRefusedWritesLeaveNothingBehind)
{
    const auto entries = [this]
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    std::ofstream(In("kept.gpkg")) << "not replaced";
    const auto before = entries();

    // An unwritable folder fails at once, naming the file.
    try
    {
        VectorWriter writer(*FileTargetFromName(In("no/such/folder/out.shp")), Columns, {}, false);
        ADD_FAILURE() << "no error";
    }
    catch (const FormatError& e)
    {
        EXPECT_NE(std::string(e.what()).find("out.shp: cannot open the file for writing"),
                  std::string::npos)
            << e.what();
    }
    // An existing file is kept without overwrite.
    EXPECT_THROW(VectorWriter(*FileTargetFromName(In("kept.gpkg")), Columns, {}, false),
                 OutputExistsError);
    // A write abandoned before its commit (an error on the way) leaves no file.
    {
        WriteTestSource(In("in.geojson"), "GeoJSON", "in", wkbPolygon, {},
                        {{"POLYGON ((0 0,1 0,1 1,0 1,0 0))", {}}});
        const Loaded source(In("in.geojson"));
        fs::remove(In("in.geojson"));
        VectorWriter writer(*FileTargetFromName(In("half.shp")), {}, {}, false);
        writer.Write(*source.ByRecord.at(0), {});
    }
    EXPECT_EQ(entries(), before);
    std::ifstream kept(In("kept.gpkg"));
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "not replaced");
}

} // namespace

TEST_F(FormatsTest, ShapefileColumnNamesAreShortenedDistinctlyAndReported)
{
    const std::vector<Field> fields{{"owner_name_first", FieldType::String, 20, 0},
                                    {"owner_name_second", FieldType::String, 20, 0},
                                    {"lot", FieldType::Integer, 0, 0}};
    VectorWriter writer(*FileTargetFromName(In("names.shp")), fields, {}, false);
    writer.Commit();
    const auto& renamed = writer.RenamedFields();
    ASSERT_EQ(renamed.size(), 2U);
    EXPECT_EQ(renamed[0].first, "owner_name_first");
    EXPECT_EQ(renamed[1].first, "owner_name_second");
    EXPECT_NE(renamed[0].second, renamed[1].second);
    const GDALDatasetUniquePtr written = OpenForTest(In("names.shp"));
    ASSERT_NE(written, nullptr);
    const OGRFeatureDefn* stored = written->GetLayer(0)->GetLayerDefn();
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_LE(renamed[static_cast<std::size_t>(i)].second.size(), 10U);
        EXPECT_EQ(renamed[static_cast<std::size_t>(i)].second,
                  stored->GetFieldDefn(i)->GetNameRef());
    }
}
