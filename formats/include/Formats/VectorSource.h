#pragma once

#include "Formats/Attributes.h"
#include "Formats/CoordinateSystem.h"
#include "Shapefile/ShapefileReader.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Arealis
{
class PolygonLayer;
}

namespace Formats
{

// What a source brings besides its polygons.
struct SourceDescription
{
    std::string Name;
    CoordinateSystem System;
    // One row per record (feature) of the source, in the source's order.
    AttributeTable Attributes;
    // Features (records) that gave no polygon: other geometry types, no geometry.
    std::int64_t SkippedFeatures = 0;
    // Notes for the user: skipped features, polygons the layer's commit refused.
    std::vector<std::string> Notes;
};

// Whether the source is a shapefile main file, whose geometry the shapefile reader reads.
bool IsShapefilePath(const std::string& source);

// The attribute table (.dbf, decoded from the code page its .cpg or its language byte names)
// and the reference system (.prj) beside a shapefile main file. A missing .dbf gives a table
// without columns. The table must have as many records as the main file: its rows are the
// records, by number, that the shapefile reader links polygons to. Throws FormatError naming
// the file for a table that does not match, a broken header or an unknown code page.
SourceDescription ReadShapefileCompanions(const std::string& shpPath);

// Reads the polygons of any vector source GDAL opens into the layer, then commits the layer:
// "file.gpkg" (its only polygon table), "file.gpkg:table", "file.geojson", "file.fgb",
// "PG:dbname=... table". Polygon and multipolygon features become one polygon each, one ring
// per ring; other geometry types are skipped and counted. onPolygon gets each polygon with the
// 0-based position of its feature, which is also its row in the attribute table. Throws
// FormatError naming the source when it cannot be opened or has no (or no such) polygon table.
// onSystem, when given, gets the source's reference system before the first polygon is made
// (so that the caller can choose the layer's precision from it).
SourceDescription ReadOgrSource(
    const std::string& source, Arealis::PolygonLayer& layer,
    const Arealis::PolygonRecordCallback& onPolygon,
    const std::function<void(const CoordinateSystem&)>& onSystem = {});

// The polygon tables of a source (the names "file:table" picks from).
std::vector<std::string> PolygonTables(const std::string& source);

} // namespace Formats
