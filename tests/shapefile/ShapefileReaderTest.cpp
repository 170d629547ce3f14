#include "Shapefile/ShapefileReader.h"

#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "PolygonQueries.h"
#include "RecordingReporter.h"
#include "ScratchFolder.h"
#include "ShapefileBuilder.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace Arealis;
using Arealis::Testing::TopologyPtr;

namespace
{

const ShapefileBuilder::Part Square{{0, 0}, {0, 10}, {10, 10}, {10, 0}};    // clockwise
const ShapefileBuilder::Part Hole{{2, 2}, {8, 2}, {8, 8}, {2, 8}};          // counter-clockwise
const ShapefileBuilder::Part FarSquare{{20, 0}, {20, 5}, {25, 5}, {25, 0}}; // clockwise
const ShapefileBuilder::Part CounterClockwise{{0, 0}, {10, 0}, {10, 10}, {0, 10}}; // a lone hole

class ShapefileReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_topology = Topology::Create();
        m_layer = m_topology->CreatePolygonLayer(true);
        m_folder = Arealis::Testing::ScratchFolder("arealis_shp");
        std::filesystem::create_directories(m_folder);
    }

    void TearDown() override
    {
        Topology::Delete(m_topology);
        std::filesystem::remove_all(m_folder);
    }

    std::string Write(const ShapefileBuilder& builder)
    {
        return builder.WriteTo(m_folder / "layer.shp");
    }

    // The builder's file without its last bytes.
    std::string WriteCut(const ShapefileBuilder& builder, std::size_t cutBytes)
    {
        std::vector<unsigned char> bytes = builder.Bytes();
        bytes.resize(bytes.size() - cutBytes);
        std::string path = (m_folder / "cut.shp").string();
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::vector<Polygon*> Polygons() const
    {
        std::vector<Polygon*> polygons;
        PolygonEnumerator enumerator = m_layer->GetPolygons();
        while (enumerator.MoveNext())
        {
            polygons.push_back(enumerator.Current());
        }
        return polygons;
    }

    // Reads a file that must fail: the error box is shown once, naming the file, and with OK
    // the error reaches the caller.
    std::string ReadExpectingFormatError(const std::string& path)
    {
        RecordingReporter reporter(true);
        EXPECT_THROW(ReadShapefile(*m_layer, path, reporter), ShapefileFormatException);
        EXPECT_EQ(reporter.Errors.size(), 1U);
        if (reporter.Errors.empty())
        {
            return {};
        }
        EXPECT_NE(reporter.Errors[0].find(path), std::string::npos) << reporter.Errors[0];
        EXPECT_NE(reporter.Errors[0].find("\r\nAt:\r\n    shp, line: 1623"), std::string::npos);
        return reporter.Errors[0];
    }

    Topology* m_topology = nullptr;
    PolygonLayer* m_layer = nullptr;
    std::filesystem::path m_folder;
};

TEST_F(ShapefileReaderTest, ReadsRecordsInOrderDroppingEachClosingPoint)
{
    RecordingReporter reporter;
    ReadShapefile(*m_layer, Write(ShapefileBuilder().Polygon({Square}).Polygon({FarSquare})),
                  reporter);
    EXPECT_TRUE(reporter.Messages.empty());
    EXPECT_TRUE(reporter.Errors.empty());
    ASSERT_EQ(m_layer->GetPolygonCount(), 2);
    std::vector<Polygon*> polygons = Polygons();
    ASSERT_EQ(polygons.size(), 2U);
    for (Polygon* polygon : polygons)
    {
        EXPECT_EQ(polygon->GetRingCount(), 1);
        EXPECT_EQ(polygon->GetNodeCount(), 4);
        EXPECT_FALSE(polygon->IsEditing()) << "the layer is committed at the end";
    }
    const Rectangle bounds = m_layer->GetBounds();
    EXPECT_EQ(bounds, Rectangle(0, 0, 25, 10));
}

