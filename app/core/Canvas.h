#pragma once

#include "Colour.h"
#include "PixelGeometry.h"

#include <span>

namespace Orvista
{

class IBitmap;

// How a pen or a brush combines with the pixels already there.
enum class RasterOp
{
    CopyPen,   // the pen colour replaces the pixel
    MaskPen,   // pixel AND pen colour
    NotXorPen, // NOT(pixel XOR pen colour): drawing the same thing twice restores the pixels
};

// A drawing surface: a window or an off-screen bitmap. Lines and fills use the current pen and
// raster operation; pixel writes, rectangle fills and copies do not.
class ICanvas
{
public:
    ICanvas() = default;
    ICanvas(const ICanvas&) = delete;
    ICanvas& operator=(const ICanvas&) = delete;
    virtual ~ICanvas() = default;

    // A solid pen; width 0 and 1 both draw one-pixel lines.
    virtual void SelectPen(Colour colour, int width) = 0;
    virtual void SetRasterOp(RasterOp op) = 0;

    virtual void MoveTo(PixelPoint point) = 0;
    // A line from the current position to point, which becomes the current position. The end
    // pixel itself is not drawn, so that joined lines touch each pixel once.
    virtual void LineTo(PixelPoint point) = 0;

    virtual void SetPixel(PixelPoint point, Colour colour) = 0;
    virtual void FillRect(const PixelRect& rect, Colour colour) = 0;
    // Outline with the pen, interior with the brush colour, both with the raster operation.
    virtual void DrawRectangle(const PixelRect& rect, Colour brush) = 0;
    // Fills the union of closed polygons (winding rule) with the brush colour through the
    // raster operation. ringSizes[i] consecutive points of points form polygon i.
    virtual void FillPolyPolygon(std::span<const PixelPoint> points, std::span<const int> ringSizes,
                                 Colour brush) = 0;

    // Draws many segments at once with the current pen and raster operation: points[2i] to
    // points[2i+1], end pixel left out; a segment whose ends coincide draws that one pixel.
    // One call instead of one per line keeps a coarse picture of many polygons quick.
    virtual void DrawSegments(std::span<const PixelPoint> points) = 0;

    // Copies the source to the top-left corner, leaving pixels of the transparent colour out.
    virtual void CopyTransparent(const IBitmap& source, Colour transparent) = 0;
    // Copies sourceRect of the source onto destRect, scaling it to fit.
    virtual void CopyStretched(const IBitmap& source, const PixelRect& sourceRect,
                               const PixelRect& destRect) = 0;
};

// An off-screen picture with a canvas of its own.
class IBitmap
{
public:
    IBitmap() = default;
    IBitmap(const IBitmap&) = delete;
    IBitmap& operator=(const IBitmap&) = delete;
    virtual ~IBitmap() = default;

    virtual PixelSize Size() const = 0;
    virtual ICanvas& Canvas() = 0;
};

} // namespace Orvista
