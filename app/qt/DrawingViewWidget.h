#pragma once

#include "OrvistaView.h"
#include "QtCanvas.h"
#include "ViewWindow.h"

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QTimer>
#include <QTransform>
#include <QWidget>
#include <memory>

namespace Orvista
{

class CMainFrame;
class IPlatform;

// The drawing view pane. The window's picture is kept in a surface image: invalidated parts
// are painted into it by the view's OnDraw from the event loop, and Qt's paint events only
// copy it to the screen. Drawing "directly on the window" goes into the surface too and stays
// until that part is invalidated and painted again.
//
// Besides the left button, which goes to the controller of the interaction mode, the mouse
// wheel zooms about the cursor, dragging with the middle button pans, and Escape abandons the
// controller's gesture (or the pan) in progress.
class DrawingViewWidget final : public QWidget, public IViewWindow
{
    Q_OBJECT

public:
    // How long the size must stay unchanged before the view draws again at the new size.
    static constexpr int SettleMilliseconds = 250;

    DrawingViewWidget(IPlatform& platform, QWidget* pParent = nullptr);
    ~DrawingViewWidget() override;

    COrvistaView& Logic() { return m_logic; }
    void SetFrame(CMainFrame* pFrame) { m_pFrame = pFrame; }

    PixelSize ClientSize() const override;
    void Invalidate() override;
    void InvalidateRect(const PixelRect& rect) override;
    std::unique_ptr<IBitmap> CreateBitmap(PixelSize size) override;
    ICanvas& BeginDirectDrawing() override;
    void EndDirectDrawing() override;

    // Paints the invalidated parts into the surface now instead of from the event loop.
    void RenderPending();
    // The window's picture as last painted.
    const QImage& Surface() const { return m_surface; }
    // How far the picture is dragged by a middle-button pan in progress.
    QPoint PanOffset() const { return m_panOffset; }

    // Zoom factor of one notch of the mouse wheel (120 eighths of a degree).
    static constexpr double WheelNotchZoom = 2.0;
    // While the wheel turns, the picture drawn last is shown scaled (a coarse frame costs one
    // scaled copy); the layers are drawn again once it has rested this long.
    static constexpr int WheelRestMilliseconds = 150;
    // After a zoom or a pan a layer of many polygons is drawn coarsely; it is drawn fully once
    // the view has rested this long (and no pan or wheel zoom is in progress).
    static constexpr int ViewRestMilliseconds = 150;
    // Whether a scaled picture stands in for the layers while the wheel turns.
    bool IsWheelPreviewing() const { return m_wheelTimer.isActive(); }

signals:
    // The view got the focus and is the active pane now.
    void Activated();
    // The cursor is over the world point (x, y); scale is the view's pixels per world unit.
    void CursorMoved(double x, double y, double scale);
    // The cursor left the view.
    void CursorLeft();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;

private:
    void QueueRender();
    void FitSurface();
    // Zooming and panning need something to show.
    bool HasLayers() const;
    void EndPan(bool apply);
    // The wheel rests: the layers are drawn at the new zoom.
    void EndWheelPreview();
    // The view rested after it moved: coarse pictures are drawn fully.
    void OnViewRested();

    IPlatform& m_platform;
    COrvistaView m_logic;
    CMainFrame* m_pFrame = nullptr;
    QImage m_surface;
    QRegion m_dirty;
    std::unique_ptr<QtCanvas> m_directCanvas;
    QTimer m_settleTimer;
    QTimer m_wheelTimer;
    QTimer m_restTimer;
    // Maps the picture drawn last onto the window while the wheel turns.
    QTransform m_wheelPreview;
    bool m_renderQueued = false;
    bool m_rendering = false;
    bool m_renderAgain = false;
    bool m_panning = false;
    QPoint m_panStart;
    QPoint m_panOffset;
};

} // namespace Orvista
