#pragma once

// The reference engine of the stress program: GEOS through its C API, with ownership.

#include "Arealis/Point.h"

#include <geos_c.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Stress
{

using Vertices = std::vector<Arealis::Point>;

class Geos
{
public:
    Geos() : m_context(GEOS_init_r())
    {
        GEOSContext_setErrorMessageHandler_r(m_context, &KeepMessage, &m_lastError);
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

    Geometry Empty() const { return Own(GEOSGeom_createEmptyPolygon_r(m_context)); }

    // The area inside one closed ring, made valid (a ring that crosses itself gives the
    // parts that the even-odd rule counts as inside).
    Geometry RingArea(const Vertices& ring) const
    {
        if (ring.size() < 3)
        {
            return Empty();
        }
        GEOSCoordSequence* pSequence =
            GEOSCoordSeq_create_r(m_context, static_cast<unsigned>(ring.size() + 1), 2);
        for (std::size_t i = 0; i <= ring.size(); ++i)
        {
            const Arealis::Point& p = ring[i % ring.size()];
            GEOSCoordSeq_setXY_r(m_context, pSequence, static_cast<unsigned>(i), p.X, p.Y);
        }
        GEOSGeometry* pRing = GEOSGeom_createLinearRing_r(m_context, pSequence);
        const Geometry polygon = Own(GEOSGeom_createPolygon_r(m_context, pRing, nullptr, 0));
        if (GEOSisValid_r(m_context, polygon.get()) == 1)
        {
            return Own(GEOSGeom_clone_r(m_context, polygon.get()));
        }
        return Own(GEOSMakeValid_r(m_context, polygon.get()));
    }

    // The even-odd area of a set of rings: the symmetric difference of their areas. For a
    // valid polygon that is its exterior rings without their holes.
    Geometry EvenOdd(const std::vector<Vertices>& rings) const
    {
        Geometry result = Empty();
        for (const Vertices& ring : rings)
        {
            const Geometry area = RingArea(ring);
            result = Own(GEOSSymDifference_r(m_context, result.get(), area.get()));
        }
        return result;
    }

    Geometry Union(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return Own(GEOSUnion_r(m_context, pA, pB));
    }
    Geometry Intersection(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return Own(GEOSIntersection_r(m_context, pA, pB));
    }
    Geometry Difference(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return Own(GEOSDifference_r(m_context, pA, pB));
    }
    Geometry SymDifference(const GEOSGeometry* pA, const GEOSGeometry* pB) const
    {
        return Own(GEOSSymDifference_r(m_context, pA, pB));
    }

    // The union of many geometries.
    Geometry UnionOf(std::vector<Geometry> parts) const
    {
        if (parts.empty())
        {
            return Empty();
        }
        std::vector<GEOSGeometry*> raw;
        raw.reserve(parts.size());
        for (Geometry& part : parts)
        {
            raw.push_back(part.release()); // the collection takes them over
        }
        const Geometry collection = Own(GEOSGeom_createCollection_r(
            m_context, GEOS_GEOMETRYCOLLECTION, raw.data(), static_cast<unsigned>(raw.size())));
        return Own(GEOSUnaryUnion_r(m_context, collection.get()));
    }

    double Area(const GEOSGeometry* pGeometry) const
    {
        double area = 0;
        GEOSArea_r(m_context, pGeometry, &area);
        return area;
    }

    std::string Wkt(const GEOSGeometry* pGeometry) const
    {
        GEOSWKTWriter* pWriter = GEOSWKTWriter_create_r(m_context);
        GEOSWKTWriter_setRoundingPrecision_r(m_context, pWriter, 17);
        char* pText = GEOSWKTWriter_write_r(m_context, pWriter, pGeometry);
        std::string text = pText != nullptr ? pText : "";
        GEOSFree_r(m_context, pText);
        GEOSWKTWriter_destroy_r(m_context, pWriter);
        return text;
    }

private:
    static void KeepMessage(const char* message, void* pText)
    {
        *static_cast<std::string*>(pText) = message;
    }

    GEOSContextHandle_t m_context;
    std::string m_lastError;
};

} // namespace Stress
