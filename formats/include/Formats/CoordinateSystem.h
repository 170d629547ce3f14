#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Arealis
{
class Polygon;
class PolygonLayer;
} // namespace Arealis

namespace Formats
{

// The coordinate reference system of a layer, kept as WKT (empty when the source names none)
// with a short name for messages: the authority code ("EPSG:25832") when there is one,
// otherwise the system's own name.
struct CoordinateSystem
{
    std::string Wkt;
    std::string Name;
    // Whether coordinates are longitude and latitude (in degrees, as GDAL tells from the
    // system), which calls for a finer node grid and tolerance than projected coordinates.
    bool IsGeographic = false;

    bool IsKnown() const { return !Wkt.empty(); }
};

// From any definition GDAL understands (WKT as in a .prj file, "EPSG:4326", PROJ strings).
// Throws FormatError naming the text when GDAL cannot read it.
CoordinateSystem CoordinateSystemFromText(const std::string& text);

// Whether both name the same system; a system that is not known matches any.
bool SameCoordinateSystem(const CoordinateSystem& a, const CoordinateSystem& b);

// Copies every polygon of source into target with its points transformed from one system to
// the other, calls onCopy(original, copy) for each, then commits target. Returns the commit's
// messages (polygons made invalid or overlapping by the transformation), which leave those
// polygons in target uncommitted. Throws FormatError when no transformation exists.
std::vector<std::string> ReprojectLayer(
    const Arealis::PolygonLayer& source, Arealis::PolygonLayer& target,
    const CoordinateSystem& from, const CoordinateSystem& to,
    const std::function<void(Arealis::Polygon* pOriginal, Arealis::Polygon* pCopy)>& onCopy);

} // namespace Formats
