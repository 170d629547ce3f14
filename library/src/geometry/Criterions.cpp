#include "Arealis/Criterions.h"

#include "Arealis/Polygon.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"

namespace Arealis
{

namespace
{

constexpr int NullPolygonLine = 57;

} // namespace

bool RectangleOverlapCriterion::Matches(const Polygon* pPolygon) const
{
    if (pPolygon == nullptr)
    {
        throw Exceptions::ArgumentException(
            Exceptions::Messages::InvalidPointer,
            Exceptions::MakeLocation("Criterions", NullPolygonLine));
    }
    return pPolygon->GetBounds().Intersects(m_rectangle);
}

} // namespace Arealis
