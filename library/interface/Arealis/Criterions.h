#pragma once

#include "Arealis/Rectangle.h"

namespace Arealis
{

class Polygon;

// Admits the polygons whose bounds intersect a rectangle (closed: touching counts). A
// criterion for Collections::CriterionEnumerator.
class RectangleOverlapCriterion
{
public:
    explicit RectangleOverlapCriterion(const Rectangle& rectangle) noexcept : m_rectangle(rectangle)
    {
    }

    // Throws ArgumentException "The pointer is not valid." for a null polygon.
    bool Matches(const Polygon* pPolygon) const;

    const Rectangle& GetRectangle() const noexcept { return m_rectangle; }

private:
    Rectangle m_rectangle;
};

} // namespace Arealis
