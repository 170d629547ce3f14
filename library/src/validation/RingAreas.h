#pragma once

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"

#include <memory>
#include <unordered_map>

namespace Arealis::Detail
{

// The area relations of rings, decided by overlays of temporary free polygons, each made of a
// copy of one ring (Ring::Overlaps and Ring::Contains ask one of these). Asked about many pairs
// of rings of one polygon, it makes the temporary polygon of each large ring once: copying a
// large ring's nodes for every small neighbour it is compared with cost more than the overlays
// themselves. The rings must stay unchanged while this lives.
class RingAreaRelations
{
public:
    // Whether the areas overlap: their bounds overlap with some area and the intersection of the
    // temporary polygons keeps a node.
    bool Overlaps(const Ring& first, const Ring& second);
    // Whether outer's area covers inner's: outer's bounds contain inner's and nothing of inner
    // is left outside outer.
    bool Contains(const Ring& outer, const Ring& inner);

private:
    Polygon& TemporaryPolygonOf(const Ring& ring, std::unique_ptr<Polygon>& single);

    std::unordered_map<const Ring*, std::unique_ptr<Polygon>> m_kept;
};

} // namespace Arealis::Detail
