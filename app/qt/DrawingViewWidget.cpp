#include "DrawingViewWidget.h"

#include "EventDispatch.h"
#include "MainFrame.h"
#include "OrvistaDoc.h"
#include "ViewNavigation.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace Orvista
{

namespace
{

unsigned KeyFlagsOf(const QMouseEvent& event)
{
    unsigned flags = 0;
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons.testFlag(Qt::LeftButton))
    {
        flags |= KeyFlags::LeftButton;
    }
    if (buttons.testFlag(Qt::RightButton))
    {
        flags |= KeyFlags::RightButton;
    }
    if (buttons.testFlag(Qt::MiddleButton))
    {
        flags |= KeyFlags::MiddleButton;
    }
    if (event.modifiers().testFlag(Qt::ShiftModifier))
    {
        flags |= KeyFlags::Shift;
    }
    if (event.modifiers().testFlag(Qt::ControlModifier))
    {
        flags |= KeyFlags::Control;
    }
    return flags;
}

PixelPoint PointOf(const QMouseEvent& event)
{
    const QPoint point = event.position().toPoint();
    return {point.x(), point.y()};
}

} // namespace

DrawingViewWidget::DrawingViewWidget(IPlatform& platform, QWidget* pParent)
    : QWidget(pParent), m_platform(platform), m_logic(platform)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(1, 1);
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(SettleMilliseconds);
    connect(&m_settleTimer, &QTimer::timeout, this,
            [this]
            {
                if (m_pFrame != nullptr)
                {
                    DispatchEvent(m_platform, [this] { m_pFrame->OnViewSizeSettled(); });
                }
            });
    m_wheelTimer.setSingleShot(true);
    m_wheelTimer.setInterval(WheelRestMilliseconds);
    connect(&m_wheelTimer, &QTimer::timeout, this, &DrawingViewWidget::EndWheelPreview);
    m_restTimer.setSingleShot(true);
    m_restTimer.setInterval(ViewRestMilliseconds);
    connect(&m_restTimer, &QTimer::timeout, this, &DrawingViewWidget::OnViewRested);
    m_logic.SetDraftWhileMoving(true);
}

void DrawingViewWidget::OnViewRested()
{
    if (m_panning || IsWheelPreviewing())
    {
        m_restTimer.start();
        return;
    }
    DispatchEvent(m_platform, [this] { m_logic.SettleView(); });
}

void DrawingViewWidget::EndWheelPreview()
{
    m_wheelPreview.reset();
    // The wheel has rested already: the layers are drawn fully at the new zoom.
    DispatchEvent(m_platform, [this] { m_logic.SettleView(); });
    QueueRender();
    update();
}

DrawingViewWidget::~DrawingViewWidget()
{
    m_logic.OnDestroy();
}

PixelSize DrawingViewWidget::ClientSize() const
{
    return {width(), height()};
}

void DrawingViewWidget::Invalidate()
{
    m_dirty = QRegion(rect());
    QueueRender();
}

void DrawingViewWidget::InvalidateRect(const PixelRect& rect)
{
    m_dirty += QRect(rect.Left, rect.Top, rect.Width(), rect.Height()) & this->rect();
    QueueRender();
}

std::unique_ptr<IBitmap> DrawingViewWidget::CreateBitmap(PixelSize size)
{
    return std::make_unique<QtBitmap>(size);
}

ICanvas& DrawingViewWidget::BeginDirectDrawing()
{
    FitSurface();
    m_directCanvas = std::make_unique<QtCanvas>(m_surface);
    return *m_directCanvas;
}

void DrawingViewWidget::EndDirectDrawing()
{
    m_directCanvas.reset();
    update();
}

void DrawingViewWidget::FitSurface()
{
    if (m_surface.size() != size())
    {
        m_surface = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        m_surface.fill(Qt::white);
        m_dirty = QRegion(rect());
        QueueRender();
    }
}

void DrawingViewWidget::QueueRender()
{
    if (m_renderQueued)
    {
        return;
    }
    m_renderQueued = true;
    QMetaObject::invokeMethod(this, &DrawingViewWidget::RenderPending, Qt::QueuedConnection);
}

void DrawingViewWidget::RenderPending()
{
    m_renderQueued = false;
    // A message box shown while painting runs the event loop: paint again afterwards instead
    // of painting inside the paint.
    if (m_rendering)
    {
        m_renderAgain = true;
        return;
    }
    FitSurface();
    // While the wheel turns the scaled picture stands in; the layers are drawn when it rests.
    if (m_dirty.isEmpty() || IsWheelPreviewing())
    {
        return;
    }
    const QRegion region = m_dirty;
    m_dirty = QRegion();
    m_rendering = true;
    {
        QtCanvas canvas(m_surface);
        canvas.SetClip(region);
        DispatchEvent(m_platform, [this, &canvas] { m_logic.OnDraw(canvas); });
    }
    m_rendering = false;
    if (m_logic.IsMoving())
    {
        m_restTimer.start();
    }
    update(region);
    if (m_renderAgain)
    {
        m_renderAgain = false;
        QueueRender();
    }
}

