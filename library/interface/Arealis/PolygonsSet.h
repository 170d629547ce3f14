#pragma once

#include "Arealis/Rectangle.h"
#include "Collections/RTree.h"

namespace Arealis
{

class Polygon;

// Key extractor of the layer index: the polygon's bounds.
struct GetBoundsFromPolygonPtr
{
    Rectangle operator()(const Polygon* pPolygon) const;
};

// The spatial index of a layer's committed polygons: an R-tree of polygon pointers with the
// nominal node size 10. A polygon must leave the index before its bounds change.
class PolygonsSet : public Collections::RTree<Polygon*, Rectangle, GetBoundsFromPolygonPtr>
{
public:
    static constexpr int NominalNodeSize = 10;

    PolygonsSet() : RTree(NominalNodeSize) {}
};

} // namespace Arealis
