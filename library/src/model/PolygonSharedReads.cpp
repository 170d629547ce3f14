#include "model/PolygonSharedReads.h"

#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Collections/PlainArray.h"

namespace Arealis::Detail
{

void PrepareForSharedReads(const Polygon& polygon, bool indexed)
{
    RingEnumerator rings = polygon.GetRings();
    Collections::PlainArray<LinearEdge> edges;
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        if (indexed)
        {
            ring->GetEdgesInRectangle(ring->GetBounds(), edges);
            edges.SetCount(0);
        }
        // Only a ring with an extension keeps its bounds and area; the others compute them
        // on every call without writing anything, so computing them here would be wasted.
        if (ring->HasExtension())
        {
            ring->GetBounds();
            ring->GetSignedArea();
        }
    }
}

void PrepareEdgeSearches(const Polygon& polygon)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        rings.Current()->PrepareHeightIndex();
    }
}

} // namespace Arealis::Detail