TEST_F(ShapefileReaderTest, HoleListedFirstBecomesTheInteriorRingOfItsExterior)
{
    RecordingReporter reporter;
    ReadShapefile(*m_layer, Write(ShapefileBuilder().Polygon({Hole, Square})), reporter);
    ASSERT_EQ(Polygons().size(), 1U);
    Polygon* polygon = Polygons().front();
    EXPECT_TRUE(polygon->IsValid());
    RingEnumerator exteriors = polygon->GetRings(1);
    ASSERT_TRUE(exteriors.MoveNext());
    Ring* exterior = exteriors.Current();
    EXPECT_DOUBLE_EQ(exterior->GetSignedArea(), 100.0);
    RingEnumerator holes = polygon->GetInteriorRings(exterior);
    ASSERT_TRUE(holes.MoveNext());
    EXPECT_DOUBLE_EQ(holes.Current()->GetSignedArea(), -36.0);
    EXPECT_FALSE(holes.MoveNext());
    EXPECT_FALSE(polygon->ContainsPoint({5, 5}));
    EXPECT_TRUE(polygon->ContainsPoint({1, 5}));
}

// Z records load their x and y; the declared length limits the records read and bytes after
// it are ignored; a declared length of the header alone gives no polygon.
TEST_F(ShapefileReaderTest, RecordTypesAndTheDeclaredLengthDecideWhatIsRead)
{
    const auto oneRecordWords =
        static_cast<std::int32_t>(ShapefileBuilder().Polygon({Square}).Bytes().size() / 2);
    const struct
    {
        ShapefileBuilder File;
        std::int32_t Count;
        Rectangle Bounds;
    } cases[] = {
        {ShapefileBuilder().Polygon({Square}, 15).Polygon({FarSquare}, 15), 2, {0, 0, 25, 10}},
        {ShapefileBuilder().Polygon({Square}).Polygon({FarSquare}).DeclaredWords(oneRecordWords),
         1,
         {0, 0, 10, 10}},
        {ShapefileBuilder().Polygon({Square}).Garbage(13), 1, {0, 0, 10, 10}},
        {ShapefileBuilder().Polygon({Square}).DeclaredWords(50), 0, {}},
    };
    for (const auto& c : cases)
    {
        const TopologyPtr topology(Topology::Create());
        PolygonLayer* layer = topology->CreatePolygonLayer(true);
        RecordingReporter reporter;
        ReadShapefile(*layer, Write(c.File), reporter);
        EXPECT_TRUE(reporter.Errors.empty());
        EXPECT_EQ(layer->GetPolygonCount(), c.Count);
        if (c.Count > 0)
        {
            EXPECT_EQ(layer->GetBounds(), c.Bounds);
        }
    }
}

TEST_F(ShapefileReaderTest, RecordsThatAreNotPolygonsAreCountedByShapeTypeAndReportedOnce)
{
    RecordingReporter reporter;
    const ShapefileReadResult result = ReadShapefile(
        *m_layer,
        Write(ShapefileBuilder().NullShape().Polygon({Square}).PointShape(1, 2).PointShape(3, 4)),
        reporter, ShapefileReadOptions{});
    EXPECT_TRUE(reporter.Errors.empty());
    EXPECT_EQ(m_layer->GetPolygonCount(), 1);
    EXPECT_EQ(result.SkippedByShapeType, (std::map<std::int32_t, std::int64_t>{{0, 1}, {1, 2}}));
    ASSERT_EQ(reporter.Messages.size(), 1U);
    EXPECT_NE(reporter.Messages[0].find(": 3 records that are not polygons were skipped: 1 of "
                                        "shape type 0 (null), 2 of shape type 1 (point)."),
              std::string::npos)
        << reporter.Messages[0];
}

