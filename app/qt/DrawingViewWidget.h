#pragma once

#include "OrvistaView.h"
#include "QtCanvas.h"
#include "ViewWindow.h"

#include <QImage>
#include <QRegion>
#include <QTimer>
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

signals:
    // The view got the focus and is the active pane now.
    void Activated();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;

private:
    void QueueRender();
    void FitSurface();

    IPlatform& m_platform;
    COrvistaView m_logic;
    CMainFrame* m_pFrame = nullptr;
    QImage m_surface;
    QRegion m_dirty;
    std::unique_ptr<QtCanvas> m_directCanvas;
    QTimer m_settleTimer;
    bool m_renderQueued = false;
    bool m_rendering = false;
    bool m_renderAgain = false;
};

} // namespace Orvista
