#include "ViewMapping.h"

#include <cmath>
#include <limits>

namespace Orvista
{

namespace
{

int ToPixel(double value)
{
    if (std::isnan(value))
    {
        return 0;
    }
    constexpr auto limit = static_cast<double>(ViewMapping::PixelLimit);
    if (value > limit)
    {
        return ViewMapping::PixelLimit;
    }
    if (value < -limit)
    {
        return -ViewMapping::PixelLimit;
    }
    return static_cast<int>(value);
}

// Pixels per world unit along one axis; a zero extent does not limit the scale at all.
double AxisScale(int pixels, double extent)
{
    return extent == 0.0 ? std::numeric_limits<double>::max() : pixels / extent;
}

} // namespace

Arealis::Rectangle ViewMapping::UnitRectangle()
{
    Arealis::Rectangle rect;
    rect.MinX = 0.0;
    rect.MinY = 0.0;
    rect.MaxX = 1.0;
    rect.MaxY = 1.0;
    return rect;
}

PixelPoint ViewMapping::WorldToPixel(const Arealis::Point& point) const
{
    return {ToPixel((point.X - m_originX) * m_scale), ToPixel(-(point.Y - m_originY) * m_scale)};
}

Arealis::Point ViewMapping::PixelToWorld(PixelPoint pixel) const
{
    return {pixel.X / m_scale + m_originX, m_originY - pixel.Y / m_scale};
}

PixelRect ViewMapping::WorldToPixel(const Arealis::Rectangle& rect) const
{
    const PixelPoint topLeft = WorldToPixel(Arealis::Point{rect.MinX, rect.MaxY});
    const PixelPoint bottomRight = WorldToPixel(Arealis::Point{rect.MaxX, rect.MinY});
    return {topLeft.X, topLeft.Y, bottomRight.X, bottomRight.Y};
}

void ViewMapping::Request(const Arealis::Rectangle& rect)
{
    m_originX = rect.MinX;
    m_originY = rect.MaxY;
    m_visibleWidth = rect.MaxX - rect.MinX;
    m_visibleHeight = rect.MaxY - rect.MinY;
    m_requested = rect;
}

void ViewMapping::Fit(PixelSize client)
{
    const double width = m_requested.MaxX - m_requested.MinX;
    const double height = m_requested.MaxY - m_requested.MinY;
    const double sx = AxisScale(client.Width, width);
    const double sy = AxisScale(client.Height, height);

    if (sx > sy)
    {
        m_scale = sy;
        m_visibleWidth = client.Width / sy;
        m_originX = (m_requested.MinX + width * 0.5) - m_visibleWidth * 0.5;
    }
    else if (sx < sy)
    {
        m_scale = sx;
        m_visibleHeight = client.Height / sx;
        m_originY = (m_requested.MaxY - height * 0.5) + m_visibleHeight * 0.5;
    }
    else
    {
        m_scale = sx;
    }
    if (m_scale == 0.0)
    {
        m_scale = std::numeric_limits<double>::min();
    }

    m_visible.MinX = m_originX;
    m_visible.MinY = m_originY - m_visibleHeight;
    m_visible.MaxX = m_originX + m_visibleWidth;
    m_visible.MaxY = m_originY;
}

} // namespace Orvista
