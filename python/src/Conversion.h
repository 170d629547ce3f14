#pragma once

#include <string>
#include <string_view>

namespace Arealis
{
class Polygon;
}

namespace ArealisPython
{

// Well-known binary (WKB) of polygons, the form in which geometries cross between Python and
// the library: one byte string per geometry instead of one Python object per vertex.

// Adds the rings of a WKB Polygon or MultiPolygon (2D, or with Z or M values, which are
// dropped) to pPolygon, exterior rings clockwise and holes counter-clockwise as the library
// wants them; repeated closing points are dropped. Throws InputError naming what is wrong:
// another geometry type, NaN or infinite coordinates, truncated data.
void ReadWkb(std::string_view wkb, Arealis::Polygon& polygon);

// The polygon as WKB (little-endian): a Polygon for one exterior ring, otherwise a
// MultiPolygon; exterior rings counter-clockwise and holes clockwise, each ring closed.
void AppendWkb(Arealis::Polygon& polygon, std::string& out);

} // namespace ArealisPython
