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

// Puts the values and parents of a polygon, given with its index in the list written, into
// the properties, replacing all they held: writers hand in the same properties for every
// feature, so that their storage is reused. Writers on several threads call it at once for
// different polygons.
using PropertiesLookup =
    std::function<void(std::size_t index, Arealis::Polygon*, FeatureProperties&)>;

// An RFC 7946 FeatureCollection: one Feature per polygon, its geometry a MultiPolygon of the
// polygon's exterior rings with their holes (counter-clockwise exteriors, clockwise holes),
// its properties the columns' values followed by "parents", the parents the operation
// recorded. Written feature by feature: memory does not grow with the number of polygons.
// threads: as --threads (0 for every core the process may run on); with more than one, the
// features are formatted in chunks on that many threads and written in order, the same text.
void WriteGeoJson(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons,
                  const std::vector<Formats::Field>& columns, const PropertiesLookup& propertiesOf,
                  int threads = 1);

// One MULTIPOLYGON per line, rings oriented as in the GeoJSON output; streamed likewise.
void WriteWkt(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons, int threads = 1);

void WriteSummary(std::ostream& out, const LayerStatistics& statistics);

// Shortest text that reads back as the same double.
std::string FormatCoordinate(double value);

} // namespace ArealisCli
