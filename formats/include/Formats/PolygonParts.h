#pragma once

#include "Arealis/Point.h"

#include <vector>

namespace Arealis
{
class Polygon;
class Ring;
} // namespace Arealis

namespace Formats
{

// A ring's points closed by repeating the first.
using RingPoints = std::vector<Arealis::Point>;

// One exterior ring followed by its holes.
using PolygonPart = std::vector<RingPoints>;

// The parts of a polygon as every writer puts them out: each exterior ring with the holes it
// directly encloses, exteriors counter-clockwise and holes clockwise (the library keeps them
// the other way round). A modified polygon is organised first. One walk over the polygon's
// ring circle, which the organised polygon keeps as each exterior followed by its holes, so
// the cost is linear in the rings; holes that no exterior encloses are left out.
std::vector<PolygonPart> PolygonParts(Arealis::Polygon& polygon);

// The ring's points closed and oriented as above.
RingPoints OrientedRing(const Arealis::Ring& ring, bool exterior);

} // namespace Formats
