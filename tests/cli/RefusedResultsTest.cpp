#include "RefusedResults.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "InputLayer.h"
#include "LayerStatistics.h"
#include "ScratchFolder.h"
#include "ShapefileBuilder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

using ArealisCli::InputLayer;

class RefusedResultsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = Arealis::Testing::ScratchFolder("arealis_cli_refused_results");
        std::filesystem::create_directories(m_folder);
        ShapefileBuilder()
            .Polygon({{{0, 0}, {0, 1}, {1, 1}, {1, 0}}})
            .Polygon({{{5, 0}, {5, 1}, {6, 1}, {6, 0}}})
            .WriteTo(m_folder / "a.shp");
        ShapefileBuilder()
            .Polygon({{{5.5, 0}, {5.5, 1}, {7, 1}, {7, 0}}})
            .WriteTo(m_folder / "b.shp");
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    // A result polygon in the layer whose one ring runs counter-clockwise: a hole without an
    // exterior, as an overlay that turned its rings inside out leaves it.
    static Arealis::Polygon* AddInsideOut(Arealis::PolygonLayer& layer, double x)
    {
        Arealis::Polygon* pPolygon = layer.CreatePolygon();
        Arealis::Ring* pRing = pPolygon->CreateRing();
        for (const Arealis::Point& p : {Arealis::Point{x, 0.0}, Arealis::Point{x + 1, 0.0},
                                        Arealis::Point{x + 1, 1.0}, Arealis::Point{x, 1.0}})
        {
            pRing->AddNode(p.X, p.Y);
        }
        return pPolygon;
    }

    // The message that the check throws, empty when it throws nothing.
    static std::string Failure(Arealis::PolygonLayer& layer, const InputLayer& a,
                               const InputLayer& b)
    {
        try
        {
            layer.Commit();
        }
        catch (const Arealis::InvalidPolygonException&)
        {
        }
        try
        {
            ArealisCli::ThrowIfResultRefused("union", layer, {&a, &b});
        }
        catch (const std::runtime_error& e)
        {
            return e.what();
        }
        return {};
    }

    std::filesystem::path m_folder;
};

// A refused result polygon fails the operation, named by its parents' records or, when it has
// none, by the records whose bounds meet it. (A result the commit takes whole passes: every
// operation of the end-to-end tests shows that.)
TEST_F(RefusedResultsTest, ARefusedResultIsNamedByTheRecordsItCameFrom)
{
    InputLayer a((m_folder / "a.shp").string(), "A", true);
    InputLayer b((m_folder / "b.shp").string(), "B", true, false, a);
    Arealis::Topology& topology = *a.Layer().GetTopology();
    const std::vector<Arealis::Polygon*> polygonsOfA = ArealisCli::AllPolygons(a.Layer());
    const std::vector<Arealis::Polygon*> polygonsOfB = ArealisCli::AllPolygons(b.Layer());
    ASSERT_EQ(polygonsOfA.size(), 2U);

    Arealis::PolygonLayer& withParents = *topology.CreatePolygonLayer(true);
    Collections::PlainArray<Arealis::Polygon*> parents;
    parents.Append(polygonsOfA[a.RecordOf(polygonsOfA[0]) == 1 ? 0 : 1]);
    parents.Append(polygonsOfB[0]);
    withParents.SetParents(AddInsideOut(withParents, 5), parents);
    const std::string named = Failure(withParents, a, b);
    EXPECT_EQ(named.rfind("union failed: the result polygon of A record 1 and B record 0 is not "
                          "valid (",
                          0),
              0U)
        << named;
    EXPECT_NE(named.find("; nothing was written"), std::string::npos) << named;
    withParents.ClearAllParents();

    Arealis::PolygonLayer& orphans = *topology.CreatePolygonLayer(true);
    AddInsideOut(orphans, 0.5);
    AddInsideOut(orphans, 20);
    const std::string byBounds = Failure(orphans, a, b);
    EXPECT_NE(byBounds.find("the result polygon of A record 0 is not valid"), std::string::npos)
        << byBounds;
    EXPECT_NE(byBounds.find(", and 1 more result polygons;"), std::string::npos) << byBounds;
}

} // namespace
