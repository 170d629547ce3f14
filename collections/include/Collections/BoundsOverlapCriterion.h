#pragma once

#include <utility>

namespace Collections
{

// Closed overlap of two rectangles: rectangles that share only an edge or a corner overlap.
// TRect is any type with MinX, MinY, MaxX and MaxY.
template <class TRect>
constexpr bool BoundsOverlap(const TRect& a, const TRect& b) noexcept
{
    return a.MinX <= b.MaxX && b.MinX <= a.MaxX && a.MinY <= b.MaxY && b.MinY <= a.MaxY;
}

// Admits the items whose bounds (from TBoundsGetter) overlap a rectangle, closed: an item
// touching the rectangle at a corner is admitted. A criterion for CriterionEnumerator.
template <class TRect, class TBoundsGetter>
class BoundsOverlapCriterion
{
public:
    explicit BoundsOverlapCriterion(TRect rectangle) : m_rectangle(std::move(rectangle)) {}

    template <class TItem>
    bool Matches(const TItem& item) const
    {
        return BoundsOverlap(TBoundsGetter{}(item), m_rectangle);
    }

    const TRect& QueryRectangle() const noexcept { return m_rectangle; }

private:
    TRect m_rectangle;
};

} // namespace Collections