void DrawingViewWidget::paintEvent(QPaintEvent* pEvent)
{
    QPainter painter(this);
    if (m_surface.size() != size() || !m_panOffset.isNull())
    {
        painter.fillRect(pEvent->rect(), Qt::white);
    }
    if (!m_panOffset.isNull())
    {
        // The picture follows the mouse; the view is drawn again when the button is released.
        painter.drawImage(m_panOffset, m_surface);
        return;
    }
    if (IsWheelPreviewing())
    {
        painter.fillRect(rect(), Qt::white);
        painter.setTransform(m_wheelPreview);
        painter.drawImage(0, 0, m_surface);
        return;
    }
    painter.drawImage(pEvent->rect(), m_surface, pEvent->rect());
}

void DrawingViewWidget::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    Invalidate();
    if (m_pFrame != nullptr)
    {
        DispatchEvent(m_platform, [this] { m_pFrame->OnViewSizing(); });
        m_settleTimer.start();
    }
}

bool DrawingViewWidget::HasLayers() const
{
    const COrvistaDoc* pDocument = m_logic.GetDocument();
    return pDocument != nullptr && pDocument->HasLayers();
}

void DrawingViewWidget::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::MiddleButton && !m_panning && HasLayers())
    {
        m_panning = true;
        m_panStart = pEvent->position().toPoint();
        m_panOffset = QPoint();
        setCursor(Qt::ClosedHandCursor);
    }
    if (pEvent->button() == Qt::LeftButton)
    {
        DispatchEvent(m_platform, [this, pEvent]
                      { m_logic.OnLButtonDown(KeyFlagsOf(*pEvent), PointOf(*pEvent)); });
    }
    QWidget::mousePressEvent(pEvent);
}

void DrawingViewWidget::EndPan(bool apply)
{
    const QPoint offset = m_panOffset;
    m_panning = false;
    m_panOffset = QPoint();
    unsetCursor();
    if (apply && !offset.isNull())
    {
        DispatchEvent(m_platform, [this, offset] { PanByPixels(m_logic, offset.x(), offset.y()); });
    }
    update();
}

void DrawingViewWidget::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::MiddleButton && m_panning)
    {
        m_panOffset = pEvent->position().toPoint() - m_panStart;
        EndPan(true);
    }
    if (pEvent->button() == Qt::LeftButton)
    {
        DispatchEvent(m_platform, [this, pEvent]
                      { m_logic.OnLButtonUp(KeyFlagsOf(*pEvent), PointOf(*pEvent)); });
    }
    QWidget::mouseReleaseEvent(pEvent);
}

void DrawingViewWidget::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (m_panning)
    {
        m_panOffset = pEvent->position().toPoint() - m_panStart;
        update();
    }
    else
    {
        DispatchEvent(m_platform, [this, pEvent]
                      { m_logic.OnMouseMove(KeyFlagsOf(*pEvent), PointOf(*pEvent)); });
    }
    const Arealis::Point world = m_logic.PixelToWorld(PointOf(*pEvent));
    emit CursorMoved(world.X, world.Y, m_logic.GetScale());
    QWidget::mouseMoveEvent(pEvent);
}

void DrawingViewWidget::wheelEvent(QWheelEvent* pEvent)
{
    const int delta = pEvent->angleDelta().y();
    if (delta == 0 || m_panning || !HasLayers())
    {
        QWidget::wheelEvent(pEvent);
        return;
    }
    // Turning the wheel away from the user zooms in.
    const double factor = std::pow(WheelNotchZoom, -delta / 120.0);
    const QPoint point = pEvent->position().toPoint();
    DispatchEvent(m_platform,
                  [this, point, factor] {
                      ZoomKeepingPixel(m_logic, {point.x(), point.y()}, factor);
                  });
    // The zoom keeps the pixel under the cursor: the picture shown so far is scaled about it
    // until the wheel rests (a full drawing of a large layer takes longer than a frame).
    const double scale = 1.0 / factor;
    m_wheelPreview = m_wheelPreview * QTransform::fromTranslate(-point.x(), -point.y()) *
                     QTransform::fromScale(scale, scale) *
                     QTransform::fromTranslate(point.x(), point.y());
    m_wheelTimer.start();
    update();
    pEvent->accept();
}

void DrawingViewWidget::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->key() != Qt::Key_Escape)
    {
        QWidget::keyPressEvent(pEvent);
        return;
    }
    if (m_panning)
    {
        EndPan(false);
    }
    else
    {
        DispatchEvent(m_platform, [this] { m_logic.OnCancel(); });
    }
    pEvent->accept();
}

void DrawingViewWidget::leaveEvent(QEvent* pEvent)
{
    emit CursorLeft();
    QWidget::leaveEvent(pEvent);
}

void DrawingViewWidget::focusInEvent(QFocusEvent* pEvent)
{
    QWidget::focusInEvent(pEvent);
    emit Activated();
}

} // namespace Orvista
