// Compares union, intersection and difference with GEOS on random pairs of polygons: the area
// of the symmetric difference between both results must stay below 1e-6 of the operands' area,
// and the results must have the same numbers of exterior rings and holes unless slivers are
// involved.
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "OverlayTestShapes.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <geos_c.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace Arealis;
using namespace OverlayTesting;

namespace
{

// --- GEOS with ownership ----------------------------------------------------------------------

void ReportGeosError(const char* message, void* pText)
{
    *static_cast<std::string*>(pText) = message;
}

class Geos
{
public:
    Geos() : m_context(GEOS_init_r())
    {
        GEOSContext_setErrorMessageHandler_r(m_context, &ReportGeosError, &m_lastError);
    }
    ~Geos() { GEOS_finish_r(m_context); }
    Geos(const Geos&) = delete;
    Geos& operator=(const Geos&) = delete;

    struct Deleter
    {
        GEOSContextHandle_t Context;
        void operator()(GEOSGeometry* pGeometry) const { GEOSGeom_destroy_r(Context, pGeometry); }
    };
    using Geometry = std::unique_ptr<GEOSGeometry, Deleter>;

    Geometry Own(GEOSGeometry* pGeometry) const
    {
        if (pGeometry == nullptr)
        {
            throw std::runtime_error("GEOS: " + m_lastError);
        }
        return Geometry(pGeometry, Deleter{m_context});
    }

    GEOSGeometry* Ring(const Vertices& points) const
    {
        GEOSCoordSequence* pSequence =
            GEOSCoordSeq_create_r(m_context, static_cast<unsigned>(points.size() + 1), 2);
        for (std::size_t i = 0; i <= points.size(); ++i)
        {
            const Point& p = points[i % points.size()];
            GEOSCoordSeq_setXY_r(m_context, pSequence, static_cast<unsigned>(i), p.X, p.Y);
        }
        return GEOSGeom_createLinearRing_r(m_context, pSequence);
    }

    Geometry Polygon(const Vertices& exterior, const std::vector<Vertices>& holes) const
    {
        std::vector<GEOSGeometry*> holeRings;
        for (const Vertices& hole : holes)
        {
            holeRings.push_back(Ring(hole));
        }
        return Own(GEOSGeom_createPolygon_r(m_context, Ring(exterior), holeRings.data(),
                                            static_cast<unsigned>(holeRings.size())));
    }

    // The union of the given polygons. Each is made valid first, so that a fault in a result
    // shows up as a difference of areas rather than as an error of GEOS.
    Geometry UnionOfParts(const std::vector<Geometry>& parts) const
    {
        std::vector<GEOSGeometry*> valid;
        for (const Geometry& part : parts)
        {
            valid.push_back(Own(GEOSMakeValid_r(m_context, part.get())).release());
        }
        Geometry collection = Own(GEOSGeom_createCollection_r(
            m_context, GEOS_GEOMETRYCOLLECTION, valid.data(), static_cast<unsigned>(valid.size())));
        return Own(GEOSUnaryUnion_r(m_context, collection.get()));
    }

    double Area(const GEOSGeometry* pGeometry) const
    {
        double area = 0;
        GEOSArea_r(m_context, pGeometry, &area);
        return area;
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

    GEOSContextHandle_t Context() const noexcept { return m_context; }

private:
    GEOSContextHandle_t m_context;
    std::string m_lastError;
};

Geos::Geometry ToGeos(const Geos& geos, const Shape& shape)
{
    std::vector<Geos::Geometry> parts;
    for (const Part& part : shape.Parts)
    {
        Vertices exterior;
        for (const Point& p : part.Exterior)
        {
            exterior.push_back({p.X * GridScale, p.Y * GridScale});
        }
        std::vector<Vertices> holes;
        for (const Vertices& hole : part.Holes)
        {
            holes.emplace_back();
            for (const Point& p : hole)
            {
                holes.back().push_back({p.X * GridScale, p.Y * GridScale});
            }
        }
        parts.push_back(geos.Polygon(exterior, holes));
    }
    return geos.UnionOfParts(parts);
}

Vertices PointsOf(const Ring& ring)
{
    Vertices points;
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        points.push_back(ring.GetNode(i)->Position);
    }
    return points;
}

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
    for (const Part& part : parts)
    {
        geometries.push_back(geos.Polygon(part.Exterior, part.Holes));
    }
    return geos.UnionOfParts(geometries);
}

