#include "ScratchFolder.h"
#include "ShapefileBuilder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <utility>
#include <vector>

using Arealis::Testing::FileText;

namespace
{

struct ToolRun
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::filesystem::path Catalogue()
{
    const char* source = std::getenv("AREALIS_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : AREALIS_SOURCE_ROOT) / "data" /
           "regression";
}

class ToolEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_cli");
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    ToolRun Run(const std::string& arguments) const
    {
        const auto out = m_folder / "stdout.txt";
        const auto err = m_folder / "stderr.txt";
        const std::string command = std::string("'") + AREALIS_CLI_PATH + "' " + arguments +
                                    " > '" + out.string() + "' 2> '" + err.string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, FileText(out), FileText(err)};
    }

    static std::string Input(const std::string& name)
    {
        return "'" + (Catalogue() / name).string() + "'";
    }

    std::filesystem::path m_folder;
};

// Bounds of a GeoJSON MultiPolygon.
std::array<double, 4> BoundsOf(const nlohmann::json& geometry)
{
    std::array<double, 4> bounds{1e300, 1e300, -1e300, -1e300};
    for (const auto& polygon : geometry.at("coordinates"))
    {
        for (const auto& ring : polygon)
        {
            for (const auto& point : ring)
            {
                bounds[0] = std::min(bounds[0], point[0].get<double>());
                bounds[1] = std::min(bounds[1], point[1].get<double>());
                bounds[2] = std::max(bounds[2], point[0].get<double>());
                bounds[3] = std::max(bounds[3], point[1].get<double>());
            }
        }
    }
    return bounds;
}

bool Within(const std::array<double, 4>& inner, const std::array<double, 4>& outer)
{
    constexpr double slack = 1e-6;
    return inner[0] >= outer[0] - slack && inner[1] >= outer[1] - slack &&
           inner[2] <= outer[2] + slack && inner[3] <= outer[3] + slack;
}

// Signed area by the shoelace formula: positive for counter-clockwise rings.
double ShoelaceArea(const nlohmann::json& ring)
{
    double sum = 0.0;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i)
    {
        sum += ring[i][0].get<double>() * ring[i + 1][1].get<double>() -
               ring[i + 1][0].get<double>() * ring[i][1].get<double>();
    }
    return sum / 2;
}

TEST_F(ToolEndToEndTest, IntersectionWritesGeoJsonWhoseParentsAreTheRightRecords)
{
    const ToolRun run = Run("intersection " + Input("t1_1.shp") + " " + Input("t1_2.shp"));
    ASSERT_EQ(run.Status, 0) << run.Err;
    const nlohmann::json result = nlohmann::json::parse(run.Out);
    EXPECT_EQ(result.at("type"), "FeatureCollection");
    ASSERT_FALSE(result.at("features").empty());

    // The parents' own shapes, one feature per record, from the same tool: the features of a
    // layer intersected with itself whose two parents are the same record.
    const auto recordBounds = [this](const std::string& layer)
    {
        std::vector<std::array<double, 4>> bounds;
        const nlohmann::json self =
            nlohmann::json::parse(Run("intersection " + layer + " " + layer).Out);
        for (const auto& feature : self.at("features"))
        {
            const auto& parents = feature.at("properties").at("parents");
            if (parents[0].at("record") == parents[1].at("record"))
            {
                const auto record = parents[0].at("record").get<std::size_t>();
                bounds.resize(std::max(bounds.size(), record + 1));
                bounds[record] = BoundsOf(feature.at("geometry"));
            }
        }
        return bounds;
    };
    const std::vector<std::array<double, 4>> recordBoundsA = recordBounds(Input("t1_1.shp"));
    const std::vector<std::array<double, 4>> recordBoundsB = recordBounds(Input("t1_2.shp"));

    for (const auto& feature : result.at("features"))
    {
        EXPECT_EQ(feature.at("type"), "Feature");
        const auto& geometry = feature.at("geometry");
        EXPECT_EQ(geometry.at("type"), "MultiPolygon");
        for (const auto& polygon : geometry.at("coordinates"))
        {
            EXPECT_GT(ShoelaceArea(polygon[0]), 0.0) << "exterior rings run counter-clockwise";
            for (std::size_t hole = 1; hole < polygon.size(); ++hole)
            {
                EXPECT_LT(ShoelaceArea(polygon[hole]), 0.0) << "holes run clockwise";
            }
            EXPECT_EQ(polygon[0].front(), polygon[0].back()) << "rings are closed";
        }
        const auto& parents = feature.at("properties").at("parents");
        ASSERT_EQ(parents.size(), 2U);
        EXPECT_EQ(parents[0].at("layer"), "A");
        EXPECT_EQ(parents[1].at("layer"), "B");
        const auto recordA = parents[0].at("record").get<std::size_t>();
        const auto recordB = parents[1].at("record").get<std::size_t>();
        ASSERT_LT(recordA, recordBoundsA.size());
        ASSERT_LT(recordB, recordBoundsB.size());
        EXPECT_TRUE(Within(BoundsOf(geometry), recordBoundsA[recordA]));
        EXPECT_TRUE(Within(BoundsOf(geometry), recordBoundsB[recordB]));
    }
}

