#pragma once

#include "Arealis/Rectangle.h"

#include <cstdint>
#include <vector>

namespace Arealis
{
class Polygon;
class PolygonLayer;
} // namespace Arealis

namespace ArealisCli
{

struct LayerStatistics
{
    std::int64_t Polygons = 0;
    std::int64_t Rings = 0;
    std::int64_t Vertices = 0;
    Arealis::Rectangle Bounds;
    double Area = 0.0;
    // Polygons that passed validation and entered the layer's spatial index, and those that
    // were refused (invalid, or overlapping in a layer that forbids it).
    std::int64_t Committed = 0;
    std::int64_t Refused = 0;
};

// Area enclosed by the polygon: exterior rings count positive, holes negative.
double PolygonArea(const Arealis::Polygon& polygon);

std::vector<Arealis::Polygon*> AllPolygons(const Arealis::PolygonLayer& layer);

LayerStatistics Measure(const Arealis::PolygonLayer& layer);

// The polygons and vertices of a layer alone (Measure's Polygons and Vertices), from the rings'
// node counts: without the walk over every vertex that bounds and area take.
struct LayerCounts
{
    std::int64_t Polygons = 0;
    std::int64_t Vertices = 0;
};
LayerCounts CountPolygonsAndVertices(const Arealis::PolygonLayer& layer);

} // namespace ArealisCli