struct OperationStatistics
{
    const char* Name = "";
    int Pairs = 0;
    double WorstRelativeError = 0;
    std::string WorstPair;
    int CountsCompared = 0;
    int SliverPairs = 0;
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

void Compare(const Geos& geos, const Shape& shapeA, const Shape& shapeB, Polygon& a, Polygon& b,
             const OverlayFunction& overlay, const GeosFunction& reference,
             OperationStatistics& statistics, const std::string& context)
{
    SCOPED_TRACE(std::string(statistics.Name) + " " + context);
    const Geos::Geometry geosA = ToGeos(geos, shapeA);
    const Geos::Geometry geosB = ToGeos(geos, shapeB);
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

    const double operandArea = Area(shapeA) + Area(shapeB);
    const double relativeError = geos.Area(difference.get()) / operandArea;
    ++statistics.Pairs;
    if (relativeError > statistics.WorstRelativeError)
    {
        statistics.WorstRelativeError = relativeError;
        statistics.WorstPair = context;
    }
    EXPECT_LT(relativeError, 1e-6);
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
    ++statistics.CountsCompared;
    EXPECT_EQ(ExteriorRingCount(*result), static_cast<int>(expectedParts.size()));
    EXPECT_EQ(result->GetRingCount() - ExteriorRingCount(*result), geos.HoleCount(expected.get()));
}

TEST(OverlayGeosTest, AgreesWithGeosOnRandomPairs)
{
    const Geos geos;
    std::vector<OperationStatistics> statistics(3);
    statistics[0].Name = "union";
    statistics[1].Name = "intersection";
    statistics[2].Name = "difference";
    const std::vector<OverlayFunction> overlays{
        [](Polygon& a, Polygon& b) { return Overlay::Union(a, b); },
        [](Polygon& a, Polygon& b) { return Overlay::Intersection(a, b); },
        [](Polygon& a, Polygon& b) { return Overlay::Substract(a, b); }};
    const std::vector<GeosFunction> references{&GEOSUnion_r, &GEOSIntersection_r,
                                               &GEOSDifference_r};
    std::map<std::string, int> kinds;
    constexpr int PairsPerKind = 200;
    for (int k = 0; k < static_cast<int>(ShapeGenerator::PairKind::Count); ++k)
    {
        const auto kind = static_cast<ShapeGenerator::PairKind>(k);
        ShapeGenerator generator(7000U + static_cast<std::uint32_t>(k));
        for (int i = 0; i < PairsPerKind && !HasFatalFailure(); ++i)
        {
            const auto [shapeA, shapeB] = generator.RandomPair(kind);
            auto a = MakeFreePolygon(shapeA);
            auto b = MakeFreePolygon(shapeB);
            const std::string context = std::string(ShapeGenerator::Name(kind)) + " #" +
                                        std::to_string(i) + " A " + Describe(shapeA) + " B " +
                                        Describe(shapeB);
            for (std::size_t op = 0; op < overlays.size(); ++op)
            {
                Compare(geos, shapeA, shapeB, *a, *b, overlays[op], references[op], statistics[op],
                        context);
            }
            ++kinds[ShapeGenerator::Name(kind)];
        }
    }
    for (const OperationStatistics& s : statistics)
    {
        std::printf("%-12s pairs %d, worst symmetric difference %.3g of the operands' area, "
                    "ring counts compared %d (left out for slivers %d)\n",
                    s.Name, s.Pairs, s.WorstRelativeError, s.CountsCompared, s.SliverPairs);
    }
    for (const auto& [name, count] : kinds)
    {
        std::printf("  %s: %d pairs\n", name.c_str(), count);
    }
}

} // namespace
