#pragma once

#include "ArealisSide.h"
#include "Outcome.h"

#include <geos_c.h>
#include <string>
#include <vector>

namespace Peers
{

// The GEOS context of the benchmark (the thread-safe C API).
class GeosContext
{
public:
    GeosContext();
    ~GeosContext();
    GeosContext(const GeosContext&) = delete;
    GeosContext& operator=(const GeosContext&) = delete;
    GEOSContextHandle_t Handle() const { return m_handle; }

private:
    GEOSContextHandle_t m_handle;
};

// The polygons of a loaded layer as GEOS geometries with the same coordinates, one (multi)
// polygon per polygon, plus one collection of clones of them all for the unary union.
class GeosLayer
{
public:
    GeosLayer(const GeosContext& context, const ArealisLayer& source);
    // The polygons of a shapefile decoded by the plain reader (each record's clockwise parts
    // are exterior rings, each followed by its holes), as one collection when asCollection
    // (for the unary union; Geometries() is then empty), otherwise one geometry per record.
    GeosLayer(const GeosContext& context, const std::string& path, bool asCollection);
    ~GeosLayer();
    GeosLayer(const GeosLayer&) = delete;
    GeosLayer& operator=(const GeosLayer&) = delete;

    const std::vector<GEOSGeometry*>& Geometries() const { return m_geometries; }
    const GEOSGeometry* Collection() const { return m_collection; }

private:
    GEOSContextHandle_t m_handle;
    std::vector<GEOSGeometry*> m_geometries;
    GEOSGeometry* m_collection = nullptr;
};

// The layer operations by the usual recipe: an STRtree finds the candidates, prepared
// geometries filter them, and intersection, difference and unary union combine them.
Outcome RunGeos(const GeosContext& context, LayerOperation operation, const GeosLayer& a,
                const GeosLayer& b);
Outcome RunGeosUnite(const GeosContext& context, const GeosLayer& layer);
Outcome RunGeos(const GeosContext& context, PairOperation operation, const GeosLayer& a,
                const GeosLayer& b);

// The whole command as GEOS would do it: the files read by the plain reader into geometries,
// the operation, the result written as the command-line tool's GeoJSON by a buffered writer,
// and everything freed again.
Outcome RunGeosEndToEnd(const GeosContext& context, const EndToEndCase& command);

} // namespace Peers
