#pragma once

#include "Arealis/Rectangle.h"
#include "Arealis/SegmentIntersection.h"

#include <cstddef>

namespace Arealis::Detail
{

// Lists of at least this many edges together are thinned before their intersection search;
// for fewer the search is cheap and the thinning would only add its own passes.
inline constexpr std::size_t ThinnedFromEdges = 1024;

// Removes from each list the edges that cannot meet an edge of the other list, keeping the
// order of the rest: an edge whose bounds, widened by the tolerance and the node grid's step,
// touch no grid cell that the widened bounds of an edge of the other list touch. The search
// reports a pair of edges only when their bounds lie within the tolerance of each other, so
// it reports the same pairs from the thinned lists. Large overlapping polygons whose
// boundaries run apart except at a few crossings keep only the edges near those. Every edge
// of a list lies within its bounds (those of its polygon, say). Lists with coordinates that
// are not numbers, and lists whose edges mostly stay, are left as they are.
void KeepEdgesNearOtherList(EdgeList& first, EdgeList& second, const Rectangle& firstBounds,
                            const Rectangle& secondBounds);

} // namespace Arealis::Detail
