#pragma once

#include "Arealis/SegmentIntersection.h"

namespace Arealis::Detail
{

// Takes out the entries that snap an end point onto an edge of a ring within the tolerance when
// the snap would fold a ring: when another part of that ring lies nearer to the point than the
// edge, or when an edge of the point's own ring (other than the point's two) lies within the
// distance the snap moves the point. Where vertices or edges lie closer together than the
// tolerance, a vertex that lies on (or next to) the other operand's boundary can also be
// within the tolerance of an edge of it a few vertices further on; cut in there as well, the
// point would make that ring pass it twice and fold the stretch between out of the overlay, so
// that a union came out smaller than its operands or empty. Likewise a vertex moved across an
// edge of its own ring turns that ring inside out, and so does an edge moved onto the point
// across an edge of either ring that the search saw no crossing with. Where the two edges of a
// dropped entry also cross exactly (nearly parallel edges, of which the tolerant search reports
// only the snap), the entry stays with the crossing point instead. The entries keep their order.
void KeepNearestSnaps(IntersectionList& intersections);

} // namespace Arealis::Detail
