#pragma once

#include "FrameOverlay.h"
#include "Formats/VectorSource.h"

#include <cstdint>
#include <string>

namespace ArealisPython
{

// A vector source read through the project's readers: the polygons, with the record (feature)
// each came from as left row, and what the source brings besides (attribute table, reference
// system, notes).
struct SourceTable
{
    Pieces Polygons;
    Formats::SourceDescription Description;
};

// Reads a shapefile main file with the shapefile reader and its companions (.dbf in its code
// page, .prj), and any other source formats/ opens ("file.gpkg[:table]", ".geojson", ".fgb")
// through GDAL. Errors reach the caller as the readers throw them.
SourceTable ReadSource(const std::string& path, Guard& guard);

} // namespace ArealisPython
