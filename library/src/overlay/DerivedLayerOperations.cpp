#include "Arealis/DerivedLayerOperations.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "overlay/LayerSetOperations.h"

namespace Arealis
{

// Both are joins with some of the pieces left out, built without them rather than deleted
// afterwards.

PolygonLayer* Identity(Topology& topology, PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                       const Topology::LayerProgress& progress)
{
    // The parts of B outside A are left out.
    return LayerOperations::JoinKeeping(topology, pA, pB, recordParents, progress,
                                        {.Common = true, .OutsideB = true, .OutsideA = false});
}

PolygonLayer* SymmetricDifference(Topology& topology, PolygonLayer* pA, PolygonLayer* pB,
                                  bool recordParents, const Topology::LayerProgress& progress)
{
    return LayerOperations::JoinKeeping(topology, pA, pB, recordParents, progress,
                                        {.Common = false, .OutsideB = true, .OutsideA = true});
}

} // namespace Arealis
