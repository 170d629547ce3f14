#include "RubberBand.h"

#include "Canvas.h"
#include "ViewWindow.h"

#include <utility>

namespace Orvista
{

namespace
{

// Not-xor with black inverts the pixels, which shows on any fill.
constexpr Colour Black{0, 0, 0};
constexpr int PenWidth = 0;

} // namespace

void RubberBand::Draw(ICanvas& canvas, const std::vector<Polyline>& lines)
{
    canvas.SelectPen(Black, PenWidth);
    canvas.SetRasterOp(RasterOp::NotXorPen);
    for (const Polyline& line : lines)
    {
        if (line.size() < 2)
        {
            continue;
        }
        canvas.MoveTo(line.front());
        for (std::size_t i = 1; i < line.size(); ++i)
        {
            canvas.LineTo(line[i]);
        }
    }
    canvas.SetRasterOp(RasterOp::CopyPen);
}

void RubberBand::Show(IViewWindow& window, std::vector<Polyline> lines)
{
    DirectDrawing drawing(window);
    Draw(drawing.Canvas(), m_lines);
    m_lines = std::move(lines);
    Draw(drawing.Canvas(), m_lines);
}

void RubberBand::Hide(IViewWindow& window)
{
    if (m_lines.empty())
    {
        return;
    }
    DirectDrawing drawing(window);
    Draw(drawing.Canvas(), m_lines);
    m_lines.clear();
}

void RubberBand::Redraw(ICanvas& canvas) const
{
    if (!m_lines.empty())
    {
        Draw(canvas, m_lines);
    }
}

} // namespace Orvista