// Skipping bad records reads every good one, before and after, and lists each bad one; a
// record whose length leaves the file still ends the read, since nothing after it can be found.
TEST_F(ShapefileReaderTest, SkippingBadRecordsReadsEveryGoodOneAndListsEachBadOne)
{
    const std::vector<ShapefileBuilder::Xy> four{{0, 0}, {0, 1}, {1, 1}, {0, 0}};
    ShapefileBuilder builder;
    builder.Polygon({Square})
        .RawPolygon(5, 1, 4, {2}, four)
        .Polygon({Square})
        .RawPolygon(5, -1, 4, {}, four)
        .PointShape(1, 2)
        .Polygon({Square});
    RecordingReporter reporter;
    const ShapefileReadResult result =
        ReadShapefile(*m_layer, Write(builder), reporter, ShapefileReadOptions{{}, true});
    EXPECT_TRUE(reporter.Errors.empty());
    EXPECT_EQ(m_layer->GetPolygonCount(), 3);
    ASSERT_EQ(result.BadRecords.size(), 2U);
    EXPECT_NE(result.BadRecords[0].find("record 2 at byte 236: part 0 starts at point 2"),
              std::string::npos)
        << result.BadRecords[0];
    EXPECT_NE(result.BadRecords[1].find("record 4"), std::string::npos) << result.BadRecords[1];
    EXPECT_EQ(result.SkippedCount(), 1);

    RecordingReporter cut;
    const ShapefileReadResult ended = ReadShapefile(
        *m_layer,
        Write(ShapefileBuilder().Polygon({Square}).RecordWithDeclaredLength(1000, {5, 0, 0, 0})),
        cut, ShapefileReadOptions{{}, true});
    EXPECT_EQ(ended.BadRecords.size(), 1U);
    EXPECT_TRUE(cut.Errors.empty());
}

TEST_F(ShapefileReaderTest, InvalidPolygonIsReportedByTheCommitAndKept)
{
    RecordingReporter reporter;
    ReadShapefile(*m_layer, Write(ShapefileBuilder().Polygon({Square}).Polygon({CounterClockwise})),
                  reporter);
    EXPECT_TRUE(reporter.Errors.empty());
    ASSERT_EQ(reporter.Messages.size(), 1U);
    EXPECT_EQ(reporter.Messages[0], "The polygon layer contains invalid polygons.");
    EXPECT_EQ(m_layer->GetPolygonCount(), 2);
}

TEST_F(ShapefileReaderTest, MissingFileIsAnErrorNamingIt)
{
    const std::string error = ReadExpectingFormatError((m_folder / "missing.shp").string());
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_EQ(m_layer->GetPolygonCount(), 0);
}

// A file of count unit squares, a hundred to a row, apart from each other: large enough to be
// read ahead on a second thread.
ShapefileBuilder SquaresInRows(int count)
{
    ShapefileBuilder builder;
    for (int i = 0; i < count; ++i)
    {
        const int column = i % 100;
        const int row = i / 100;
        const double x = 2.0 * column;
        const double y = 2.0 * row;
        builder.Polygon({{{x, y}, {x, y + 1}, {x + 1, y + 1}, {x + 1, y}}});
    }
    return builder;
}

// Records are made in batches: a record that breaks the file after several batches' worth
// still leaves every record before it in the layer.
TEST_F(ShapefileReaderTest, TruncatedRecordAfterManyBatchesKeepsEveryEarlierPolygon)
{
    constexpr int Squares = 20000;
    ShapefileBuilder builder = SquaresInRows(Squares);
    builder.Polygon({FarSquare});
    const std::string error = ReadExpectingFormatError(WriteCut(builder, 20));
    EXPECT_NE(error.find("record " + std::to_string(Squares + 1)), std::string::npos) << error;
    EXPECT_EQ(m_layer->GetPolygonCount(), Squares);
    EXPECT_EQ(m_topology->GetNodeSet().Count(), 4 * Squares);
}

