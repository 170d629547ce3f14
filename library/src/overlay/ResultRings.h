#pragma once

#include "overlay/OverlayGraph.h"

#include <vector>

namespace Arealis
{
class Polygon;
}

namespace Arealis::Detail
{

// Adds the traced rings to the result polygon: operand nodes by the ring's node adoption,
// crossing points as new nodes at their coordinates. A ring that passes a vertex twice (an
// area whose hole touches its exterior ring at one point is traced as one such ring) is split
// there into simple rings; vertices are compared as the result will hold them, crossing points
// snapped to the node grid. Of an open trace only the loops it closed are taken. Rings of fewer
// than three vertices are left out.
void AddResultRings(const TracedRings& rings, Polygon& result);

} // namespace Arealis::Detail
