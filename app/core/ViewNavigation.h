#pragma once

#include "Arealis/Point.h"
#include "PixelGeometry.h"

namespace Orvista
{

class COrvistaView;

// Zooming and panning of the drawing view, shared by the zoom modes and the mouse.

// Requests a rectangle centred on the point, factor times the size of the requested one
// (0.5 zooms in, 2 zooms out), and shows it.
void ZoomAbout(COrvistaView& view, const Arealis::Point& centre, double factor);

// The click of a zoom mode: ZoomAbout the clicked point, when the document has layers to show.
void ZoomAboutClick(COrvistaView& view, PixelPoint point, double factor);

// Scales the visible area by factor about the pixel, so that the world point under it stays
// under it (the mouse wheel).
void ZoomKeepingPixel(COrvistaView& view, PixelPoint pixel, double factor);

// Moves the picture by the given pixels: dragging to the right shows what lies to the left.
void PanByPixels(COrvistaView& view, int dx, int dy);

} // namespace Orvista
