#include "Arealis/DerivedLayerOperations.h"
#include "Arealis/Geometry.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Precision.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "PolygonQueries.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

using namespace Arealis;
using namespace Arealis::Testing;
using namespace ModelTesting;

namespace
{

// Layers at unit scale whose answers hinge on the tolerance: B's edges and vertices lie
// 0.0002 to 0.0003 from A's boundary (within the default tolerance, so they meet A there),
// beside plain crossings and a hole.
const std::vector<std::vector<Points>> LayerA = {
    {Box(0, 0, 2, 2)},
    {Box(2, 0, 4, 2)},
    {Box(0, 2, 2, 4), Hole(0.5, 2.5, 1.5, 3.5)},
};
const std::vector<std::vector<Points>> LayerB = {
    {Box(1, 1, 3, 3)},
    {Box(3.9998, 0.5, 5, 1.5)},
    {{{2.0003, 2.6}, {2.0003, 3.4}, {2.8, 3.0}}},
    {Box(1.2, 3.2, 1.4, 3.4)},
};

Points Scaled(const Points& points, double scale)
{
    Points scaled;
    for (const Point& p : points)
    {
        scaled.push_back({p.X * scale, p.Y * scale});
    }
    return scaled;
}

PolygonLayer& MakeLayer(Topology& topology, const std::vector<std::vector<Points>>& polygons,
                        double scale)
{
    PolygonLayer& layer = *topology.CreatePolygonLayer(true);
    for (const std::vector<Points>& rings : polygons)
    {
        Polygon& polygon = *layer.CreatePolygon();
        for (const Points& ring : rings)
        {
            AddPoints(*polygon.CreateRing(), Scaled(ring, scale));
        }
    }
    layer.Commit();
    return layer;
}

struct Answer
{
    std::int32_t Count = 0;
    double Area = 0.0; // divided by the scale squared
};

using LayerOperation = std::function<PolygonLayer*(Topology&, PolygonLayer*, PolygonLayer*)>;

const std::vector<std::pair<std::string, LayerOperation>> Operations = {
    {"union", [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Union(a, b, false); }},
    {"intersection",
     [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Intersection(a, b, false); }},
    {"subtract",
     [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Substract(a, b, false); }},
    {"join", [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Join(a, b, false); }},
    {"identity", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
     { return Identity(t, a, b, false); }},
    {"symmetric difference", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
     { return SymmetricDifference(t, a, b, false); }},
};

Answer RunScaled(const LayerOperation& operation, double scale)
{
    const Precision precision{DefaultNodeGridStep * scale, DefaultIntersectionTolerance * scale};
    TopologyPtr operands(Topology::Create());
    TopologyPtr results(Topology::Create());
    operands->SetPrecision(precision);
    results->SetPrecision(precision);
    PolygonLayer& a = MakeLayer(*operands, LayerA, scale);
    PolygonLayer& b = MakeLayer(*operands, LayerB, scale);
    const PolygonLayer& result = *operation(*results, &a, &b);
    Answer answer;
    for (const Polygon* polygon : PolygonsOf(result))
    {
        ++answer.Count;
        answer.Area += NetArea(*polygon) / (scale * scale);
    }
    results.reset(); // its layers' Parents collections may name operand polygons
    return answer;
}

} // namespace

// With the grid and the tolerance scaled like the coordinates, every layer operation gives the
// scaled answer: nothing in the library falls back on the default precision.
TEST(PrecisionTest, LayerOperationsGiveScaledAnswersWithAScaledPrecision)
{
    for (const auto& [name, operation] : Operations)
    {
        const Answer unit = RunScaled(operation, 1.0);
        ASSERT_GT(unit.Count, 0) << name;
        for (const double scale : {1e-4, 1e4})
        {
            const Answer scaled = RunScaled(operation, scale);
            EXPECT_EQ(scaled.Count, unit.Count) << name << " at scale " << scale;
            EXPECT_NEAR(scaled.Area, unit.Area, 1e-9 * unit.Area) << name << " at scale " << scale;
        }
    }
}

TEST(PrecisionTest, TopologyPrecisionIsValidatedAndFixedOnceNodesExist)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TopologyPtr topology(Topology::Create());
    for (const Precision& refused : {Precision{0.0, 1e-3}, Precision{-1e-6, 1e-3},
                                     Precision{nan, 1e-3}, Precision{1e-6, INFINITY},
                                     Precision{1e-6, 1e-7}})
    {
        EXPECT_THROW(topology->SetPrecision(refused), Exceptions::ArgumentException)
            << refused.GridStep << " " << refused.Tolerance;
    }
    EXPECT_EQ(topology->GetPrecision(), Precision{});

    topology->SetPrecision(Precision::Geographic());
    PolygonLayer& layer = *topology->CreatePolygonLayer(false);
    AddPoints(*layer.CreatePolygon()->CreateRing(), Box(0, 0, 1.23456789012, 1));
    layer.Commit();
    // Nodes lie on the topology's grid, finer than the default one.
    EXPECT_TRUE(layer.GetBounds().MaxX == SnapToNodeGrid(1.23456789012, 1e-9));
    EXPECT_THROW(topology->SetPrecision(Precision{}), Exceptions::InvalidOperationException);
    topology->SetPrecision({1e-9, 1e-8}); // the tolerance alone may change
    EXPECT_EQ(topology->GetPrecision().Tolerance, 1e-8);
}

// Operands in topologies of different precision are refused; polygons of no topology take the
// precision of the other operand.
TEST(PrecisionTest, OperandsOfDifferentPrecisionAreRefused)
{
    TopologyPtr fine(Topology::Create());
    TopologyPtr plain(Topology::Create());
    fine->SetPrecision(Precision::Geographic());
    PolygonLayer& a = MakeLayer(*fine, LayerA, 1.0);
    PolygonLayer& b = MakeLayer(*plain, LayerB, 1.0);
    EXPECT_THROW(plain->Intersection(&a, &b, false), Exceptions::ArgumentException);
    EXPECT_NO_THROW(fine->Intersection(&a, &a, false));
    EXPECT_THROW(Overlay::Intersection(*PolygonsOf(a)[0], *PolygonsOf(b)[0]),
                 Exceptions::ArgumentException);

    Polygon free(nullptr);
    AddPoints(*free.CreateRing(), Box(1.5, 1.5, 2.5, 2.5));
    const std::unique_ptr<Polygon> common = Overlay::Intersection(free, *PolygonsOf(a)[0]);
    EXPECT_NEAR(NetArea(*common), 0.25, 1e-12);
}
