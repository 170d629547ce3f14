// Compares union, intersection and difference with GEOS on random pairs of polygons: the area
// of the symmetric difference between both results must stay below 1e-6 of the operands' area,
// and the results must have the same numbers of exterior rings and holes unless slivers are
// involved.
#include "Arealis/Geometry.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/SegmentIntersection.h"
#include "GeosContext.h"
#include "overlay/OverlayTestShapes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <geos_c.h>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace Arealis;
using namespace OverlayTesting;
using Arealis::Testing::PointsOf;

namespace
{

// --- GEOS ---------------------------------------------------------------------------------------

class Geos : public Arealis::Testing::GeosContext
{
public:
    Geometry Polygon(const Vertices& exterior, const std::vector<Vertices>& holes) const
    {
        std::vector<GEOSGeometry*> holeRings;
        holeRings.reserve(holes.size());
        for (const Vertices& hole : holes)
        {
            holeRings.push_back(LinearRing(hole));
        }
        return Own(GEOSGeom_createPolygon_r(m_context, LinearRing(exterior), holeRings.data(),
                                            static_cast<unsigned>(holeRings.size())));
    }

    // The union of the given polygons. Each is made valid first, so that a fault in a result
    // shows up as a difference of areas rather than as an error of GEOS.
    Geometry UnionOfParts(const std::vector<Geometry>& parts) const
    {
        std::vector<Geometry> valid;
        valid.reserve(parts.size());
        for (const Geometry& part : parts)
        {
            valid.push_back(Own(GEOSMakeValid_r(m_context, part.get())));
        }
        return UnionOf(std::move(valid));
    }

    // Areas of the polygons of a geometry (lines and points of a collection are left out).
    std::vector<double> PolygonAreas(const GEOSGeometry* pGeometry) const
    {
        std::vector<double> areas;
        const int type = GEOSGeomTypeId_r(m_context, pGeometry);
        if (type == GEOS_POLYGON)
        {
            if (!GEOSisEmpty_r(m_context, pGeometry))
            {
                areas.push_back(Area(pGeometry));
            }
        }
        else if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION)
        {
            const int count = GEOSGetNumGeometries_r(m_context, pGeometry);
            for (int i = 0; i < count; ++i)
            {
                const std::vector<double> inner =
                    PolygonAreas(GEOSGetGeometryN_r(m_context, pGeometry, i));
                areas.insert(areas.end(), inner.begin(), inner.end());
            }
        }
        return areas;
    }

    int HoleCount(const GEOSGeometry* pGeometry) const
    {
        const int type = GEOSGeomTypeId_r(m_context, pGeometry);
        if (type == GEOS_POLYGON)
        {
            return GEOSisEmpty_r(m_context, pGeometry)
                       ? 0
                       : GEOSGetNumInteriorRings_r(m_context, pGeometry);
        }
        int holes = 0;
        if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION)
        {
            const int count = GEOSGetNumGeometries_r(m_context, pGeometry);
            for (int i = 0; i < count; ++i)
            {
                holes += HoleCount(GEOSGetGeometryN_r(m_context, pGeometry, i));
            }
        }
        return holes;
    }
};

// A validated result: each exterior ring followed by its holes.
std::vector<Part> PartsOf(const Polygon& polygon)
{
    std::vector<Part> parts;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        if (ring.IsExterior())
        {
            parts.push_back(Part{PointsOf(ring), {}});
        }
        else if (!parts.empty())
        {
            parts.back().Holes.push_back(PointsOf(ring));
        }
    }
    return parts;
}

Geos::Geometry ToGeos(const Geos& geos, const std::vector<Part>& parts)
{
    std::vector<Geos::Geometry> geometries;
    geometries.reserve(parts.size());
    for (const Part& part : parts)
    {
        geometries.push_back(geos.Polygon(part.Exterior, part.Holes));
    }
    return geos.UnionOfParts(geometries);
}

// Vertices of one operand nearer than the overlay's tolerance to an edge of the other without
// lying exactly on it: the overlay moves them onto that edge, GEOS does not. Their number and
// the area that moving them can change.
struct SnappedVertices
{
    int Count = 0;
    double AreaAllowance = 0;
};

void AddSnappedVertices(const std::vector<Part>& from, const std::vector<Part>& onto,
                        SnappedVertices& snapped)
{
    std::vector<const Vertices*> targets;
    for (const Part& part : onto)
    {
        targets.push_back(&part.Exterior);
        for (const Vertices& hole : part.Holes)
        {
            targets.push_back(&hole);
        }
    }
    const auto visit = [&](const Vertices& ring)
    {
        for (std::size_t i = 0; i < ring.size(); ++i)
        {
            const Point& p = ring[i];
            double nearest = std::numeric_limits<double>::max();
            for (const Vertices* pTarget : targets)
            {
                for (std::size_t j = 0; j < pTarget->size(); ++j)
                {
                    nearest = std::min(
                        nearest, SquaredDistanceToSegment(p, (*pTarget)[j],
                                                          (*pTarget)[(j + 1) % pTarget->size()]));
                }
            }
            const double tolerance = Arealis::DefaultIntersectionTolerance;
            if (nearest > 0 && nearest < tolerance * tolerance)
            {
                const Point& before = ring[(i + ring.size() - 1) % ring.size()];
                const Point& after = ring[(i + 1) % ring.size()];
                ++snapped.Count;
                snapped.AreaAllowance +=
                    std::sqrt(nearest) *
                    (std::sqrt(SquaredDistance(before, p)) + std::sqrt(SquaredDistance(p, after))) /
                    2;
            }
        }
    };
    for (const Part& part : from)
    {
        visit(part.Exterior);
        for (const Vertices& hole : part.Holes)
        {
            visit(hole);
        }
    }
}