// A failure while the polygons are made (here the caller's callback) ends a long read with
// that error, also while the rest of the file is still being read, and keeps the polygons
// made before it, as a short read does.
TEST_F(ShapefileReaderTest, FailureWhileMakingPolygonsEndsALongReadAndKeepsTheEarlierOnes)
{
    constexpr int Squares = 20000;
    constexpr int Failing = 12345;
    ShapefileBuilder builder = SquaresInRows(Squares);
    const std::string path = Write(builder);
    for (const bool rethrow : {true, false})
    {
        SCOPED_TRACE(rethrow ? "rethrown" : "cancelled");
        Topology* topology = Topology::Create();
        PolygonLayer* layer = topology->CreatePolygonLayer(true);
        RecordingReporter reporter(rethrow);
        const auto failAt = [](Polygon*, std::int64_t record)
        {
            if (record == Failing)
            {
                throw std::runtime_error("stop here");
            }
        };
        if (rethrow)
        {
            EXPECT_THROW(ReadShapefile(*layer, path, reporter, failAt), std::runtime_error);
        }
        else
        {
            EXPECT_NO_THROW(ReadShapefile(*layer, path, reporter, failAt));
        }
        ASSERT_EQ(reporter.Errors.size(), 1U);
        EXPECT_NE(reporter.Errors[0].find("stop here"), std::string::npos);
        EXPECT_EQ(layer->GetPolygonCount(), Failing + 1);
        EXPECT_EQ(topology->GetNodeSet().Count(), 4 * (Failing + 1));
        Topology::Delete(topology);
    }
}

// The threads of this process now, from the kernel's status of it.
int ThreadsOfProcess()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
    {
        if (line.rfind("Threads:", 0) == 0)
        {
            return std::stoi(line.substr(8));
        }
    }
    return -1;
}

// A long file is read ahead on a second thread, unless the topology is held to one thread:
// then everything happens on the calling thread.
TEST_F(ShapefileReaderTest, TopologyOfOneThreadIsReadOnTheCallingThreadAlone)
{
    const std::string path = Write(SquaresInRows(20000));
    for (const int threads : {1, 0})
    {
        Topology* topology = Topology::Create();
        topology->SetLayerThreads(threads);
        PolygonLayer* layer = topology->CreatePolygonLayer(true);
        RecordingReporter reporter;
        const int before = ThreadsOfProcess();
        int most = before;
        ReadShapefile(*layer, path, reporter,
                      [&most](Polygon*, std::int64_t)
                      { most = std::max(most, ThreadsOfProcess()); });
        EXPECT_EQ(layer->GetPolygonCount(), 20000);
        if (threads == 1)
        {
            EXPECT_EQ(most, before);
        }
        else if (std::thread::hardware_concurrency() >= 2)
        {
            EXPECT_GT(most, before); // the count sees the reading thread
        }
        Topology::Delete(topology);
    }
}

