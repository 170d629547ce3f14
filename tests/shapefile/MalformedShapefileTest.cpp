// Every kind of malformed main file in the bad-input table of ROBUSTNESS.md, read after one good
// polygon record: what the reader reports, and that the good polygon stays in the layer
// (uncommitted) whichever button answers the error box.
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "PolygonQueries.h"
#include "RecordingReporter.h"
#include "ScratchFolder.h"
#include "Shapefile/ShapefileReader.h"
#include "ShapefileBuilder.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace Arealis;
using Arealis::Testing::TopologyPtr;

namespace
{

const ShapefileBuilder::Part Square{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
const ShapefileBuilder::Part FarSquare{{20, 0}, {20, 5}, {25, 5}, {25, 0}};
const ShapefileBuilder::Part Overlapping{{5, 5}, {5, 15}, {15, 15}, {15, 5}};

std::vector<unsigned char> WithContent(std::int32_t shapeType, std::size_t extraBytes)
{
    std::vector<unsigned char> content;
    ShapefileBuilder::LittleInt(content, shapeType);
    content.resize(content.size() + extraBytes, 0);
    return content;
}

// One good square, then the bad part.
std::vector<unsigned char> AfterASquare(const std::function<void(ShapefileBuilder&)>& addBadPart)
{
    ShapefileBuilder builder;
    builder.Polygon({Square});
    addBadPart(builder);
    return builder.Bytes();
}

std::vector<unsigned char> Cut(std::vector<unsigned char> bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

struct BadFile
{
    const char* Kind;
    std::vector<unsigned char> Bytes;
    const char* Error; // a fragment of the error text
    std::int32_t Kept; // polygons left in the layer, none of them committed
};

std::vector<BadFile> BadFiles()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<ShapefileBuilder::Xy> four{{0, 0}, {0, 1}, {1, 1}, {0, 0}};
    const std::vector<unsigned char> squareOnly = ShapefileBuilder().Polygon({Square}).Bytes();
    const auto squareWords = static_cast<std::int32_t>(squareOnly.size() / 2);
    return {
        {"shorter than the header", Cut(squareOnly, 60), "too few for the 100-byte", 0},
        {"record header cut off",
         AfterASquare([&](ShapefileBuilder& b) { b.Garbage(4).DeclaredWords(squareWords + 2); }),
         "record 2 at byte 236: the record header is cut off", 1},
        {"record cut off",
         Cut(AfterASquare([](ShapefileBuilder& b) { b.Polygon({FarSquare}); }), 300),
         "record 2 at byte 236: content length 64 words does not fit", 1},
        {"negative content length",
         AfterASquare([](ShapefileBuilder& b)
                      { b.RecordWithDeclaredLength(-2, WithContent(5, 0)); }),
         "content length -2", 1},
        {"polygon record under 44 bytes",
         AfterASquare([](ShapefileBuilder& b)
                      { b.RecordWithDeclaredLength(12, WithContent(5, 20)); }),
         "the record holds 24 bytes, too few for a polygon record", 1},
        {"negative counts",
         AfterASquare([&](ShapefileBuilder& b) { b.RawPolygon(5, 1, -4, {0}, four); }),
         "negative count (NumParts 1, NumPoints -4)", 1},
        {"counts beyond the record",
         AfterASquare([&](ShapefileBuilder& b) { b.RawPolygon(5, 1, 400, {0}, four); }),
         "NumParts 1 and NumPoints 400 need 6448 bytes, but the record holds 112", 1},
        {"part starts out of order",
         AfterASquare(
             [&](ShapefileBuilder& b) {
                 b.RawPolygon(5, 3, 4, {0, 3, 1}, four);
             }),
         "part 2 starts at point 1, outside 3..4", 1},
        {"first part after point 0",
         AfterASquare([&](ShapefileBuilder& b) { b.RawPolygon(5, 1, 4, {1}, four); }),
         "part 0 starts at point 1, not at point 0", 1},
        {"not-a-number coordinate",
         AfterASquare(
             [&](ShapefileBuilder& b) {
                 b.Polygon({{{0, 0}, {nan, 1}, {1, 1}}});
             }),
         "point 1 has a coordinate that is not a finite number", 1},
        {"infinite coordinate",
         AfterASquare(
             [&](ShapefileBuilder& b) {
                 b.Polygon({{{0, 0}, {0, 1}, {1, -inf}}});
             }),
         "point 2 has a coordinate that is not a finite number", 1},
    };
}

class MalformedShapefileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_bad_shp");
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string Write(const std::vector<unsigned char>& bytes) const
    {
        const std::filesystem::path path = m_folder / "bad.shp";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    std::filesystem::path m_folder;
};

void ExpectNothingCommitted(const PolygonLayer& layer, const char* kind)
{
    EXPECT_EQ(layer.GetCommittedCount(), 0) << kind << ": an interrupted read commits nothing";
}

TEST_F(MalformedShapefileTest, EachMalformedFileIsOneErrorNamingFileAndPlaceAndKeepsEarlierRecords)
{
    for (const BadFile& file : BadFiles())
    {
        const std::string path = Write(file.Bytes);
        for (const bool answerOk : {true, false})
        {
            const TopologyPtr topology(Topology::Create());
            PolygonLayer* layer = topology->CreatePolygonLayer(false);
            RecordingReporter reporter(answerOk);
            if (answerOk)
            {
                EXPECT_THROW(ReadShapefile(*layer, path, reporter), ShapefileFormatException)
                    << file.Kind;
            }
            else
            {
                EXPECT_NO_THROW(ReadShapefile(*layer, path, reporter)) << file.Kind;
            }
            ASSERT_EQ(reporter.Errors.size(), 1U) << file.Kind;
            const std::string& error = reporter.Errors[0];
            EXPECT_EQ(error.rfind(path + ": ", 0), 0U) << file.Kind << ": " << error;
            EXPECT_NE(error.find(file.Error), std::string::npos) << file.Kind << ": " << error;
            EXPECT_NE(error.find("\r\nAt:\r\n    shp, line: 1623"), std::string::npos) << error;
            EXPECT_TRUE(reporter.Messages.empty()) << file.Kind;
            EXPECT_EQ(layer->GetPolygonCount(), file.Kept) << file.Kind;
            ExpectNothingCommitted(*layer, file.Kind);
        }
    }
}

TEST_F(MalformedShapefileTest, AFolderIsAnErrorAndNoPolygon)
{
    const TopologyPtr topology(Topology::Create());
    PolygonLayer* layer = topology->CreatePolygonLayer(false);
    RecordingReporter reporter(true);
    EXPECT_THROW(ReadShapefile(*layer, m_folder.string(), reporter), ShapefileFormatException);
    ASSERT_EQ(reporter.Errors.size(), 1U);
    EXPECT_EQ(reporter.Errors[0].rfind(m_folder.string() + ": ", 0), 0U) << reporter.Errors[0];
    EXPECT_EQ(layer->GetPolygonCount(), 0);
}

// What callers that open files by name check before reading: companion files by their name,
// anything else by the main file's code.
TEST_F(MalformedShapefileTest, FilesThatAreNotMainFilesAreRefusedByName)
{
    const std::vector<unsigned char> mainFile = ShapefileBuilder().Polygon({Square}).Bytes();
    const auto write = [this](const std::string& name, const std::vector<unsigned char>& bytes)
    {
        const std::filesystem::path path = m_folder / name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path.string();
    };
    const std::vector<std::pair<std::string, std::string>> cases{
        {write("layer.shp", mainFile), ""},
        {write("layer.SHX", mainFile), "an index file (.shx), not a shapefile main file (.shp)"},
        {write("layer.dbf", {3, 120, 1, 1}),
         "an attribute table (.dbf), not a shapefile main file (.shp)"},
        {write("table.shp", {3, 120, 1, 1}), "not a shapefile main file (file code 58196225, "
                                             "expected 9994)"},
        {write("short.shp", {0, 0}), ""},
    };
    for (const auto& [path, expected] : cases)
    {
        std::string error;
        try
        {
            CheckMainFile(path);
        }
        catch (const ShapefileFormatException& e)
        {
            error = e.Message();
        }
        EXPECT_EQ(error, expected.empty() ? "" : path + ": " + expected);
        // The code alone, whatever the name: the tool reads a main file under any extension.
        const bool mainCode = path.ends_with("layer.shp") || path.ends_with("layer.SHX");
        EXPECT_EQ(HasMainFileCode(path), mainCode) << path;
    }
}

// Files that are read without an error: what the commit or the skipping reports, and what the
// layer keeps.
TEST_F(MalformedShapefileTest, DeclaredLengthBeyondTheFileReadsEveryRecordThere)
{
    const TopologyPtr topology(Topology::Create());
    PolygonLayer* layer = topology->CreatePolygonLayer(false);
    RecordingReporter reporter(true);
    ReadShapefile(*layer,
                  Write(ShapefileBuilder()
                            .Polygon({Square})
                            .Polygon({FarSquare})
                            .DeclaredWords(std::numeric_limits<std::int32_t>::max())
                            .Bytes()),
                  reporter);
    EXPECT_TRUE(reporter.Errors.empty());
    EXPECT_TRUE(reporter.Messages.empty());
    EXPECT_EQ(layer->GetCommittedCount(), 2);
}

TEST_F(MalformedShapefileTest, OverlappingPolygonsAreReportedByTheCommitAndAllKept)
{
    const TopologyPtr topology(Topology::Create());
    PolygonLayer* layer = topology->CreatePolygonLayer(false);
    RecordingReporter reporter(true);
    ReadShapefile(*layer,
                  Write(ShapefileBuilder()
                            .Polygon({Square})
                            .Polygon({Overlapping})
                            .Polygon({FarSquare})
                            .Bytes()),
                  reporter);
    EXPECT_TRUE(reporter.Errors.empty());
    ASSERT_EQ(reporter.Messages.size(), 1U);
    EXPECT_EQ(reporter.Messages[0], "The polygon layer contains overlapping polygons.");
    EXPECT_EQ(layer->GetPolygonCount(), 3);
    EXPECT_GE(layer->GetEditingCount(), 1) << "an overlapping polygon stays uncommitted";
}

} // namespace
