// Coarse drawing while the view moves: a zoom or a pan over a layer of many polygons first
// shows their outlines snapped to the pixel grid, drawn in one call of the canvas, and the full
// drawing (fills, clipping, small polygons as dots) once the view has rested.
#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "ClipFrame.h"
#include "DisplayLayer.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"

namespace Orvista
{

void COrvistaView::SettleView()
{
    m_moving = false;
    if (m_pDocument == nullptr)
    {
        return;
    }
    bool drafted = false;
    for (const auto& layer : m_pDocument->GetLayers())
    {
        if (layer->Draft)
        {
            layer->Draft = false;
            layer->Dirty = layer->Visible;
            layer->Rendered = false;
            drafted = true;
        }
    }
    if (drafted)
    {
        m_redrawNeeded = true;
        Invalidate();
    }
}

void COrvistaView::DrawDraft(ICanvas& canvas, const std::vector<Arealis::Polygon*>& polygons,
                             Colour outline)
{
    canvas.SelectPen(outline, 0);
    canvas.SetRasterOp(RasterOp::CopyPen);
    // Pairs of segment ends; a pair of equal points is one pixel.
    std::vector<PixelPoint> ends;
    ends.reserve(polygons.size() * 8);
    for (Arealis::Polygon* pPolygon : polygons)
    {
        const Arealis::Rectangle worldBounds = pPolygon->GetBounds();
        if (worldBounds.IsEmpty())
        {
            continue;
        }
        const PixelRect bounds = WorldToPixel(worldBounds);
        if (bounds.Width() < 2 && bounds.Height() < 2)
        {
            ends.push_back({bounds.Left, bounds.Top});
            ends.push_back({bounds.Left, bounds.Top});
            continue;
        }
        // A polygon far larger than the window keeps the clipped drawing: its pixel
        // coordinates could leave the range a canvas draws.
        if (m_clipFrame && m_clipFrame->NeedsClipping(*pPolygon))
        {
            DrawPolygon(canvas, *pPolygon, White, outline);
            canvas.SelectPen(outline, 0);
            canvas.SetRasterOp(RasterOp::CopyPen);
            continue;
        }
        Arealis::RingEnumerator rings = pPolygon->GetRings();
        while (rings.MoveNext())
        {
            const Arealis::Ring& ring = *rings.Current();
            const std::int32_t count = ring.Count();
            if (count == 0)
            {
                continue;
            }
            PixelPoint last = WorldToPixel(ring.GetNode(count - 1)->Position);
            for (std::int32_t i = 0; i < count; ++i)
            {
                const PixelPoint next = WorldToPixel(ring.GetNode(i)->Position);
                if (next != last)
                {
                    ends.push_back(last);
                    ends.push_back(next);
                    last = next;
                }
            }
        }
    }
    canvas.DrawSegments(ends);
}

} // namespace Orvista
