#pragma once

#include "Arealis/Topology.h"

namespace Arealis
{

class PolygonLayer;

// Layer operations made of the join: each creates a new layer in pTopology, filled from the
// operand layers, which stay unchanged. A null operand throws ArgumentException. With
// recordParents, every result polygon names its sources as the join records them.

// A's polygons split by B: every common part of a polygon of A and a polygon of B (parents:
// both) and every part of a polygon of A outside B (parent: that polygon).
PolygonLayer* Identity(Topology& topology, PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                       const Topology::LayerProgress& progress = {});

// The parts of A's polygons outside B and of B's polygons outside A (parent: the polygon each
// part comes from).
PolygonLayer* SymmetricDifference(Topology& topology, PolygonLayer* pA, PolygonLayer* pB,
                                  bool recordParents, const Topology::LayerProgress& progress = {});

} // namespace Arealis