TEST_F(ToolEndToEndTest, EveryThreadCountWritesTheSameBytes)
{
    const std::string inputs = Input("t1_1.shp") + " " + Input("t1_2.shp");
    for (const std::string operation : {"intersection", "subtract", "join", "identity"})
    {
        const ToolRun one = Run(operation + " --threads 1 " + inputs);
        ASSERT_EQ(one.Status, 0) << one.Err;
        EXPECT_EQ(Run(operation + " --threads 3 " + inputs).Out, one.Out) << operation;
    }
}

TEST_F(ToolEndToEndTest, FormatsAgreeOnTheNumberOfPolygons)
{
    const std::string inputs = Input("attr_small.shp") + " " + Input("fem_small.shp");
    const ToolRun geojson = Run("join " + inputs);
    const ToolRun wkt = Run("join --format wkt " + inputs);
    const ToolRun summary = Run("join --format summary " + inputs);
    ASSERT_EQ(geojson.Status, 0);
    ASSERT_EQ(wkt.Status, 0);
    ASSERT_EQ(summary.Status, 0);
    const std::size_t features = nlohmann::json::parse(geojson.Out).at("features").size();
    std::size_t lines = 0;
    std::istringstream wktLines(wkt.Out);
    for (std::string line; std::getline(wktLines, line);)
    {
        EXPECT_EQ(line.rfind("MULTIPOLYGON (((", 0), 0U) << line;
        ++lines;
    }
    EXPECT_EQ(lines, features);
    EXPECT_NE(summary.Out.find("polygons: " + std::to_string(features) + "\n"), std::string::npos);
}

TEST_F(ToolEndToEndTest, StatsArePrintedAsJsonOnStandardError)
{
    const ToolRun run =
        Run("subtract --stats --format summary -o '" + (m_folder / "out.txt").string() + "' " +
            Input("attr_small.shp") + " " + Input("fem_small.shp"));
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_TRUE(run.Out.empty()) << "the output went to the file";
    EXPECT_NE(FileText(m_folder / "out.txt").find("polygons: "), std::string::npos);
    const nlohmann::json stats = nlohmann::json::parse(run.Err);
    for (const char* key : {"load_ms", "op_ms", "polygons", "vertices"})
    {
        EXPECT_TRUE(stats.contains(key)) << key;
    }
}

// The "area: " line of a summary.
double SummaryArea(const std::string& summary)
{
    const std::size_t at = summary.find("area: ");
    return at == std::string::npos ? -1.0 : std::stod(summary.substr(at + 6));
}

// Neighbours whose wavy borders cross each other every few vertices and run within the default
// tolerance (5e-4) of each other: snapping may change the areas by about the tolerance times
// the border's length (0.008), never lose the union or turn it inside out.
TEST_F(ToolEndToEndTest, NeighboursWithBordersWithinTheToleranceKeepTheirAreas)
{
    const ShapefileBuilder::Part westStrip{
        {0.001086, 0.00726},  {0.000767, 0.006063}, {0.000714, 0.00485},  {0.000612, 0.003639},
        {0.00061, 0.002422},  {0.000496, 0.001213}, {0.000367, 0.000486}, {0.000363, 0.000486},
        {0.000363, 0.008118}, {0.001171, 0.008118}};
    const ShapefileBuilder::Part eastLand{
        {0.000366, 0.000807}, {0.000702, 0.003024}, {0.000605, 0.005269}, {0.000547, 0.007512},
        {0.000614, 0.008118}, {0.004311, 0.008118}, {0.004311, 0.000486}, {0.000363, 0.000486}};
    const auto west = m_folder / "west.shp";
    const auto east = m_folder / "east.shp";
    ShapefileBuilder().Polygon({westStrip}).WriteTo(west);
    ShapefileBuilder().Polygon({eastLand}).WriteTo(east);
    const std::string inputs = "'" + west.string() + "' '" + east.string() + "'";
    // The exact areas, and what snapping may change.
    for (const auto& [operation, exact] :
         {std::pair{"union", 3.004e-5}, std::pair{"intersection", 1.183e-6}})
    {
        const ToolRun run = Run(std::string(operation) + " --format summary " + inputs);
        ASSERT_EQ(run.Status, 0) << run.Err;
        EXPECT_NEAR(SummaryArea(run.Out), exact, 4e-6) << operation << '\n' << run.Out;
    }
}