struct OperationStatistics
{
    const char* Name = "";
    int Pairs = 0;
    double WorstRelativeError = 0;
    std::string WorstPair;
    int CountsCompared = 0;
    int SliverPairs = 0;
    int SnappedPairs = 0;
    int SnappedVertexCount = 0;
};

using OverlayFunction = std::function<std::unique_ptr<Polygon>(Polygon&, Polygon&)>;
using GeosFunction =
    std::function<GEOSGeometry*(GEOSContextHandle_t, const GEOSGeometry*, const GEOSGeometry*)>;

std::string Describe(const Shape& shape)
{
    std::ostringstream text;
    for (const Part& part : shape.Parts)
    {
        text << "[";
        for (const Point& p : part.Exterior)
        {
            text << p.X << "," << p.Y << " ";
        }
        for (const Vertices& hole : part.Holes)
        {
            text << "| ";
            for (const Point& p : hole)
            {
                text << p.X << "," << p.Y << " ";
            }
        }
        text << "]";
    }
    return text.str();
}

// Operands are polygons whose rings come as exterior rings, each followed by its holes: made
// that way, or validated (which organises them so).
void Compare(const Geos& geos, Polygon& a, Polygon& b, const OverlayFunction& overlay,
             const GeosFunction& reference, OperationStatistics& statistics,
             const std::string& context)
{
    SCOPED_TRACE(std::string(statistics.Name) + " " + context);
    const std::vector<Part> partsOfA = PartsOf(a);
    const std::vector<Part> partsOfB = PartsOf(b);
    const Geos::Geometry geosA = ToGeos(geos, partsOfA);
    const Geos::Geometry geosB = ToGeos(geos, partsOfB);
    SnappedVertices snapped;
    AddSnappedVertices(partsOfA, partsOfB, snapped);
    AddSnappedVertices(partsOfB, partsOfA, snapped);
    const Geos::Geometry expected = geos.Own(reference(geos.Context(), geosA.get(), geosB.get()));

    const std::unique_ptr<Polygon> result = overlay(a, b);
    if (!result->IsEmpty())
    {
        ASSERT_NO_THROW(result->Validate(true));
    }
    const std::vector<Part> parts = PartsOf(*result);
    const Geos::Geometry actual = ToGeos(geos, parts);
    const Geos::Geometry difference =
        geos.Own(GEOSSymDifference_r(geos.Context(), actual.get(), expected.get()));

    const double operandArea = NetArea(a) + NetArea(b);
    const double relativeError = geos.Area(difference.get()) / operandArea;
    ++statistics.Pairs;
    if (relativeError > statistics.WorstRelativeError)
    {
        statistics.WorstRelativeError = relativeError;
        statistics.WorstPair = context;
    }
    EXPECT_LT(relativeError, std::max(1e-6, snapped.AreaAllowance / operandArea));
    // Whatever the tolerance does, a union covers each operand and an intersection lies in
    // each, up to what snapping may move.
    const double allowance = snapped.AreaAllowance + 1e-6 * operandArea;
    if (std::string(statistics.Name) == "union")
    {
        EXPECT_GE(NetArea(*result), std::max(NetArea(a), NetArea(b)) - allowance);
    }
    else if (std::string(statistics.Name) == "intersection")
    {
        EXPECT_LE(NetArea(*result), std::min(NetArea(a), NetArea(b)) + allowance);
    }
    // The overlay's own area must be the area GEOS sees in its rings.
    EXPECT_NEAR(NetArea(*result), geos.Area(actual.get()), 1e-6 * operandArea);

    const std::vector<double> expectedParts = geos.PolygonAreas(expected.get());
    bool sliver = std::any_of(expectedParts.begin(), expectedParts.end(),
                              [&](double area) { return area < 1e-9 * operandArea; });
    RingEnumerator rings = result->GetRings();
    while (rings.MoveNext())
    {
        sliver = sliver || std::abs(rings.Current()->GetSignedArea()) < 1e-9 * operandArea;
    }
    if (sliver)
    {
        ++statistics.SliverPairs;
        return;
    }
    // Snapped vertices may join or part areas that GEOS sees a hair apart or overlapping.
    if (snapped.Count > 0)
    {
        ++statistics.SnappedPairs;
        statistics.SnappedVertexCount += snapped.Count;
        return;
    }
    ++statistics.CountsCompared;
    EXPECT_EQ(ExteriorRingCount(*result), static_cast<int>(expectedParts.size()));
    EXPECT_EQ(result->GetRingCount() - ExteriorRingCount(*result), geos.HoleCount(expected.get()));
}

