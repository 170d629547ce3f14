#pragma once

#include "Arealis/Point.h"
#include "RubberBand.h"
#include "SelectController.h"

namespace Orvista
{

// The mode "Move a node": pressing the button on a node of a visible layer selects it and
// starts a drag; while the mouse moves, a rubber line runs from the node to the target, which
// snaps to the nearest node (or, without the node index option, polygon vertex) within the
// pick distance; releasing moves the node in the current layer's topology, merging it with a
// node that already stands at the target. Escape abandons the drag. A node of the current
// layer wins over nodes of the other layers; a node picked in another visible layer makes
// that layer current (the status bar says so), so that every node offered can be moved.
class EditController final : public SelectController
{
public:
    using SelectController::SelectController;

    void OnLButtonDown(unsigned flags, PixelPoint point) override;
    void OnMouseMove(unsigned flags, PixelPoint point) override;
    void OnLButtonUp(unsigned flags, PixelPoint point) override;
    void OnCancel() override;
    void OnLayerDeleted(const DisplayLayer& layer) override;
    void DrawOverlay(ICanvas& canvas) override;

    bool SelectsPolygons() const override { return false; }
    bool SelectsEdges() const override { return false; }
    bool SelectsNodes() const override { return true; }
    bool Identifies() const override { return false; }

    bool IsDragging() const { return m_dragging; }
    const Arealis::Point& GetTarget() const { return m_target; }

private:
    // The target for the cursor at point, snapped to a node or vertex of the current layer.
    Arealis::Point SnapTarget(const Arealis::Point& point) const;
    void ShowRubberLine();
    void HideRubberLine();
    void MoveSelectedNode();
    // Selects the node under the point, in the current layer first; a node of another layer
    // makes its layer current.
    void PickNode(PixelPoint point);

    bool m_dragging = false;
    bool m_moved = false;
    Arealis::Point m_start{};
    Arealis::Point m_target{};
    RubberBand m_line;
};

} // namespace Orvista