TEST_F(ToolEndToEndTest, UniteGivesOnePolygonNamingEveryInputRecord)
{
    const ToolRun run = Run("unite " + Input("PS1.shp"));
    ASSERT_EQ(run.Status, 0) << run.Err;
    const nlohmann::json result = nlohmann::json::parse(run.Out);
    ASSERT_EQ(result.at("features").size(), 1U);
    const ToolRun info = Run("info --format geojson " + Input("PS1.shp"));
    const auto polygons = nlohmann::json::parse(info.Out).at("polygons").get<std::size_t>();
    EXPECT_EQ(result.at("features")[0].at("properties").at("parents").size(), polygons);
}

TEST_F(ToolEndToEndTest, ValidateListsInvalidRecordsAndExitsWithOne)
{
    const ToolRun invalid = Run("validate " + Input("ValidateF2.shp"));
    EXPECT_EQ(invalid.Status, 1);
    EXPECT_NE(invalid.Out.find("record 0: "), std::string::npos) << invalid.Out;
    EXPECT_NE(
        invalid.Out.find("An interior ring area partially overlaps an other interior ring area."),
        std::string::npos);
    const ToolRun valid = Run("validate " + Input("ValidateT1.shp"));
    EXPECT_EQ(valid.Status, 0) << valid.Out;
    EXPECT_NE(valid.Out.find("polygons are valid"), std::string::npos);
}

TEST_F(ToolEndToEndTest, StrictValidationAlsoReportsWhatOtherSoftwareRejects)
{
    // A hole touching its exterior ring at two points: valid here, a disconnected interior
    // for the simple-features rules.
    const auto touching = m_folder / "touching.shp";
    ShapefileBuilder()
        .Polygon({{{10, 10}, {10, 11}, {11, 11}, {11, 10}}})
        .Polygon({{{0, 0}, {0, 4}, {4, 4}, {4, 0}}, {{0, 2}, {2, 0}, {3, 2}}})
        .WriteTo(touching);
    const std::string path = "'" + touching.string() + "'";
    const ToolRun plain = Run("validate " + path);
    EXPECT_EQ(plain.Status, 0) << plain.Out << plain.Err;
    const ToolRun strict = Run("validate --strict " + path);
    EXPECT_EQ(strict.Status, 1) << strict.Err;
    EXPECT_NE(strict.Out.find("record 1: Interior is disconnected at (2 0)"), std::string::npos)
        << strict.Out;
    EXPECT_EQ(std::count(strict.Out.begin(), strict.Out.end(), '\n'), 2) << strict.Out;
}