struct Operations
{
    std::vector<OperationStatistics> Statistics{3};
    std::vector<OverlayFunction> Overlays{
        [](Polygon& a, Polygon& b) { return Overlay::Union(a, b); },
        [](Polygon& a, Polygon& b) { return Overlay::Intersection(a, b); },
        [](Polygon& a, Polygon& b) { return Overlay::Substract(a, b); }};
    std::vector<GeosFunction> References{&GEOSUnion_r, &GEOSIntersection_r, &GEOSDifference_r};

    Operations()
    {
        Statistics[0].Name = "union";
        Statistics[1].Name = "intersection";
        Statistics[2].Name = "difference";
    }

    void CompareAll(const Geos& geos, Polygon& a, Polygon& b, const std::string& context)
    {
        for (std::size_t op = 0; op < Overlays.size(); ++op)
        {
            Compare(geos, a, b, Overlays[op], References[op], Statistics[op], context);
        }
    }

    void Print() const
    {
        for (const OperationStatistics& s : Statistics)
        {
            std::printf("%-12s pairs %d, worst symmetric difference %.3g of the operands' area, "
                        "ring counts compared %d (left out: slivers %d, snapped vertices %d in %d "
                        "pairs)\n",
                        s.Name, s.Pairs, s.WorstRelativeError, s.CountsCompared, s.SliverPairs,
                        s.SnappedVertexCount, s.SnappedPairs);
        }
    }
};

constexpr int PairsPerKind = 200;

TEST(OverlayGeosTest, AgreesWithGeosOnRandomPairs)
{
    const Geos geos;
    Operations operations;
    std::map<std::string, int> kinds;
    for (int k = 0; k < static_cast<int>(ShapeGenerator::PairKind::Count); ++k)
    {
        const auto kind = static_cast<ShapeGenerator::PairKind>(k);
        ShapeGenerator generator(7000U + static_cast<std::uint32_t>(k));
        for (int i = 0; i < PairsPerKind && !HasFatalFailure(); ++i)
        {
            const auto [shapeA, shapeB] = generator.RandomPair(kind);
            auto a = MakeFreePolygon(shapeA);
            auto b = MakeFreePolygon(shapeB);
            operations.CompareAll(geos, *a, *b,
                                  std::string(ShapeGenerator::Name(kind)) + " #" +
                                      std::to_string(i) + " A " + Describe(shapeA) + " B " +
                                      Describe(shapeB));
            ++kinds[ShapeGenerator::Name(kind)];
        }
    }
    operations.Print();
    for (const auto& [name, count] : kinds)
    {
        std::printf("  %s: %d pairs\n", name.c_str(), count);
    }
}

// Results used as operands again, as the layer operations do: their crossing points, rounded
// to the node grid, lie within a millionth of the other operand's edges, and the pieces of
// one overlay share long stretches of boundary.
TEST(OverlayGeosTest, AgreesWithGeosOnResultsOfEarlierOverlays)
{
    const Geos geos;
    Operations operations;
    int pairs = 0;
    const ShapeGenerator::PairKind kinds[] = {
        ShapeGenerator::PairKind::Independent, ShapeGenerator::PairKind::Histograms,
        ShapeGenerator::PairKind::Large, ShapeGenerator::PairKind::Inscribed};
    for (const ShapeGenerator::PairKind kind : kinds)
    {
        ShapeGenerator generator(9000U + static_cast<std::uint32_t>(kind));
        for (int i = 0; i < PairsPerKind / 3 && !HasFatalFailure(); ++i)
        {
            const auto [shapeX, shapeY] = generator.RandomPair(kind);
            auto x = MakeFreePolygon(shapeX);
            auto y = MakeFreePolygon(shapeY);
            auto parts = Overlay::Partition(*x, *y);
            auto united = Overlay::Union(*x, *y);
            const std::string context = std::string(ShapeGenerator::Name(kind)) + " #" +
                                        std::to_string(i) + " X " + Describe(shapeX) + " Y " +
                                        Describe(shapeY);
            // X n Y, X - Y, Y - X: adjacent pieces; X u Y: around them.
            std::vector<std::pair<Polygon*, Polygon*>> derived{{parts[1].get(), parts[0].get()},
                                                               {parts[1].get(), y.get()},
                                                               {parts[0].get(), parts[2].get()},
                                                               {united.get(), parts[1].get()},
                                                               {x.get(), parts[2].get()}};
            for (auto [pA, pB] : derived)
            {
                if (pA->IsEmpty() || pB->IsEmpty())
                {
                    continue;
                }
                pA->Validate(true);
                pB->Validate(true);
                operations.CompareAll(geos, *pA, *pB, context);
                ++pairs;
            }
        }
    }
    operations.Print();
    std::printf("  %d pairs of results\n", pairs);
}

} // namespace
