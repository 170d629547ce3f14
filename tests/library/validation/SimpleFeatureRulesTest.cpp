// Polygons that the library's validation accepts, checked against the simple-features rules.
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/SimpleFeatureRules.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

using namespace Arealis;

namespace
{

using RingList = std::vector<std::vector<Point>>;

struct RuleCase
{
    const char* Name;
    RingList Rings;
    std::optional<SimpleFeatureFault> Fault;
    Point Location;
};

// Exterior rings clockwise, holes counter-clockwise.
const std::vector<Point> Square{{0, 0}, {0, 4}, {4, 4}, {4, 0}};

TEST(SimpleFeatureRulesTest, FindsWhatTheRulesRejectInValidPolygons)
{
    const std::vector<RuleCase> cases{
        {"plain square", {Square}, std::nullopt, {}},
        {"hole inside", {Square, {{1, 1}, {2, 1}, {2, 2}, {1, 2}}}, std::nullopt, {}},
        {"hole touching once", {Square, {{0, 2}, {2, 1}, {2, 3}}}, std::nullopt, {}},
        {"hole touching at two vertices",
         {Square, {{0, 2}, {2, 0}, {3, 2}}},
         SimpleFeatureFault::DisconnectedInterior,
         {2, 0}},
        {"hole touching an edge twice",
         {Square, {{0, 2}, {2, 1}, {4, 2}, {2, 3}}},
         SimpleFeatureFault::DisconnectedInterior,
         {4, 2}},
        {"holes in a chain across",
         {Square, {{0, 2}, {1, 1}, {2, 2}, {1, 3}}, {{2, 2}, {3, 1}, {4, 2}, {3, 3}}},
         SimpleFeatureFault::DisconnectedInterior,
         {4, 2}},
        {"two holes touching once", {Square, {{1, 1}, {2, 1}, {2, 2}}, {{2, 2}, {3, 2}, {3, 3}}},
         std::nullopt, {}},
        {"island in a hole", {Square, {{1, 1}, {3, 1}, {3, 3}, {1, 3}}, {{1.5, 1.5}, {1.5, 2.5}, {2.5, 2.5}, {2.5, 1.5}}},
         std::nullopt, {}},
    };
    for (const RuleCase& c : cases)
    {
        SCOPED_TRACE(c.Name);
        Polygon polygon(nullptr);
        for (const std::vector<Point>& points : c.Rings)
        {
            Ring* pRing = polygon.CreateRing();
            for (const Point& p : points)
            {
                pRing->AddNode(p.X, p.Y);
            }
        }
        if (!polygon.IsValid())
        {
            ADD_FAILURE() << "the library does not accept the polygon";
            continue;
        }
        const std::optional<SimpleFeatureProblem> problem = FindSimpleFeatureProblem(polygon);
        ASSERT_EQ(problem.has_value(), c.Fault.has_value())
            << (problem ? problem->Describe() : std::string("no problem found"));
        if (problem)
        {
            EXPECT_EQ(problem->Fault, *c.Fault);
            EXPECT_EQ(problem->Location, c.Location) << problem->Describe();
        }
    }
}

} // namespace
