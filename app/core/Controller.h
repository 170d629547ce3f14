#pragma once

#include "PixelGeometry.h"

namespace Arealis
{
class Topology;
}

namespace Orvista
{

class COrvistaView;
class DisplayLayer;
class ICanvas;

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

    // The user pressed Escape: abandon the gesture in progress, if any.
    virtual void OnCancel();

    // The layer is about to be destroyed: forget whatever refers to its polygons and nodes.
    virtual void OnLayerDeleted(const DisplayLayer& layer);

    // The topology's edited polygons were committed, which cleans their rings: rings of fewer
    // than three vertices are removed and repeated nodes released.
    virtual void OnTopologyCommitted(const Arealis::Topology& topology);
    // The topology is about to be committed: a ring being built is finished first.
    virtual void OnCommitting(const Arealis::Topology& topology);
    // Undo, Redo or Delete is about to replace or delete polygons: nothing of a gesture in
    // progress may refer to them afterwards.
    virtual void OnPolygonsReplaced();

    // The view has just painted its picture through canvas: whatever the controller shows on
    // top of the picture (a rubber band) is drawn again there.
    virtual void DrawOverlay(ICanvas& canvas);

protected:
    COrvistaView& View() const { return m_view; }

private:
    COrvistaView& m_view;
};

} // namespace Orvista
