#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Rectangle.h"
#include "Collections/RTree.h"

namespace Arealis
{

// The edge index of a ring: an R-tree of the ring's edges by their bounds, with the nominal
// node size 10 (nodes split above 14 entries). Edges are views of the ring's nodes, so the
// index must be dropped or rebuilt whenever a node of the ring moves.
class SegmentsSet : public Collections::RTree<LinearEdge, Rectangle, GetBoundsFromSegment>
{
public:
    static constexpr int NominalNodeSize = 10;

    SegmentsSet() : RTree(NominalNodeSize) {}
};

} // namespace Arealis
