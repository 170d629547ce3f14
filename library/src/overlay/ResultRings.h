#pragma once

#include "overlay/OverlayGraph.h"

#include <vector>

namespace Arealis
{
class Polygon;
}

namespace Arealis::Detail
{

// The operands whose caller gives them up to the result: the rings that the result takes
// whole from them are moved into it, their nodes with them, instead of being copied. Such an
// operand is left only to be destroyed. It must be an overlay result, whose rings pass no
// position twice (every result ring is split where it would), so that a ring taken whole
// needs no split either.
struct GivenUpOperands
{
    bool First = false;
    bool Second = false;
};

// Adds the traced rings to the result polygon: operand nodes by the ring's node adoption,
// crossing points as new nodes at their coordinates. A ring that passes a vertex twice (an
// area whose hole touches its exterior ring at one point is traced as one such ring) is split
// there into simple rings; vertices are compared as the result will hold them, crossing points
// snapped to the node grid. Of an open trace only the loops it closed are taken. Rings of fewer
// than three vertices are left out.
// An operand ring taken whole comes from a given-up operand by MoveNodesFrom, with the same
// nodes in the same order as a copy.
void AddResultRings(const TracedRings& rings, Polygon& result, GivenUpOperands givenUp = {});

// Makes every connected piece of the result's area an exterior ring of its own, holding only
// the holes it encloses. Rings that touch one another at points can close a loop (a hole
// touching its exterior ring twice, holes touching in a chain from one side of the exterior
// ring to the other) and so cut the area inside an exterior ring into pieces; the rings are
// then traced again as the outlines of the pieces, each turning at a touching point into the
// piece it bounds, and split where an outline passes a point twice (a hole touching its
// exterior ring once stays a hole). Linear in the result's vertices; a result without holes,
// or whose touching rings close no loop, is left as it is.
void SeparateTouchingParts(Polygon& result);

} // namespace Arealis::Detail
