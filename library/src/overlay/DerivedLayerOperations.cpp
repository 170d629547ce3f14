#include "Arealis/DerivedLayerOperations.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"

#include <vector>

namespace Arealis
{

namespace
{

// The join of A and B with parents recorded, without the pieces that drop tells apart by
// their parents; parents are kept only when the caller asked for them.
template <class TDrop>
PolygonLayer* FilteredJoin(Topology& topology, PolygonLayer* pA, PolygonLayer* pB,
                           bool recordParents, const Topology::LayerProgress& progress, TDrop drop)
{
    PolygonLayer* result = topology.Join(pA, pB, true, progress);
    std::vector<Polygon*> dropped;
    std::vector<Polygon*> parents;
    PolygonEnumerator pieces = result->GetPolygons();
    while (pieces.MoveNext())
    {
        parents.clear();
        PolygonEnumerator enumerator = result->GetParents(pieces.Current());
        while (enumerator.MoveNext())
        {
            parents.push_back(enumerator.Current());
        }
        if (drop(parents))
        {
            dropped.push_back(pieces.Current());
        }
    }
    result->DeletePolygons(dropped);
    if (!recordParents)
    {
        result->ClearAllParents();
    }
    return result;
}

} // namespace

PolygonLayer* Identity(Topology& topology, PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                       const Topology::LayerProgress& progress)
{
    return FilteredJoin(topology, pA, pB, recordParents, progress,
                        [pA](const std::vector<Polygon*>& parents)
                        {
                            for (const Polygon* parent : parents)
                            {
                                if (parent->GetLayer() == pA)
                                {
                                    return false;
                                }
                            }
                            return true; // a part of B outside A
                        });
}

PolygonLayer* SymmetricDifference(Topology& topology, PolygonLayer* pA, PolygonLayer* pB,
                                  bool recordParents, const Topology::LayerProgress& progress)
{
    return FilteredJoin(topology, pA, pB, recordParents, progress,
                        [](const std::vector<Polygon*>& parents)
                        { return parents.size() != 1; }); // a common part has two
}

} // namespace Arealis
