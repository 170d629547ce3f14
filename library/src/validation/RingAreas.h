#pragma once

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"

#include <memory>
#include <unordered_map>

namespace Arealis::Detail
{

// A free polygon whose one ring is a copy of ring, turned clockwise: the overlay reads the
// rings of an operand as an exterior ring when they run clockwise, and the relation between
// two areas does not depend on the orientation their rings happen to have.
std::unique_ptr<Polygon> MakeTemporaryPolygon(const Ring& ring);

// Whether the areas of two such polygons overlap, as the overlay tells: their intersection
// keeps a node.
bool DoAreasOverlap(Polygon& first, Polygon& second);
// Whether the area of outer covers that of inner, as the overlay tells: nothing of inner is
// left outside it.
bool DoesAreaCover(Polygon& outer, Polygon& inner);

// Ring::Overlaps and Ring::Contains for many pairs of rings of one polygon, with the temporary
// polygon of each large ring made once: copying a large ring's nodes for every small neighbour
// it is compared with cost more than the overlays themselves. The rings must stay unchanged
// while this lives.
class RingAreaRelations
{
public:
    bool Overlaps(const Ring& first, const Ring& second);
    bool Contains(const Ring& outer, const Ring& inner);

private:
    Polygon& TemporaryPolygonOf(const Ring& ring, std::unique_ptr<Polygon>& single);

    std::unordered_map<const Ring*, std::unique_ptr<Polygon>> m_kept;
};

} // namespace Arealis::Detail
