#include "ToolbarIcons.h"

#include "Commands.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace Orvista
{

namespace
{

constexpr int Side = 32;
const QColor Ink(40, 40, 70);
const QColor Blue(125, 166, 251);
const QColor Green(168, 255, 168);
const QColor Rose(255, 164, 209);

QIcon Draw(const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(Side, Side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return QIcon(pixmap);
}

void Magnifier(QPainter& painter, const std::function<void(QPainter&)>& inside)
{
    painter.setPen(QPen(Ink, 3.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(19, 19), QPointF(29, 29));
    painter.setPen(QPen(Ink, 2.5));
    painter.setBrush(QColor(235, 245, 255));
    painter.drawEllipse(QPointF(13, 13), 10, 10);
    inside(painter);
}

// The two operands of the layer operations: overlapping discs.
QPainterPath LeftDisc()
{
    QPainterPath path;
    path.addEllipse(QPointF(11.5, 16), 9.5, 9.5);
    return path;
}

QPainterPath RightDisc()
{
    QPainterPath path;
    path.addEllipse(QPointF(20.5, 16), 9.5, 9.5);
    return path;
}

QIcon SetOperation(
    const std::function<void(QPainter&, const QPainterPath&, const QPainterPath&)>& fill)
{
    return Draw(
        [&fill](QPainter& painter)
        {
            const QPainterPath left = LeftDisc();
            const QPainterPath right = RightDisc();
            painter.setPen(Qt::NoPen);
            fill(painter, left, right);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(Ink, 1.5));
            painter.drawPath(left);
            painter.drawPath(right);
        });
}

} // namespace

QIcon CommandIcon(int id)
{
    using namespace CommandId;
    switch (id)
    {
    case FileOpen:
        return Draw(
            [](QPainter& painter)
            {
                painter.setPen(QPen(QColor(120, 90, 20), 1.5));
                painter.setBrush(QColor(240, 200, 90));
                painter.drawPolygon(
                    QPolygonF({{3, 8}, {12, 8}, {15, 11}, {28, 11}, {28, 26}, {3, 26}}));
                painter.setBrush(QColor(255, 225, 130));
                painter.drawPolygon(QPolygonF({{3, 26}, {8, 15}, {31, 15}, {28, 26}}));
            });
    case DeleteSelectedLayer:
        return Draw(
            [](QPainter& painter)
            {
                painter.setPen(QPen(Ink, 1.5));
                painter.setBrush(Blue);
                painter.drawPolygon(QPolygonF({{2, 18}, {14, 10}, {28, 16}, {16, 25}}));
                painter.setPen(QPen(QColor(200, 0, 0), 3.5, Qt::SolidLine, Qt::RoundCap));
                painter.drawLine(QPointF(18, 3), QPointF(29, 14));
                painter.drawLine(QPointF(29, 3), QPointF(18, 14));
            });
    case ModeZoomIn:
        return Draw(
            [](QPainter& painter)
            {
                Magnifier(painter,
                          [](QPainter& inner)
                          {
                              inner.setPen(QPen(Ink, 2.5));
                              inner.drawLine(QPointF(8, 13), QPointF(18, 13));
                              inner.drawLine(QPointF(13, 8), QPointF(13, 18));
                          });
            });
    case ModeZoomOut:
        return Draw(
            [](QPainter& painter)
            {
                Magnifier(painter,
                          [](QPainter& inner)
                          {
                              inner.setPen(QPen(Ink, 2.5));
                              inner.drawLine(QPointF(8, 13), QPointF(18, 13));
                          });
            });
    case ZoomToCurrent:
        return Draw(
            [](QPainter& painter)
            {
                Magnifier(painter,
                          [](QPainter& inner)
                          {
                              inner.setPen(QPen(Ink, 1.5));
                              inner.setBrush(Blue);
                              inner.drawRect(QRectF(8, 9, 10, 8));
                          });
            });
    case ModeSelect:
        return Draw(
            [](QPainter& painter)
            {
                painter.setPen(QPen(Ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.setBrush(Qt::white);
                painter.drawPolygon(
                    QPolygonF({{8, 3}, {8, 26}, {13, 21}, {17, 30}, {21, 28}, {17, 19}, {24, 19}}));
            });
    case UniteAllPolygons:
        return Draw(
            [](QPainter& painter)
            {
                QPainterPath parts;
                parts.addRect(QRectF(3, 4, 13, 13));
                parts.addRect(QRectF(11, 10, 13, 13));
                parts.addRect(QRectF(16, 16, 13, 12));
                painter.setPen(QPen(Ink, 1.5));
                painter.setBrush(Green);
                painter.drawPath(parts.simplified());
            });
    case UniteTwoLayers:
        return SetOperation(
            [](QPainter& painter, const QPainterPath& left, const QPainterPath& right)
            { painter.fillPath(left.united(right), Blue); });
    case IntersectLayers:
        return SetOperation(
            [](QPainter& painter, const QPainterPath& left, const QPainterPath& right)
            { painter.fillPath(left.intersected(right), Blue); });
    case SubtractLayers:
        return SetOperation(
            [](QPainter& painter, const QPainterPath& left, const QPainterPath& right)
            { painter.fillPath(left.subtracted(right), Blue); });
    case JoinLayers:
        return SetOperation(
            [](QPainter& painter, const QPainterPath& left, const QPainterPath& right)
            {
                painter.fillPath(left.subtracted(right), Blue);
                painter.fillPath(right.subtracted(left), Rose);
                painter.fillPath(left.intersected(right), Green);
            });
    default:
        return {};
    }
}

QIcon ApplicationIcon()
{
    QIcon icon(QStringLiteral(":/orvista/orvista.png"));
    if (!icon.isNull())
    {
        return icon;
    }
    return CommandIcon(CommandId::JoinLayers);
}

} // namespace Orvista
