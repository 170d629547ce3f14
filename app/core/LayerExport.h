#pragma once

#include <string>

namespace Orvista
{

class DisplayLayer;
class IPlatform;

// The filter of the Export Layer dialog: the formats a layer can be written to.
inline constexpr const char* ExportFilter =
    "Shape Files|*.shp|GeoPackage|*.gpkg|GeoJSON|*.geojson|FlatGeobuf|*.fgb|CSV with WKT|*.csv||";

// Writes every polygon of the layer with its attributes (LayerTable) to the file named, its
// format chosen by the extension ("out.gpkg:table" names a GeoPackage's table). An existing
// output is replaced only after the user confirmed it. The file appears only when the whole
// layer was written: a failed write leaves nothing behind and says why. True when written.
bool ExportLayer(IPlatform& platform, const DisplayLayer& layer, const std::string& name);

} // namespace Orvista
