#pragma once

#include "PixelGeometry.h"

#include <vector>

namespace Orvista
{

class ICanvas;
class IViewWindow;

// Lines drawn over the drawing view's picture with the not-xor raster operation, so that
// drawing them a second time removes them. The band remembers the pixels it drew: it removes
// exactly those, also after the view was zoomed, and draws them again whenever the view
// repaints the picture underneath (Redraw), so that a repaint never leaves half a band behind.
class RubberBand
{
public:
    using Polyline = std::vector<PixelPoint>;

    // Replaces the lines on the window by these polylines.
    void Show(IViewWindow& window, std::vector<Polyline> lines);
    // Removes the lines from the window.
    void Hide(IViewWindow& window);
    // Forgets the lines without drawing, for a window whose picture is gone anyway.
    void Forget() { m_lines.clear(); }
    bool IsShown() const { return !m_lines.empty(); }
    const std::vector<Polyline>& Lines() const { return m_lines; }

    // The window's picture under the band was just painted again through canvas: the band
    // goes back on top of it.
    void Redraw(ICanvas& canvas) const;

private:
    static void Draw(ICanvas& canvas, const std::vector<Polyline>& lines);

    std::vector<Polyline> m_lines;
};

} // namespace Orvista
