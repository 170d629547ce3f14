#pragma once

#include "Formats/Attributes.h"
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

// What a feature carries besides its geometry: one value per column, and its parents.
struct FeatureProperties
{
    std::vector<Formats::FieldValue> Values;
    std::vector<ParentReference> Parents;
};

// Puts a polygon's values and parents into the properties, replacing all they held: writers
// hand in the same properties for every feature, so that their storage is reused.
using PropertiesLookup = std::function<void(Arealis::Polygon*, FeatureProperties&)>;

// An RFC 7946 FeatureCollection: one Feature per polygon, its geometry a MultiPolygon of the
// polygon's exterior rings with their holes (counter-clockwise exteriors, clockwise holes),
// its properties the columns' values followed by "parents", the parents the operation
// recorded. Written feature by feature: memory does not grow with the number of polygons.
void WriteGeoJson(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons,
                  const std::vector<Formats::Field>& columns, const PropertiesLookup& propertiesOf);

// One MULTIPOLYGON per line, rings oriented as in the GeoJSON output; streamed likewise.
void WriteWkt(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons);

void WriteSummary(std::ostream& out, const LayerStatistics& statistics);

// Shortest text that reads back as the same double.
std::string FormatCoordinate(double value);

} // namespace ArealisCli
