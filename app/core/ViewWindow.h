#pragma once

#include "Canvas.h"
#include "PixelGeometry.h"

#include <memory>

namespace Orvista
{

// The window of the drawing view as the view logic sees it.
class IViewWindow
{
public:
    IViewWindow() = default;
    IViewWindow(const IViewWindow&) = delete;
    IViewWindow& operator=(const IViewWindow&) = delete;
    virtual ~IViewWindow() = default;

    virtual PixelSize ClientSize() const = 0;

    // Asks for a repaint of the whole window or of a part of it; the repaint comes later.
    virtual void Invalidate() = 0;
    virtual void InvalidateRect(const PixelRect& rect) = 0;

    // An off-screen bitmap that can be copied to the window, filled with nothing in particular.
    virtual std::unique_ptr<IBitmap> CreateBitmap(PixelSize size) = 0;

    // Drawing straight onto the window: what is drawn stays visible until that part of the
    // window is repainted. Every BeginDirectDrawing is matched by EndDirectDrawing.
    virtual ICanvas& BeginDirectDrawing() = 0;
    virtual void EndDirectDrawing() = 0;
};

// Direct drawing for the lifetime of the object.
class DirectDrawing
{
public:
    explicit DirectDrawing(IViewWindow& window)
        : m_window(window), m_canvas(window.BeginDirectDrawing())
    {
    }
    ~DirectDrawing() { m_window.EndDirectDrawing(); }
    DirectDrawing(const DirectDrawing&) = delete;
    DirectDrawing& operator=(const DirectDrawing&) = delete;

    ICanvas& Canvas() { return m_canvas; }

private:
    IViewWindow& m_window;
    ICanvas& m_canvas;
};

} // namespace Orvista