TEST_F(ToolEndToEndTest, BadInputGivesOneLineNamingTheFileAndStatusTwo)
{
    const auto expectOneLine = [](const ToolRun& run, const std::string& fragment)
    {
        EXPECT_EQ(run.Status, 2);
        EXPECT_NE(run.Err.find(fragment), std::string::npos) << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
    };
    const std::string missing = (m_folder / "missing.shp").string();
    expectOneLine(Run("info '" + missing + "'"), missing + ": cannot open");

    std::vector<unsigned char> bytes = ShapefileBuilder()
                                           .Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}})
                                           .Polygon({{{5, 5}, {5, 6}, {6, 6}}})
                                           .Bytes();
    bytes.resize(bytes.size() - 10);
    const auto truncated = m_folder / "truncated.shp";
    {
        std::ofstream out(truncated, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    expectOneLine(Run("union '" + truncated.string() + "' " + Input("t1_1.shp")),
                  "record 2 at byte");
    // When both fail, or the second cannot be opened, the first one's failure is reported: it
    // is read first.
    const auto truncatedToo = m_folder / "truncated_too.shp";
    std::filesystem::copy_file(truncated, truncatedToo);
    for (const std::string threads : {" --threads 1", " --threads 2"})
    {
        const std::string first = "union '" + truncated.string() + "' ";
        expectOneLine(Run(first + "'" + truncatedToo.string() + "'" + threads),
                      truncated.string() + ": record 2 at byte");
        expectOneLine(Run(first + "'" + missing + "'" + threads),
                      truncated.string() + ": record 2 at byte");
        expectOneLine(
            Run("union " + Input("t1_1.shp") + " '" + truncatedToo.string() + "'" + threads),
            truncatedToo.string() + ": record 2 at byte");
    }

    const auto notShapefile = m_folder / "table.shp";
    std::ofstream(notShapefile)
        << "this is not a shapefile at all, but long enough to have a header";
    expectOneLine(Run("info '" + notShapefile.string() + "'"), "not a shapefile main file");

    expectOneLine(Run("intersection " + Input("t1_1.shp")), "takes 2 inputs");
    expectOneLine(Run("info -o '" + (m_folder / "no" / "such" / "dir.txt").string() + "' " +
                      Input("t1_1.shp")),
                  "cannot open the file for writing");
}

TEST_F(ToolEndToEndTest, WarningsAboutAnInputNameItOnce)
{
    const auto mixed = m_folder / "mixed.shp";
    ShapefileBuilder().Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}}).PointShape(5, 5).WriteTo(mixed);
    const ToolRun run = Run("union '" + mixed.string() + "' " + Input("t1_1.shp"));
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find("arealis: warning: " + mixed.string() +
                           ": 1 record that is not a polygon was skipped: 1 of shape type 1 "
                           "(point)."),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(run.Err.find(mixed.string() + ": " + mixed.string()), std::string::npos) << run.Err;
}

TEST_F(ToolEndToEndTest, InvalidPolygonsAreCountedByInfoAndWarnedAboutByOperations)
{
    const auto bowtie = m_folder / "bowtie.shp";
    ShapefileBuilder()
        .Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}})
        .Polygon({{{5, 5}, {6, 6}, {6, 5}, {5, 6}}})
        .WriteTo(bowtie);
    const std::string path = bowtie.string();

    const ToolRun info = Run("info '" + path + "'");
    EXPECT_EQ(info.Status, 0) << info.Err;
    EXPECT_NE(info.Out.find("polygons: 2"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("invalid or overlapping: 1"), std::string::npos) << info.Out;

    // An operation leaves the invalid polygon out, names it, and exits with 1 unless told to
    // accept that; the answer is the same either way.
    const ToolRun strict = Run("intersection '" + path + "' '" + path + "'");
    const ToolRun allowed = Run("intersection --allow-invalid '" + path + "' '" + path + "'");
    EXPECT_EQ(strict.Status, 1) << strict.Err;
    EXPECT_EQ(allowed.Status, 0) << allowed.Err;
    for (const ToolRun* run : {&strict, &allowed})
    {
        EXPECT_NE(
            run->Err.find("arealis: warning: " + path + ": record 1 left out of the operation: "),
            std::string::npos)
            << run->Err;
        // Once for A and once for B: the result, made in A's topology, is committed alone.
        std::size_t warnings = 0;
        for (std::size_t at = run->Err.find("left out of the operation"); at != std::string::npos;
             at = run->Err.find("left out of the operation", at + 1))
        {
            ++warnings;
        }
        EXPECT_EQ(warnings, 2U) << run->Err;
        const auto features = nlohmann::json::parse(run->Out).at("features");
        ASSERT_EQ(features.size(), 1U) << run->Out;
        for (const auto& parent : features[0].at("properties").at("parents"))
        {
            EXPECT_EQ(parent.at("record"), 0);
        }
    }

    EXPECT_NE(strict.Err.find("arealis: 2 invalid polygons of the inputs were left out"),
              std::string::npos)
        << strict.Err;
    // The union commits the larger layer once more: the invalid polygon is left out there too,
    // not a reason to fail.
    const ToolRun strictUnion = Run("union '" + path + "' '" + path + "'");
    const ToolRun allowedUnion = Run("union --allow-invalid '" + path + "' '" + path + "'");
    EXPECT_EQ(strictUnion.Status, 1) << strictUnion.Err;
    EXPECT_EQ(allowedUnion.Status, 0) << allowedUnion.Err;
    EXPECT_NE(allowedUnion.Err.find("record 1 left out of the operation: "), std::string::npos)
        << allowedUnion.Err;
    EXPECT_EQ(nlohmann::json::parse(allowedUnion.Out).at("features").size(), 1U)
        << allowedUnion.Out;
    // Unite puts its result in the input's topology as well.
    const ToolRun united = Run("unite --allow-invalid '" + path + "'");
    EXPECT_EQ(united.Status, 0) << united.Err;
    EXPECT_EQ(nlohmann::json::parse(united.Out).at("features").size(), 1U) << united.Out;

    EXPECT_NE(info.Out.find("records skipped, not polygons: 0"), std::string::npos) << info.Out;

    const ToolRun folder = Run("info '" + m_folder.string() + "'");
    EXPECT_EQ(folder.Status, 2);
    EXPECT_NE(folder.Err.find("is a folder, not a shapefile"), std::string::npos) << folder.Err;
}

