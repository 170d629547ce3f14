#pragma once

// Operand pairs whose overlay results tend to break the simple-features rules that other GIS
// software checks (a hole touching its exterior ring at two points, an exterior ring inside
// another without the hole between them, rings touching themselves), and the check of a
// result against those rules by GEOS. Kinds of case:
//  - grid: unions of random unit cells (staircase outlines, square holes) against copies or
//    other unions shifted by half a unit;
//  - nested: squares nested two or three deep a few thousandths apart, near 1e3 or -5e4;
//  - far: grid unions a few thousandths per cell at offsets near 1e7;
//  - cells: small layers of a few random grid cells, one polygon per cell, against others
//    shifted by half a cell (for the layer operations).

#include "Arealis/Point.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "GeosContext.h"

#include <algorithm>
#include <cstdint>
#include <geos_c.h>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Arealis::Testing
{

using Rings = std::vector<std::vector<Point>>;

struct SimpleFeatureCase
{
    std::string Kind;
    // Polygons as sets of rings (exterior rings and holes, either orientation): the polygon
    // operations take the first of each side, the layer operations all of them.
    std::vector<Rings> A;
    std::vector<Rings> B;
};

class SimpleFeatureCases
{
public:
    static constexpr int KindCount = 4;

    explicit SimpleFeatureCases(const GeosContext& geos) : m_geos(geos) {}

    // Case i has kind i modulo KindCount; the same seed and index give the same case.
    SimpleFeatureCase Make(std::uint64_t seed, std::uint64_t index) const
    {
        std::mt19937_64 random(seed * 0x9E3779B97F4A7C15ULL + index);
        switch (index % KindCount)
        {
        case 0:
            return GridCase(random, Frame{1, 0, 0}, "grid");
        case 1:
            return NestedCase(random);
        case 2:
        {
            const double scale = Uniform(random, 0.002, 0.005);
            return GridCase(random, Frame{scale, 1e7 + Uniform(random, 0, 1e3), 1e7}, "far");
        }
        default:
            return CellsCase(random);
        }
    }

    // Why GEOS refuses the polygon as a multipolygon of each exterior ring with the holes
    // assigned to it, or an empty text when it accepts it.
    std::string InvalidityReason(const Polygon& polygon) const
    {
        const GEOSContextHandle_t context = m_geos.Context();
        std::vector<GEOSGeometry*> parts;
        RingEnumerator exteriors = polygon.GetRings(RingEnumerator::ExteriorRings);
        while (exteriors.MoveNext())
        {
            Ring* pExterior = exteriors.Current();
            std::vector<GEOSGeometry*> holes;
            RingEnumerator interior = const_cast<Polygon&>(polygon).GetInteriorRings(pExterior);
            while (interior.MoveNext())
            {
                holes.push_back(m_geos.LinearRing(PointsOfRing(*interior.Current())));
            }
            parts.push_back(GEOSGeom_createPolygon_r(context,
                                                     m_geos.LinearRing(PointsOfRing(*pExterior)),
                                                     holes.data(), static_cast<unsigned>(holes.size())));
        }
        const GeosContext::Geometry multi = m_geos.Own(GEOSGeom_createCollection_r(
            context, GEOS_MULTIPOLYGON, parts.data(), static_cast<unsigned>(parts.size())));
        if (GEOSisValid_r(context, multi.get()) == 1)
        {
            return {};
        }
        char* pReason = GEOSisValidReason_r(context, multi.get());
        std::string reason = pReason != nullptr ? pReason : "invalid";
        GEOSFree_r(context, pReason);
        return reason;
    }

    static std::vector<Point> PointsOfRing(const Ring& ring)
    {
        std::vector<Point> points;
        for (std::int32_t i = 0; i < ring.Count(); ++i)
        {
            points.push_back(ring.GetNode(i)->Position);
        }
        return points;
    }

private:
    struct Frame
    {
        double Scale;
        double OffsetX;
        double OffsetY;
        Point ToWorld(double x, double y) const { return {OffsetX + x * Scale, OffsetY + y * Scale}; }
    };
    using Cells = std::set<std::pair<int, int>>;

    static double Uniform(std::mt19937_64& random, double low, double high)
    {
        return std::uniform_real_distribution<double>(low, high)(random);
    }
    static int Between(std::mt19937_64& random, int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(random);
    }

    // Random cells of an n x n grid: either scattered or a staircase with single cells cut out.
    static Cells RandomCells(std::mt19937_64& random)
    {
        const int n = Between(random, 3, 6);
        Cells cells;
        if (Between(random, 0, 1) == 0)
        {
            const double density = Uniform(random, 0.4, 0.8);
            for (int x = 0; x < n; ++x)
            {
                for (int y = 0; y < n; ++y)
                {
                    if (Uniform(random, 0, 1) < density)
                    {
                        cells.insert({x, y});
                    }
                }
            }
        }
        else
        {
            for (int x = 0; x < n; ++x)
            {
                for (int y = 0; y < n - x + 1; ++y)
                {
                    cells.insert({x, y});
                }
            }
            for (int holes = Between(random, 1, 3); holes > 0; --holes)
            {
                cells.erase({Between(random, 1, n - 2), Between(random, 1, n - 2)});
            }
        }
        if (cells.empty())
        {
            cells.insert({0, 0});
        }
        return cells;
    }

    std::vector<Point> Square(const Frame& frame, double x, double y, double size) const
    {
        return {frame.ToWorld(x, y), frame.ToWorld(x, y + size), frame.ToWorld(x + size, y + size),
                frame.ToWorld(x + size, y)};
    }

    // The rings of the union of the cells, moved by (dx, dy) cells, as GEOS outlines it.
    Rings Outline(const Cells& cells, const Frame& frame, double dx, double dy) const
    {
        std::vector<GeosContext::Geometry> squares;
        for (const auto& [x, y] : cells)
        {
            squares.push_back(m_geos.Own(GEOSGeom_createPolygon_r(
                m_geos.Context(), m_geos.LinearRing(Square(frame, x + dx, y + dy, 1)), nullptr, 0)));
        }
        const GeosContext::Geometry united = m_geos.UnionOf(std::move(squares));
        Rings rings;
        AppendRings(united.get(), rings);
        return rings;
    }

    void AppendRings(const GEOSGeometry* pGeometry, Rings& rings) const
    {
        const GEOSContextHandle_t context = m_geos.Context();
        if (GEOSGeomTypeId_r(context, pGeometry) == GEOS_MULTIPOLYGON)
        {
            for (int i = 0; i < GEOSGetNumGeometries_r(context, pGeometry); ++i)
            {
                AppendRings(GEOSGetGeometryN_r(context, pGeometry, i), rings);
            }
            return;
        }
        if (GEOSGeomTypeId_r(context, pGeometry) != GEOS_POLYGON || GEOSisEmpty_r(context, pGeometry))
        {
            return;
        }
        rings.push_back(Points(GEOSGetExteriorRing_r(context, pGeometry)));
        for (int i = 0; i < GEOSGetNumInteriorRings_r(context, pGeometry); ++i)
        {
            rings.push_back(Points(GEOSGetInteriorRingN_r(context, pGeometry, i)));
        }
    }

    // The ring's points without the repeated closing one.
    std::vector<Point> Points(const GEOSGeometry* pRing) const
    {
        const GEOSContextHandle_t context = m_geos.Context();
        const GEOSCoordSequence* pSequence = GEOSGeom_getCoordSeq_r(context, pRing);
        unsigned size = 0;
        GEOSCoordSeq_getSize_r(context, pSequence, &size);
        std::vector<Point> points;
        for (unsigned i = 0; i + 1 < size; ++i)
        {
            Point p;
            GEOSCoordSeq_getXY_r(context, pSequence, i, &p.X, &p.Y);
            points.push_back(p);
        }
        return points;
    }

    SimpleFeatureCase GridCase(std::mt19937_64& random, const Frame& frame, const char* kind) const
    {
        const Cells cells = RandomCells(random);
        const double dx = Between(random, 0, 1) * 0.5;
        const double dy = dx == 0 ? 0.5 : Between(random, 0, 1) * 0.5;
        // B is A's copy or another union, moved by half a cell in x, y or both.
        const Cells other = Between(random, 0, 1) == 0 ? cells : RandomCells(random);
        return {kind, {Outline(cells, frame, 0, 0)}, {Outline(other, frame, dx, dy)}};
    }

    // Squares nested depth deep, each step a few thousandths (whole grid units) inside the one
    // before, alternately exterior ring and hole.
    Rings NestedSquares(std::mt19937_64& random, const Frame& frame, int depth) const
    {
        Rings rings;
        int low = Between(random, 0, 2);
        int high = Between(random, 16, 20);
        for (int level = 0; level < depth && high - low >= 2; ++level)
        {
            rings.push_back(Square(frame, low, low, high - low));
            if (level % 2 == 1)
            {
                std::reverse(rings.back().begin(), rings.back().end()); // a hole
            }
            low += Between(random, 1, 3);
            high -= Between(random, 1, 3);
        }
        return rings;
    }

    SimpleFeatureCase NestedCase(std::mt19937_64& random) const
    {
        const bool negative = Between(random, 0, 1) == 0;
        const Frame frame{0.001, negative ? -5e4 : 1e3, negative ? -5e4 : 1e3};
        const Frame moved{0.001, frame.OffsetX + Between(random, -3, 3) * 0.001,
                          frame.OffsetY + Between(random, -3, 3) * 0.001};
        return {"nested",
                {NestedSquares(random, frame, Between(random, 2, 4))},
                {NestedSquares(random, moved, Between(random, 2, 4))}};
    }

    SimpleFeatureCase CellsCase(std::mt19937_64& random) const
    {
        const Frame frame{1, 0, 0};
        SimpleFeatureCase c{"cells", {}, {}};
        for (auto* pSide : {&c.A, &c.B})
        {
            const double shift = pSide == &c.B ? 0.5 : 0.0;
            const double shiftY = shift * Between(random, 0, 1);
            Cells cells;
            for (int count = Between(random, 2, 6); count > 0; --count)
            {
                cells.insert({Between(random, 0, 3), Between(random, 0, 3)});
            }
            for (const auto& [x, y] : cells)
            {
                pSide->push_back({Square(frame, x + shift, y + shiftY, 1)});
            }
        }
        return c;
    }

    const GeosContext& m_geos;
};

} // namespace Arealis::Testing
