#include "Arealis/PolygonsSet.h"

#include "Arealis/Polygon.h"

namespace Arealis
{

Rectangle GetBoundsFromPolygonPtr::operator()(const Polygon* pPolygon) const
{
    return pPolygon->GetBounds();
}

} // namespace Arealis
