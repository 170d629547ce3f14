#pragma once

#include "LayerStatistics.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace Arealis
{
class Polygon;
}

namespace ArealisCli
{

struct ParentReference
{
    std::string Layer; // "A" or "B"
    std::int64_t Record = -1;
};

using ParentLookup = std::function<std::vector<ParentReference>(Arealis::Polygon*)>;

// An RFC 7946 FeatureCollection: one Feature per polygon, its geometry a MultiPolygon of the
// polygon's exterior rings with their holes (counter-clockwise exteriors, clockwise holes),
// its properties the parents the operation recorded.
void WriteGeoJson(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons,
                  const ParentLookup& parentsOf);

// One MULTIPOLYGON per line, rings oriented as in the GeoJSON output.
void WriteWkt(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons);

void WriteSummary(std::ostream& out, const LayerStatistics& statistics);

// Shortest text that reads back as the same double.
std::string FormatCoordinate(double value);

} // namespace ArealisCli