// The nodes of many records are looked up together, in batches: squares sharing their corners
// across batches and a ring longer than a batch end up with the nodes, the counts and the rings
// that adding each record's points in turn gives.
TEST_F(ShapefileReaderTest, BatchedRecordsShareNodesAsRecordsAddedInTurnDo)
{
    std::vector<ShapefileBuilder::Part> parts;
    constexpr int Side = 90;
    for (int row = 0; row < Side; ++row)
    {
        for (int column = 0; column < Side; ++column)
        {
            const double x = column;
            const double y = row;
            parts.push_back({{x, y}, {x, y + 1}, {x + 1, y + 1}, {x + 1, y}});
        }
        if (row == Side / 2)
        {
            ShapefileBuilder::Part circle;
            for (int i = 0; i < 40000; ++i)
            {
                const double angle = -2.0 * std::numbers::pi * i / 40000;
                circle.push_back({200 + 50 * std::cos(angle), 50 + 50 * std::sin(angle)});
            }
            parts.push_back(circle);
        }
    }
    ShapefileBuilder builder;
    for (const ShapefileBuilder::Part& part : parts)
    {
        builder.Polygon({part});
    }
    RecordingReporter reporter;
    std::vector<Polygon*> read;
    ReadShapefile(*m_layer, Write(builder), reporter,
                  [&read](Polygon* polygon, std::int64_t) { read.push_back(polygon); });
    EXPECT_TRUE(reporter.Errors.empty());

    Topology* reference = Topology::Create();
    PolygonLayer* inTurn = reference->CreatePolygonLayer(true);
    std::vector<Polygon*> expected;
    for (const ShapefileBuilder::Part& part : parts)
    {
        expected.push_back(inTurn->CreatePolygon());
        Ring* ring = expected.back()->CreateRing();
        for (const ShapefileBuilder::Xy& p : part)
        {
            ring->AddNode(p.X, p.Y);
        }
    }
    EXPECT_EQ(m_topology->GetNodeSet().Count(), reference->GetNodeSet().Count());
    ASSERT_EQ(read.size(), parts.size());
    for (std::size_t k = 0; k < read.size(); ++k)
    {
        const Ring* mine = read[k]->GetFirstRing();
        const Ring* theirs = expected[k]->GetFirstRing();
        ASSERT_EQ(mine->Count(), theirs->Count());
        for (std::int32_t i = 0; i < mine->Count(); ++i)
        {
            ASSERT_EQ(mine->GetNode(i)->Position, theirs->GetNode(i)->Position) << i;
            ASSERT_EQ(mine->GetNode(i)->ReferenceCount, theirs->GetNode(i)->ReferenceCount) << i;
        }
    }
    Topology::Delete(reference);
}

TEST_F(ShapefileReaderTest, InconsistentCountsAreRefusedWithoutAllocatingThem)
{
    const std::vector<ShapefileBuilder::Xy> points{{0, 0}, {0, 1}, {1, 1}, {0, 0}};
    struct Case
    {
        std::int32_t Parts;
        std::int32_t Points;
        std::vector<std::int32_t> Starts;
        const char* Expected;
    };
    const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
    const std::vector<Case> cases{
        {-1, 4, {}, "negative count"},
        {1, -4, {0}, "negative count"},
        {1, huge, {0}, "need"},
        {huge, 4, {0}, "need"},
        {2, 4, {0, 5}, "part 1 starts at point 5"},
        {3, 4, {0, 3, 1}, "part 2 starts at point 1"},
        {2, 4, {2, 4}, "part 0 starts at point 2, not at point 0"},
        {1, 4, {-1}, "part 0 starts at point -1"},
    };
    for (const Case& c : cases)
    {
        const std::string error =
            ReadExpectingFormatError(Write(ShapefileBuilder().Polygon({Square}).RawPolygon(
                5, c.Parts, c.Points, c.Starts, points)));
        EXPECT_NE(error.find(c.Expected), std::string::npos) << error;
        EXPECT_NE(error.find("record 2"), std::string::npos) << error;
    }
    EXPECT_EQ(m_layer->GetPolygonCount(), static_cast<std::int32_t>(cases.size()))
        << "only the good first record of each file became a polygon";
}

TEST_F(ShapefileReaderTest, RecordLengthsThatLeaveTheFileAreErrors)
{
    std::vector<unsigned char> content;
    ShapefileBuilder::LittleInt(content, 5);
    const std::string negative =
        ReadExpectingFormatError(Write(ShapefileBuilder().RecordWithDeclaredLength(-8, content)));
    EXPECT_NE(negative.find("content length -8"), std::string::npos) << negative;
    const std::string beyond = ReadExpectingFormatError(Write(
        ShapefileBuilder().RecordWithDeclaredLength(1 << 30, content).DeclaredWords(1 << 30)));
    EXPECT_NE(beyond.find("does not fit"), std::string::npos) << beyond;
    EXPECT_EQ(m_layer->GetPolygonCount(), 0);
}

