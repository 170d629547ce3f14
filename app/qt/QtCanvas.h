#pragma once

#include "Canvas.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <memory>

namespace Orvista
{

// A canvas on a QImage of format RGB32. The raster operations map onto QPainter's raster
// composition modes; lines are aliased and leave out their end pixel. A QPainter is kept open
// between calls and closed by Flush() or when the canvas goes away.
class QtCanvas final : public ICanvas
{
public:
    explicit QtCanvas(QImage& image);
    ~QtCanvas() override;

    // Limits every later drawing to region (an empty region: no limit).
    void SetClip(const QRegion& region);
    // Ends the open painter so that the image can be read or replaced.
    void Flush();

    void SelectPen(Colour colour, int width) override;
    void SetRasterOp(RasterOp op) override;
    void MoveTo(PixelPoint point) override;
    void LineTo(PixelPoint point) override;
    void SetPixel(PixelPoint point, Colour colour) override;
    void FillRect(const PixelRect& rect, Colour colour) override;
    void DrawRectangle(const PixelRect& rect, Colour brush) override;
    void FillPolyPolygon(std::span<const PixelPoint> points, std::span<const int> ringSizes,
                         Colour brush) override;
    void DrawSegments(std::span<const PixelPoint> points) override;
    void CopyTransparent(const IBitmap& source, Colour transparent) override;
    void CopyStretched(const IBitmap& source, const PixelRect& sourceRect,
                       const PixelRect& destRect) override;

private:
    QPainter& Painter();
    // Puts the pen and the raster operation into the painter.
    QPainter& PenPainter();
    // A painter that copies plainly, whatever the raster operation.
    QPainter& CopyPainter();

    QImage& m_image;
    std::unique_ptr<QPainter> m_painter;
    QRegion m_clip;
    QColor m_penColour = Qt::black;
    int m_penWidth = 0;
    RasterOp m_rasterOp = RasterOp::CopyPen;
    QPoint m_position;
};

// An off-screen RGB32 picture.
class QtBitmap final : public IBitmap
{
public:
    explicit QtBitmap(PixelSize size);

    PixelSize Size() const override;
    ICanvas& Canvas() override { return m_canvas; }

    // The picture with every drawing finished.
    const QImage& Image() const;

private:
    QImage m_image;
    mutable QtCanvas m_canvas;
};

QColor ToQColor(Colour colour);
Colour FromQColor(const QColor& colour);

} // namespace Orvista
