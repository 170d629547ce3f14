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

// The operands of the Boolean polygon operations: overlapping squares.
QIcon PolygonOperation(
    const std::function<void(QPainter&, const QPainterPath&, const QPainterPath&)>& fill)
{
    return Draw(
        [&fill](QPainter& painter)
        {
            QPainterPath first;
            first.addRect(QRectF(3, 5, 16, 16));
            QPainterPath second;
            second.addRect(QRectF(12, 11, 17, 16));
            painter.setPen(Qt::NoPen);
            fill(painter, first, second);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(Ink, 1.5));
            painter.drawPath(first);
            painter.drawPath(second);
        });
}

// A polygon of the map, the subject of the editing commands.
const QPolygonF& Parcel()
{
    static const QPolygonF parcel({{3, 12}, {14, 4}, {28, 9}, {25, 27}, {8, 25}});
    return parcel;
}

void DrawParcel(QPainter& painter, const QColor& fill)
{
    painter.setPen(QPen(Ink, 1.5));
    painter.setBrush(fill);
    painter.drawPolygon(Parcel());
}

void Tick(QPainter& painter, const QPointF& at, double size)
{
    painter.setPen(QPen(QColor(0, 140, 0), size / 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(
        QPolygonF({at, at + QPointF(size * 0.35, size * 0.35), at + QPointF(size, -size * 0.45)}));
}

void Plus(QPainter& painter, const QPointF& centre)
{
    painter.setPen(QPen(QColor(0, 120, 0), 3.5, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(centre - QPointF(6, 0), centre + QPointF(6, 0));
    painter.drawLine(centre - QPointF(0, 6), centre + QPointF(0, 6));
}

void NodeSquare(QPainter& painter, const QPointF& centre)
{
    painter.setPen(QPen(QColor(50, 200, 50), 2));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(centre - QPointF(3.5, 3.5), QSizeF(7, 7)));
}

QIcon EditingCommandIcon(int id)
{
    using namespace CommandId;
    switch (id)
    {
    case CommitChanges:
        return Draw(
            [](QPainter& painter)
            {
                DrawParcel(painter, Blue);
                Tick(painter, QPointF(9, 17), 16);
            });
    case SnapByNodeIndex:
        return Draw(
            [](QPainter& painter)
            {
                // A magnet pulling a node.
                painter.setPen(QPen(QColor(200, 0, 0), 6, Qt::SolidLine, Qt::FlatCap));
                painter.setBrush(Qt::NoBrush);
                QPainterPath magnet;
                magnet.moveTo(6, 4);
                magnet.lineTo(6, 14);
                magnet.arcTo(QRectF(6, 6, 16, 16), 180, 180);
                magnet.lineTo(22, 4);
                painter.drawPath(magnet);
                painter.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::FlatCap));
                painter.drawLine(QPointF(6, 4), QPointF(6, 8));
                painter.drawLine(QPointF(22, 4), QPointF(22, 8));
                NodeSquare(painter, QPointF(26, 27));
            });
    case ShowParents:
    case ClearParents:
        return Draw(
            [id](QPainter& painter)
            {
                painter.setPen(QPen(QColor(0, 170, 170), 1.5, Qt::DashLine));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(QRectF(2, 3, 14, 14));
                painter.drawRect(QRectF(10, 9, 14, 14));
                painter.setPen(QPen(Ink, 1.5));
                painter.setBrush(Green);
                painter.drawRect(QRectF(10, 9, 6, 8));
                if (id == ClearParents)
                {
                    painter.setPen(QPen(QColor(200, 0, 0), 3.5, Qt::SolidLine, Qt::RoundCap));
                    painter.drawLine(QPointF(19, 19), QPointF(29, 29));
                    painter.drawLine(QPointF(29, 19), QPointF(19, 29));
                }
            });
    case ModeValidate:
        return Draw(
            [](QPainter& painter)
            {
                DrawParcel(painter, Rose);
                painter.setPen(QPen(QColor(0, 140, 0), 1.5));
                painter.setBrush(Qt::white);
                painter.drawEllipse(QPointF(22, 22), 8, 8);
                Tick(painter, QPointF(18, 22), 8);
            });
    case ModeMoveNode:
        return Draw(
            [](QPainter& painter)
            {
                DrawParcel(painter, Blue);
                painter.setPen(QPen(Ink, 2, Qt::SolidLine, Qt::RoundCap));
                painter.drawLine(QPointF(14, 4), QPointF(24, 14));
                NodeSquare(painter, QPointF(14, 4));
                painter.setBrush(Ink);
                painter.setPen(Qt::NoPen);
                painter.drawPolygon(QPolygonF({{27, 17}, {19, 15}, {25, 9}}));
            });
    case ModeBooleanSelection:
        return Draw(
            [](QPainter& painter)
            {
                painter.setPen(QPen(QColor(0, 90, 255), 2));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(QRectF(2, 3, 14, 14));
                painter.setPen(QPen(QColor(230, 0, 200), 2));
                painter.drawRect(QRectF(9, 8, 14, 14));
                painter.setPen(QPen(Ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.setBrush(Qt::white);
                painter.drawPolygon(QPolygonF(
                    {{17, 13}, {17, 30}, {21, 26}, {24, 32}, {27, 30}, {24, 25}, {29, 25}}));
            });
    case BooleanUnion:
        return PolygonOperation(
            [](QPainter& painter, const QPainterPath& first, const QPainterPath& second)
            { painter.fillPath(first.united(second), Green); });
    case BooleanIntersect:
        return PolygonOperation(
            [](QPainter& painter, const QPainterPath& first, const QPainterPath& second)
            { painter.fillPath(first.intersected(second), Green); });
    case BooleanSubtract:
        return PolygonOperation(
            [](QPainter& painter, const QPainterPath& first, const QPainterPath& second)
            { painter.fillPath(first.subtracted(second), Green); });
    case ModeCreate:
        return Draw(
            [](QPainter& painter)
            {
                painter.setPen(QPen(Ink, 1.5, Qt::DashLine));
                painter.setBrush(Qt::NoBrush);
                painter.drawPolyline(QPolygonF({{20, 24}, {4, 26}, {3, 10}, {14, 4}}));
                // A pencil on the last vertex.
                painter.setPen(QPen(Ink, 1));
                painter.setBrush(QColor(240, 200, 90));
                painter.drawPolygon(QPolygonF({{20, 24}, {22, 17}, {30, 9}, {31, 16}, {23, 23}}));
                painter.setBrush(Ink);
                painter.drawPolygon(QPolygonF({{20, 24}, {21, 21}, {22, 23}}));
            });
    case AddPolygon:
        return Draw(
            [](QPainter& painter)
            {
                DrawParcel(painter, Green);
                Plus(painter, QPointF(16, 16));
            });
    case AddRing:
        return Draw(
            [](QPainter& painter)
            {
                QPainterPath withHole;
                withHole.addPolygon(Parcel());
                withHole.addEllipse(QPointF(15, 16), 6, 6);
                painter.setPen(QPen(Ink, 1.5));
                painter.setBrush(Green);
                painter.drawPath(withHole);
                Plus(painter, QPointF(24, 24));
            });
    case StartTest:
        return Draw(
            [](QPainter& painter)
            {
                // A checklist.
                painter.setPen(QPen(Ink, 1.5));
                painter.setBrush(Qt::white);
                painter.drawRect(QRectF(5, 2, 22, 28));
                for (const double y : {9.0, 17.0, 25.0})
                {
                    Tick(painter, QPointF(8, y - 1), 6);
                    painter.setPen(QPen(Ink, 1.5));
                    painter.drawLine(QPointF(16, y), QPointF(24, y));
                }
            });
    case CompareLayers:
        return Draw(
            [](QPainter& painter)
            {
                painter.setPen(QPen(Ink, 1.5));
                painter.setBrush(Blue);
                painter.drawPolygon(QPolygonF({{1, 8}, {7, 3}, {13, 8}, {7, 13}}));
                painter.setBrush(Rose);
                painter.drawPolygon(QPolygonF({{19, 24}, {25, 19}, {31, 24}, {25, 29}}));
                painter.setPen(QPen(Ink, 2.5));
                painter.drawLine(QPointF(9, 18), QPointF(20, 18));
                painter.drawLine(QPointF(9, 23), QPointF(20, 23));
            });
    default:
        return {};
    }
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
        return EditingCommandIcon(id);
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
