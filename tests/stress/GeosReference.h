#pragma once

// The reference engine of the stress program: the operations and conversions it needs, on top
// of the tests' GEOS context.

#include "Arealis/Point.h"
#include "GeosContext.h"

#include <geos_c.h>
#include <string>
#include <utility>
#include <vector>

namespace Stress
{

using Vertices = std::vector<Arealis::Point>;

class Geos : public Arealis::Testing::GeosContext
{
public:
    Geometry Empty() const { return Own(GEOSGeom_createEmptyPolygon_r(m_context)); }

    // The area inside one closed ring, made valid (a ring that crosses itself gives the
    // parts that the even-odd rule counts as inside).
    Geometry RingArea(const Vertices& ring) const
    {
        if (ring.size() < 3)
        {
            return Empty();
        }
        GEOSGeometry* pRing = LinearRing(ring);
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

    // The union of many geometries; empty for none.
    Geometry UnionOf(std::vector<Geometry> parts) const
    {
        return parts.empty() ? Empty() : GeosContext::UnionOf(std::move(parts));
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
};

} // namespace Stress
