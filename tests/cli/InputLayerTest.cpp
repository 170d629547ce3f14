#include "Arealis/NodeSet.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "GdalTestFiles.h"
#include "InputLayer.h"
#include "InputReadBeside.h"
#include "LayerStatistics.h"
#include "Operations.h"
#include "ScratchFolder.h"
#include "ShapefileBuilder.h"
#include "Shapefile/ShapefileReader.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace
{

using ArealisCli::InputLayer;

class InputLayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_cli_input_layer");
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string In(const std::string& name) const { return (m_folder / name).string(); }

    static std::int32_t NodesOf(const InputLayer& input)
    {
        return input.Layer().GetTopology()->GetNodeSet().Count();
    }

    // a.shp, one square; b.shp, its neighbour and a square inside it; damaged.shp, whose
    // second of three records is malformed.
    void WriteTwoInputsAndADamagedOne() const
    {
        ShapefileBuilder().Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}}).WriteTo(In("a.shp"));
        ShapefileBuilder()
            .Polygon({{{1, 0}, {1, 1}, {2, 1}, {2, 0}}})
            .Polygon({{{0.25, 0.25}, {0.25, 0.75}, {0.75, 0.75}, {0.75, 0.25}}})
            .WriteTo(In("b.shp"));
        ShapefileBuilder()
            .Polygon({{{5, 5}, {5, 6}, {6, 6}, {6, 5}}})
            .RawPolygon(5, 1, 4, {2}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}})
            .Polygon({{{7, 5}, {7, 6}, {8, 6}, {8, 5}}})
            .WriteTo(In("damaged.shp"));
    }

    std::filesystem::path m_folder;
};

// The second input is a layer of the first one's topology: a shared vertex is one node. A
// second input whose read fails half-way takes the polygons it made out again, so that the
// first input's topology works on and is deleted as if it had never been read.
TEST_F(InputLayerTest, ASecondInputSharesNodesAndOneThatFailsLeavesNoneBehind)
{
    WriteTwoInputsAndADamagedOne();

    InputLayer a(In("a.shp"), "A", true);
    InputLayer b(In("b.shp"), "B", true, false, a);
    EXPECT_EQ(b.Layer().GetTopology(), a.Layer().GetTopology());
    EXPECT_EQ(NodesOf(a), 10);
    EXPECT_EQ(b.Precision().GridStep, a.Precision().GridStep);

    EXPECT_THROW(InputLayer(In("damaged.shp"), "B", true, false, a),
                 Arealis::ShapefileFormatException);
    EXPECT_EQ(NodesOf(a), 10);
    const Arealis::Topology& topology = *a.Layer().GetTopology();
    EXPECT_EQ(topology.GetLayer(topology.GetLayerCount() - 1)->GetPolygonCount(), 0);

    const ArealisCli::OperationResult result =
        ArealisCli::RunLayerOperation(ArealisCli::Operation::Intersection, a, b);
    EXPECT_EQ(result.Layer->GetPolygonCount(), 1);
    EXPECT_EQ(NodesOf(a), 10); // the piece's vertices are B's nodes
}

// A second input read beside the first, into a topology of its own with the first one's
// precision, joins the first one's topology as the constructor reading it there would: shared
// vertices are one node, records are kept. One that fails leaves the first input alone.
TEST_F(InputLayerTest, ASecondInputReadBesideJoinsTheFirstOnesTopology)
{
    WriteTwoInputsAndADamagedOne();

    ArealisCli::InputReadBeside beside(In("b.shp"), "B", false, 2);
    InputLayer a(In("a.shp"), "A", true, false, {}, 2,
                 [&beside](const Arealis::Precision& precision) { beside.Start(precision); });
    InputLayer* loaded = beside.Finish();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Precision(), a.Precision());
    InputLayer b(*loaded, a);
    beside.Discard();
    EXPECT_EQ(b.Layer().GetTopology(), a.Layer().GetTopology());
    EXPECT_EQ(a.Layer().GetTopology()->GetLayerCount(), 2);
    EXPECT_EQ(NodesOf(a), 10);
    EXPECT_FALSE(b.TookDegreeDefaults());
    const std::vector<Arealis::Polygon*> polygons = ArealisCli::AllPolygons(b.Layer());
    ASSERT_EQ(polygons.size(), 2U);
    EXPECT_EQ(b.RecordOf(polygons[0]) + b.RecordOf(polygons[1]), 1);
    const ArealisCli::OperationResult result =
        ArealisCli::RunLayerOperation(ArealisCli::Operation::Intersection, a, b, {}, 2);
    EXPECT_EQ(result.Layer->GetPolygonCount(), 1);
    EXPECT_EQ(NodesOf(a), 10);

    ArealisCli::InputReadBeside damaged(In("damaged.shp"), "B", false, 2);
    damaged.Start(a.Precision());
    EXPECT_THROW(damaged.Finish(), Arealis::ShapefileFormatException);
    EXPECT_EQ(NodesOf(a), 10);
    EXPECT_EQ(a.Layer().GetTopology()->GetLayerCount(), 3); // A, B and the result
}

// Transformed to A's reference system, B's copy takes the place of its layer in the shared
// topology and the original's nodes leave it; every copy keeps its record.
TEST_F(InputLayerTest, AReprojectedSecondInputLeavesOnlyItsCopyInTheTopology)
{
    using FormatsTesting::WriteTestSource;
    WriteTestSource(In("a.shp"), "ESRI Shapefile", "a", wkbPolygon, {},
                    {{"POLYGON ((0 0,2 0,2 2,0 2,0 0))", {}}}, 25832);
    WriteTestSource(In("b.shp"), "ESRI Shapefile", "b", wkbPolygon, {},
                    {{"POLYGON ((500001 1,500003 1,500003 3,500001 3,500001 1))", {}},
                     {"POLYGON ((500005 1,500007 1,500007 3,500005 3,500005 1))", {}}},
                    25833);
    InputLayer a(In("a.shp"), "A", true);
    InputLayer b(In("b.shp"), "B", true, false, a);
    ASSERT_EQ(NodesOf(a), 12);
    const Arealis::PolygonLayer* original = &b.Layer();

    b.Reproject(a.System());
    EXPECT_NE(&b.Layer(), original);
    EXPECT_EQ(original->GetPolygonCount(), 0);
    EXPECT_EQ(b.Layer().GetTopology(), a.Layer().GetTopology());
    EXPECT_EQ(NodesOf(a), 12); // A's four, and the copies' eight far from them
    EXPECT_EQ(b.System().Name, a.System().Name);
    const std::vector<Arealis::Polygon*> copies = ArealisCli::AllPolygons(b.Layer());
    ASSERT_EQ(copies.size(), 2U);
    EXPECT_EQ(b.RecordOf(copies[0]), 0);
    EXPECT_EQ(b.RecordOf(copies[1]), 1);
    EXPECT_GT(b.Layer().GetBounds().MinX, 600000.0); // six degrees of longitude east of A's
}

} // namespace
