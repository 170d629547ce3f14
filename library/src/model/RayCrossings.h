#pragma once

#include "Arealis/Point.h"
#include "Arealis/Ring.h"

#include <cstdint>

namespace Arealis
{

// Number of times the ray from point towards +X crosses the ring; odd inside. Points at the
// height of vertices and horizontal edges are resolved by remembering from which side the
// ray's line was reached. A ring above Ring::HeightIndexThreshold nodes walks only the edges
// that meet the ray's line (through its height index, once built).
std::int32_t CountRayCrossings(const Ring& ring, const Point& point);
// The same answer by walking every edge, whatever the ring's length.
std::int32_t CountRayCrossingsByScan(const Ring& ring, const Point& point);

} // namespace Arealis