// Empty parts and records without parts or points are no format errors: the records around
// them are read.
TEST_F(ShapefileReaderTest, EmptyPartsAndEmptyRecordsAreNoErrors)
{
    const std::vector<ShapefileBuilder::Xy> points{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}};
    RecordingReporter reporter;
    ReadShapefile(*m_layer,
                  Write(ShapefileBuilder()
                            .RawPolygon(5, 2, 5, {0, 0}, points)
                            .RawPolygon(5, 0, 0, {}, {})
                            .RawPolygon(5, 1, 0, {0}, {})
                            .Polygon({FarSquare})),
                  reporter);
    EXPECT_TRUE(reporter.Errors.empty()) << reporter.Errors.front();
    std::vector<std::int32_t> nodeCounts;
    for (const Polygon* polygon : Polygons())
    {
        nodeCounts.push_back(polygon->GetNodeCount());
    }
    std::sort(nodeCounts.begin(), nodeCounts.end());
    EXPECT_EQ(nodeCounts.back(), 4);
    EXPECT_EQ(std::count(nodeCounts.begin(), nodeCounts.end(), 4), 2);
}

} // namespace

namespace
{

// The file is read in windows of a few megabytes: records that straddle the end of a window,
// and a record larger than a window, arrive whole and in order.
TEST_F(ShapefileReaderTest, RecordsAcrossAndBeyondTheReadWindowArriveWhole)
{
    constexpr int Squares = 200;
    ShapefileBuilder builder;
    for (int i = 0; i < Squares; ++i)
    {
        const double x = 20.0 * i;
        // Z and M arrays of growing lengths put the ends of the records all over the windows.
        builder.RawPolygon(15, 1, 5, {0}, {{x, 0}, {x, 10}, {x + 10, 10}, {x + 10, 0}, {x, 0}},
                           50000 + 38 * static_cast<std::size_t>(i));
    }
    std::vector<unsigned char> multipoint(std::size_t{9} << 20, 0);
    multipoint[0] = 8;
    builder.RecordWithDeclaredLength(static_cast<std::int32_t>(multipoint.size() / 2), multipoint);
    builder.Polygon({{{0, 20}, {0, 30}, {10, 30}, {10, 20}}});

    std::vector<std::int64_t> records;
    std::vector<Rectangle> bounds;
    RecordingReporter reporter;
    ReadShapefile(*m_layer, Write(builder), reporter,
                  [&](Polygon* polygon, std::int64_t record)
                  {
                      records.push_back(record);
                      bounds.push_back(polygon->GetBounds());
                  });
    EXPECT_TRUE(reporter.Errors.empty());
    ASSERT_EQ(reporter.Messages.size(), 1U);
    EXPECT_NE(reporter.Messages[0].find(
                  "1 record that is not a polygon was skipped: 1 of shape type 8 (multipoint)."),
              std::string::npos);
    ASSERT_EQ(records.size(), std::size_t{Squares + 1});
    for (int i = 0; i < Squares; ++i)
    {
        EXPECT_EQ(records[static_cast<std::size_t>(i)], i);
        EXPECT_EQ(bounds[static_cast<std::size_t>(i)], Rectangle(20.0 * i, 0, 20.0 * i + 10, 10));
    }
    EXPECT_EQ(records.back(), Squares + 1);
    EXPECT_EQ(bounds.back(), Rectangle(0, 20, 10, 30));
    EXPECT_EQ(m_layer->GetCommittedCount(), Squares + 1);
}

TEST_F(ShapefileReaderTest, CallbackGivesEachPolygonItsRecordPosition)
{
    std::vector<std::pair<Polygon*, std::int64_t>> seen;
    RecordingReporter reporter;
    ReadShapefile(
        *m_layer, Write(ShapefileBuilder().NullShape().Polygon({Square}).Polygon({FarSquare})),
        reporter,
        [&seen](Polygon* polygon, std::int64_t record) { seen.emplace_back(polygon, record); });
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0].second, 1);
    EXPECT_EQ(seen[1].second, 2);
    EXPECT_DOUBLE_EQ(seen[1].first->GetBounds().MinX, 20.0);
}

} // namespace
