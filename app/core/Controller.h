#pragma once

#include "PixelGeometry.h"

namespace Orvista
{

class COrvistaView;
class DisplayLayer;

// Key and button state passed with mouse events.
namespace KeyFlags
{
inline constexpr unsigned LeftButton = 0x0001;
inline constexpr unsigned RightButton = 0x0002;
inline constexpr unsigned Shift = 0x0004;
inline constexpr unsigned Control = 0x0008;
inline constexpr unsigned MiddleButton = 0x0010;
} // namespace KeyFlags

// An interaction mode of the drawing view: it receives the view's mouse events while its mode
// is active. The view owns it and destroys it when the mode changes.
class Controller
{
public:
    explicit Controller(COrvistaView& view) : m_view(view) {}
    virtual ~Controller() = default;

    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    virtual void OnLButtonDown(unsigned flags, PixelPoint point);
    virtual void OnLButtonUp(unsigned flags, PixelPoint point);
    virtual void OnMouseMove(unsigned flags, PixelPoint point);

    // The layer is about to be destroyed: forget whatever refers to its polygons and nodes.
    virtual void OnLayerDeleted(const DisplayLayer& layer);

protected:
    COrvistaView& View() const { return m_view; }

private:
    COrvistaView& m_view;
};

} // namespace Orvista
