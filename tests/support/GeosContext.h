#pragma once

// GEOS through its C API with ownership, for the tests and programs that compare results with
// it. The library itself never uses GEOS.

#include "Arealis/Point.h"

#include <cstddef>
#include <geos_c.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Arealis::Testing
{

class GeosContext
{
public:
    GeosContext() : m_context(GEOS_init_r())
    {
        GEOSContext_setErrorMessageHandler_r(m_context, &KeepMessage, &m_lastError);
    }
    ~GeosContext() { GEOS_finish_r(m_context); }
    // The error handler holds the address of m_lastError: neither copied nor moved.
    GeosContext(const GeosContext&) = delete;
    GeosContext& operator=(const GeosContext&) = delete;

    struct Deleter
    {
        GEOSContextHandle_t Context;
        void operator()(GEOSGeometry* pGeometry) const { GEOSGeom_destroy_r(Context, pGeometry); }
    };
    using Geometry = std::unique_ptr<GEOSGeometry, Deleter>;

    // Takes over a geometry that GEOS returned; a null one is GEOS's failure, with its message.
    Geometry Own(GEOSGeometry* pGeometry) const
    {
        if (pGeometry == nullptr)
        {
            throw std::runtime_error("GEOS: " + m_lastError);
        }
        return Geometry(pGeometry, Deleter{m_context});
    }

    GEOSContextHandle_t Context() const noexcept { return m_context; }

    // A closed linear ring through the points, the first repeated at the end.
    GEOSGeometry* LinearRing(const std::vector<Point>& points) const
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

    // The unary union of the geometries, which the collection built for it takes over.
    Geometry UnionOf(std::vector<Geometry> parts) const
    {
        std::vector<GEOSGeometry*> released;
        released.reserve(parts.size());
        for (Geometry& part : parts)
        {
            released.push_back(part.release());
        }
        const Geometry collection =
            Own(GEOSGeom_createCollection_r(m_context, GEOS_GEOMETRYCOLLECTION, released.data(),
                                            static_cast<unsigned>(released.size())));
        return Own(GEOSUnaryUnion_r(m_context, collection.get()));
    }

    double Area(const GEOSGeometry* pGeometry) const
    {
        double area = 0.0;
        GEOSArea_r(m_context, pGeometry, &area);
        return area;
    }

protected:
    GEOSContextHandle_t m_context;

private:
    static void KeepMessage(const char* message, void* pText)
    {
        *static_cast<std::string*>(pText) = message;
    }

    std::string m_lastError;
};

} // namespace Arealis::Testing
