// Every polygon that the polygon and layer operations hand out must be valid for GEOS as well as
// for the library, on the generated cases that tend to give holes touching their exterior ring
// twice, nested exterior rings and rings touching themselves.
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonEnumerator.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/SimpleFeatureRules.h"
#include "Arealis/Topology.h"
#include "PolygonQueries.h"
#include "SimpleFeatureCases.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace Arealis;
using namespace Arealis::Testing;

namespace
{

void Fill(Polygon& polygon, const Rings& rings)
{
    for (const std::vector<Point>& points : rings)
    {
        Ring* pRing = polygon.CreateRing();
        for (const Point& p : points)
        {
            pRing->AddNode(p.X, p.Y);
        }
    }
}

class SimpleFeatureGeosTest : public ::testing::Test
{
protected:
    // Records a failure for a result polygon that either the library or GEOS refuses.
    void Check(Polygon& result, const std::string& what)
    {
        if (result.IsEmpty())
        {
            return;
        }
        const bool valid = result.IsValid();
        const std::string reason = m_cases.InvalidityReason(result);
        if ((!valid || !reason.empty()) && ++m_failures <= 10)
        {
            ADD_FAILURE() << what << ": " << (valid ? "" : "the library refuses it; ") << reason;
        }
        // The library's own check of the same rules must agree with GEOS.
        const auto problem = FindSimpleFeatureProblem(result);
        if (valid && problem.has_value() == reason.empty() && ++m_failures <= 10)
        {
            ADD_FAILURE() << what << ": GEOS says '" << reason << "', the strict check '"
                          << (problem ? problem->Describe() : "valid") << "'";
        }
    }

    void RunPolygonCase(std::uint64_t index)
    {
        const SimpleFeatureCase c = m_cases.Make(Seed, index);
        Polygon a(nullptr);
        Polygon b(nullptr);
        Fill(a, c.A.front());
        Fill(b, c.B.front());
        if (!a.IsValid() || !b.IsValid())
        {
            return;
        }
        const std::string name = c.Kind + " case " + std::to_string(index);
        Check(*Overlay::Union(a, b), name + " union");
        Check(*Overlay::Intersection(a, b), name + " intersection");
        Check(*Overlay::Substract(a, b), name + " A - B");
        Check(*Overlay::Substract(b, a), name + " B - A");
    }

    void RunLayerCase(std::uint64_t index)
    {
        const SimpleFeatureCase c = m_cases.Make(Seed, index);
        const TopologyPtr topology(Topology::Create());
        PolygonLayer* pA = topology->CreatePolygonLayer(false);
        PolygonLayer* pB = topology->CreatePolygonLayer(false);
        for (const Rings& rings : c.A)
        {
            Fill(*pA->CreatePolygon(), rings);
        }
        for (const Rings& rings : c.B)
        {
            Fill(*pB->CreatePolygon(), rings);
        }
        pA->Commit();
        pB->Commit();
        const std::string name = "cells case " + std::to_string(index);
        const std::vector<std::pair<const char*, PolygonLayer*>> results{
            {"intersection", topology->Intersection(pA, pB, false)},
            {"union", topology->Union(pA, pB, false)},
            {"subtract", topology->Substract(pA, pB, false)},
            {"join", topology->Join(pA, pB, false)}};
        for (const auto& [operation, pResult] : results)
        {
            for (Polygon* pPolygon : PolygonsOf(*pResult))
            {
                Check(*pPolygon, name + " layer " + operation);
            }
        }
        // The pieces of the join cover both layers: united, they give A and B in one polygon.
        const PolygonEnumerator pieces = results.back().second->GetPolygons();
        Check(*Overlay::UnitePolygons(pieces.GetEnumerator()), name + " unite");
    }

    static constexpr std::uint64_t Seed = 7;
    GeosContext m_geos;
    SimpleFeatureCases m_cases{m_geos};
    int m_failures = 0;
};

TEST_F(SimpleFeatureGeosTest, ResultsOfGeneratedCasesAreValidForGeos)
{
    for (std::uint64_t index = 0; index < 400; ++index)
    {
        if (index % SimpleFeatureCases::KindCount == 3)
        {
            RunLayerCase(index);
        }
        else
        {
            RunPolygonCase(index);
        }
    }
    EXPECT_EQ(m_failures, 0);
}

} // namespace