// A malformed record stops the read (status 2) unless bad records are skipped: then every
// good record is read, each bad one listed, and the status is 1.
TEST_F(ToolEndToEndTest, SkippingBadRecordsReadsTheGoodOnesAndExitsWithOne)
{
    const auto damaged = m_folder / "damaged.shp";
    ShapefileBuilder()
        .Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}})
        .RawPolygon(5, 1, 4, {2}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}})
        .PointShape(5, 5)
        .Polygon({{{2, 0}, {2, 1}, {3, 1}, {3, 0}}})
        .WriteTo(damaged);
    const std::string path = "'" + damaged.string() + "'";
    for (const char* command : {"info ", "validate ", "unite "})
    {
        const ToolRun stopped = Run(command + path);
        EXPECT_EQ(stopped.Status, 2) << command << stopped.Err;
        EXPECT_NE(stopped.Err.find("record 2 at byte"), std::string::npos) << stopped.Err;

        const ToolRun skipped = Run(command + std::string("--skip-bad-records ") + path);
        EXPECT_EQ(skipped.Status, 1) << command << skipped.Err;
        EXPECT_NE(skipped.Err.find("arealis: warning: skipped " + damaged.string() +
                                   ": record 2 at byte 236: part 0 starts at point 2"),
                  std::string::npos)
            << skipped.Err;
        if (std::string(command) != "unite ")
        {
            EXPECT_NE(skipped.Out.find("records skipped, not polygons: 1 (1 of shape type 1 "
                                       "(point))"),
                      std::string::npos)
                << skipped.Out;
        }
    }
    const ToolRun info = Run("info --skip-bad-records " + path);
    EXPECT_NE(info.Out.find("polygons: 2"), std::string::npos) << info.Out;
}

} // namespace

namespace
{

// A longitude/latitude input gets the node grid and tolerance scaled to degrees, with one note,
// unless --grid and --tolerance say otherwise.
TEST_F(ToolEndToEndTest, GeographicInputsTakeAPrecisionInDegrees)
{
    const auto path = m_folder / "degrees.geojson";
    std::ofstream(path) << R"({"type":"FeatureCollection","features":[{"type":"Feature",
        "properties":{},"geometry":{"type":"Polygon","coordinates":[[[10,50],[10.0012347,50],
        [10.0012347,50.001],[10,50.001],[10,50]]]}}]})";
    const std::string input = "'" + path.string() + "'";
    const ToolRun fine = Run("unite " + input);
    ASSERT_EQ(fine.Status, 0) << fine.Err;
    EXPECT_NE(fine.Err.find("node grid 1e-09 and tolerance 5e-09 degrees"), std::string::npos)
        << fine.Err;
    const auto features = nlohmann::json::parse(fine.Out).at("features");
    EXPECT_NEAR(BoundsOf(features.at(0).at("geometry"))[2], 10.0012347, 1e-9);

    const ToolRun coarse = Run("unite --grid 1e-6 --tolerance 5e-4 " + input);
    ASSERT_EQ(coarse.Status, 0) << coarse.Err;
    EXPECT_EQ(coarse.Err.find("note:"), std::string::npos) << coarse.Err;
    const auto coarseFeatures = nlohmann::json::parse(coarse.Out).at("features");
    EXPECT_NEAR(BoundsOf(coarseFeatures.at(0).at("geometry"))[2], 10.001235, 1e-12);

    const ToolRun refused = Run("unite --tolerance 1e-10 " + input);
    EXPECT_EQ(refused.Status, 2);
    EXPECT_NE(refused.Err.find("smaller than the node grid step"), std::string::npos)
        << refused.Err;
}

} // namespace
