#pragma once

#include "Arealis/SegmentIntersection.h"

namespace Arealis::Detail
{

// Takes out the entries that snap an end point onto an edge of a ring within the tolerance
// when another part of that ring lies nearer to the point than the edge. Where vertices lie
// closer together than the tolerance, a vertex that lies on (or next to) the other operand's
// boundary can also be within the tolerance of an edge of it a few vertices further on; cut in
// there as well, the point would make that ring pass it twice and fold the stretch between out
// of the overlay, so that a union came out smaller than its operands or empty. A point is
// snapped onto the nearest part of a ring only. The entries keep their order.
void KeepNearestSnaps(IntersectionList& intersections);

} // namespace Arealis::Detail
