#include "ViewNavigation.h"

#include "Arealis/Rectangle.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"

#include <cmath>

namespace Orvista
{

namespace
{

// A rectangle that the mapping can still show: finite, with room between its sides.
bool IsShowable(const Arealis::Rectangle& rect)
{
    return std::isfinite(rect.MinX) && std::isfinite(rect.MinY) && std::isfinite(rect.MaxX) &&
           std::isfinite(rect.MaxY) && rect.MinX < rect.MaxX && rect.MinY < rect.MaxY;
}

} // namespace

void ZoomAbout(COrvistaView& view, const Arealis::Point& centre, double factor)
{
    const Arealis::Rectangle& requested = view.GetRequestedRectangle();
    const double halfWidth = (requested.MaxX - requested.MinX) * factor * 0.5;
    const double halfHeight = (requested.MaxY - requested.MinY) * factor * 0.5;
    view.ZoomToRectangle(Arealis::Rectangle(centre.X - halfWidth, centre.Y - halfHeight,
                                            centre.X + halfWidth, centre.Y + halfHeight));
}

void ZoomAboutClick(COrvistaView& view, PixelPoint point, double factor)
{
    const COrvistaDoc* pDocument = view.GetDocument();
    if (pDocument == nullptr || !pDocument->HasLayers() || pDocument->GetLayers().empty())
    {
        return;
    }
    ZoomAbout(view, view.PixelToWorld(point), factor);
}

void ZoomKeepingPixel(COrvistaView& view, PixelPoint pixel, double factor)
{
    // The visible rectangle has the window's shape, so the zoomed one fits the window without
    // being centred again and the point keeps its pixel.
    const Arealis::Rectangle& visible = view.GetMapping().VisibleRectangle();
    if (visible.IsEmpty())
    {
        return;
    }
    const Arealis::Point fixed = view.PixelToWorld(pixel);
    Arealis::Rectangle zoomed;
    zoomed.MinX = fixed.X + (visible.MinX - fixed.X) * factor;
    zoomed.MinY = fixed.Y + (visible.MinY - fixed.Y) * factor;
    zoomed.MaxX = fixed.X + (visible.MaxX - fixed.X) * factor;
    zoomed.MaxY = fixed.Y + (visible.MaxY - fixed.Y) * factor;
    if (IsShowable(zoomed))
    {
        view.ZoomToRectangle(zoomed);
    }
}

void PanByPixels(COrvistaView& view, int dx, int dy)
{
    if (dx == 0 && dy == 0)
    {
        return;
    }
    const double scale = view.GetScale();
    const double shiftX = -dx / scale;
    const double shiftY = dy / scale;
    Arealis::Rectangle moved = view.GetRequestedRectangle();
    moved.MinX += shiftX;
    moved.MaxX += shiftX;
    moved.MinY += shiftY;
    moved.MaxY += shiftY;
    if (IsShowable(moved))
    {
        view.ZoomToRectangle(moved);
    }
}

} // namespace Orvista
