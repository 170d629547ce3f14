#include "QtCanvas.h"

#include <QPainterPath>
#include <QPolygon>
#include <cstddef>

namespace Orvista
{

namespace
{

QPainter::CompositionMode ToCompositionMode(RasterOp op)
{
    switch (op)
    {
    case RasterOp::MaskPen:
        return QPainter::RasterOp_SourceAndDestination;
    case RasterOp::NotXorPen:
        return QPainter::RasterOp_NotSourceXorDestination;
    case RasterOp::CopyPen:
        break;
    }
    return QPainter::CompositionMode_SourceOver;
}

QPoint ToQPoint(PixelPoint point)
{
    return {point.X, point.Y};
}

const QImage& ImageOf(const IBitmap& bitmap)
{
    return dynamic_cast<const QtBitmap&>(bitmap).Image();
}

} // namespace

QColor ToQColor(Colour colour)
{
    return {colour.R, colour.G, colour.B};
}

Colour FromQColor(const QColor& colour)
{
    const QRgb rgb = colour.rgb();
    return {static_cast<std::uint8_t>(qRed(rgb)), static_cast<std::uint8_t>(qGreen(rgb)),
            static_cast<std::uint8_t>(qBlue(rgb))};
}

QtCanvas::QtCanvas(QImage& image) : m_image(image) {}

QtCanvas::~QtCanvas()
{
    Flush();
}

void QtCanvas::SetClip(const QRegion& region)
{
    m_clip = region;
    if (m_painter)
    {
        m_painter->setClipRegion(m_clip, m_clip.isEmpty() ? Qt::NoClip : Qt::ReplaceClip);
    }
}

void QtCanvas::Flush()
{
    if (m_painter)
    {
        m_painter->end();
        m_painter.reset();
    }
}

QPainter& QtCanvas::Painter()
{
    if (!m_painter)
    {
        m_painter = std::make_unique<QPainter>(&m_image);
        m_painter->setRenderHint(QPainter::Antialiasing, false);
        if (!m_clip.isEmpty())
        {
            m_painter->setClipRegion(m_clip);
        }
    }
    return *m_painter;
}

QPainter& QtCanvas::PenPainter()
{
    QPainter& painter = Painter();
    painter.setCompositionMode(ToCompositionMode(m_rasterOp));
    // A thin pen leaves the end pixel out, like the joined lines of a polyline; a wide pen
    // has round ends.
    QPen pen(m_penColour, m_penWidth <= 1 ? 0 : m_penWidth, Qt::SolidLine,
             m_penWidth <= 1 ? Qt::FlatCap : Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    return painter;
}

QPainter& QtCanvas::CopyPainter()
{
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    return painter;
}

void QtCanvas::SelectPen(Colour colour, int width)
{
    m_penColour = ToQColor(colour);
    m_penWidth = width;
}

void QtCanvas::SetRasterOp(RasterOp op)
{
    m_rasterOp = op;
}

void QtCanvas::MoveTo(PixelPoint point)
{
    m_position = ToQPoint(point);
}

void QtCanvas::LineTo(PixelPoint point)
{
    const QPoint end = ToQPoint(point);
    if (end != m_position)
    {
        PenPainter().drawLine(m_position, end);
    }
    m_position = end;
}

void QtCanvas::SetPixel(PixelPoint point, Colour colour)
{
    QPainter& painter = CopyPainter();
    painter.setPen(QPen(ToQColor(colour), 0));
    painter.drawPoint(ToQPoint(point));
}

void QtCanvas::FillRect(const PixelRect& rect, Colour colour)
{
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), ToQColor(colour));
}

void QtCanvas::DrawRectangle(const PixelRect& rect, Colour brush)
{
    QPainter& painter = PenPainter();
    painter.setBrush(ToQColor(brush));
    // The outline runs along the inside of the rectangle, the right and bottom edges excluded.
    painter.drawRect(QRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1));
    painter.setBrush(Qt::NoBrush);
}

void QtCanvas::FillPolyPolygon(std::span<const PixelPoint> points, std::span<const int> ringSizes,
                               Colour brush)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    std::size_t next = 0;
    for (const int size : ringSizes)
    {
        QPolygon ring;
        for (int i = 0; i < size && next < points.size(); ++i, ++next)
        {
            ring << ToQPoint(points[next]);
        }
        path.addPolygon(ring);
        path.closeSubpath();
    }
    QPainter& painter = Painter();
    painter.setCompositionMode(ToCompositionMode(m_rasterOp));
    painter.fillPath(path, ToQColor(brush));
}

void QtCanvas::DrawSegments(std::span<const PixelPoint> points)
{
    QList<QLine> lines;
    QList<QPoint> dots;
    lines.reserve(static_cast<qsizetype>(points.size() / 2));
    for (std::size_t i = 0; i + 1 < points.size(); i += 2)
    {
        const QPoint from = ToQPoint(points[i]);
        const QPoint to = ToQPoint(points[i + 1]);
        if (from == to)
        {
            dots.append(from);
        }
        else
        {
            lines.append(QLine(from, to));
        }
    }
    QPainter& painter = PenPainter();
    painter.drawLines(lines);
    painter.drawPoints(dots.constData(), static_cast<int>(dots.size()));
}

void QtCanvas::CopyTransparent(const IBitmap& source, Colour transparent)
{
    QImage keyed = ImageOf(source).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = qRgb(transparent.R, transparent.G, transparent.B);
    for (int y = 0; y < keyed.height(); ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
        {
            if (line[x] == key)
            {
                line[x] = 0;
            }
        }
    }
    CopyPainter().drawImage(QPoint(0, 0), keyed);
}

void QtCanvas::CopyStretched(const IBitmap& source, const PixelRect& sourceRect,
                             const PixelRect& destRect)
{
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(
        QRect(destRect.Left, destRect.Top, destRect.Width(), destRect.Height()), ImageOf(source),
        QRect(sourceRect.Left, sourceRect.Top, sourceRect.Width(), sourceRect.Height()));
}

QtBitmap::QtBitmap(PixelSize size)
    : m_image(std::max(size.Width, 1), std::max(size.Height, 1), QImage::Format_RGB32),
      m_canvas(m_image)
{
    m_image.fill(Qt::white);
}

PixelSize QtBitmap::Size() const
{
    return {m_image.width(), m_image.height()};
}

const QImage& QtBitmap::Image() const
{
    m_canvas.Flush();
    return m_image;
}

} // namespace Orvista
