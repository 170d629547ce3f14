#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "PixelGeometry.h"

namespace Orvista
{

// The drawing view's zoom state and its mapping between world coordinates (y upwards) and
// window pixels (y downwards): px = (x - originX) * scale, py = -(y - originY) * scale.
class ViewMapping
{
public:
    // Pixel coordinates are truncated toward zero and kept within +-PixelLimit, far outside any
    // window, so that no conversion overflows; a coordinate that is not a number maps to 0.
    static constexpr int PixelLimit = 1 << 28;

    PixelPoint WorldToPixel(const Arealis::Point& point) const;
    Arealis::Point PixelToWorld(PixelPoint pixel) const;
    // left = px(MinX), right = px(MaxX), top = py(MaxY), bottom = py(MinY): both ends included.
    PixelRect WorldToPixel(const Arealis::Rectangle& rect) const;

    // Makes rect the requested rectangle and puts the window's top-left corner on its top-left
    // corner with its extent; Fit then adapts the extent to the window's shape.
    void Request(const Arealis::Rectangle& rect);

    // Fits the requested rectangle into a window of the given size: the axis that limits gets
    // the scale, the other axis is centred on the requested rectangle.
    void Fit(PixelSize client);

    const Arealis::Rectangle& RequestedRectangle() const { return m_requested; }
    const Arealis::Rectangle& VisibleRectangle() const { return m_visible; }
    double Scale() const { return m_scale; }
    double OriginX() const { return m_originX; }
    double OriginY() const { return m_originY; }
    double VisibleWidth() const { return m_visibleWidth; }
    double VisibleHeight() const { return m_visibleHeight; }

private:
    double m_originX = 0.0;
    double m_originY = 0.0;
    double m_visibleWidth = 10000000.0;
    double m_visibleHeight = 10000000.0;
    double m_scale = 1.0;
    Arealis::Rectangle m_requested = UnitRectangle();
    Arealis::Rectangle m_visible;

    static Arealis::Rectangle UnitRectangle();
};

} // namespace Orvista
