#include "EditController.h"

#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "DisplayLayer.h"
#include "EditHistory.h"
#include "ErrorBox.h"
#include "Platform.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "ViewWindow.h"

#include <optional>
#include <utility>
#include <vector>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "EditController";

} // namespace

void EditController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this, point]
               {
                   HideRubberLine();
                   m_dragging = false;
                   m_moved = false;
                   PickNode(point);
                   const Arealis::Node* pNode = View().GetSelectedNode();
                   if (HasLayers() && pNode != nullptr)
                   {
                       m_dragging = true;
                       m_start = pNode->Position;
                       m_target = pNode->Position;
                   }
               });
}

void EditController::PickNode(PixelPoint point)
{
    if (!HasLayers())
    {
        return;
    }
    COrvistaDoc& document = *Document();
    COrvistaView& view = View();
    DisplayLayer* pCurrent = document.GetCurrentLayer();
    if (pCurrent != nullptr && pCurrent->Visible && pCurrent->GetTopology() != nullptr)
    {
        const double tolerance = COrvistaView::PickTolerance / view.GetScale();
        Arealis::Node* pNode =
            pCurrent->GetTopology()->FindNode(view.PixelToWorld(point), tolerance);
        if (pNode != nullptr)
        {
            view.SetSelection(nullptr, nullptr, -1, pNode);
            view.SetSelectionLayer(pCurrent);
            return;
        }
    }
    SelectAt(point);
    DisplayLayer* pPicked = view.GetSelectionLayer();
    if (view.GetSelectedNode() != nullptr && pPicked != nullptr && pPicked != pCurrent)
    {
        document.MakeCurrentLayer(*pPicked);
        view.GetPlatform().ShowStatusText("The current layer is now " + pPicked->Name() +
                                          ": its nodes can be moved");
    }
}

void EditController::OnMouseMove(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this, point]
               {
                   if (!m_dragging)
                   {
                       return;
                   }
                   m_moved = true;
                   m_target = SnapTarget(View().PixelToWorld(point));
                   ShowRubberLine();
               });
}

void EditController::OnLButtonUp(unsigned /*flags*/, PixelPoint /*point*/)
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this]
               {
                   const bool moved = m_dragging && m_moved;
                   m_dragging = false;
                   m_moved = false;
                   HideRubberLine();
                   if (moved)
                   {
                       MoveSelectedNode();
                   }
               });
}

void EditController::OnCancel()
{
    m_dragging = false;
    m_moved = false;
    HideRubberLine();
}

void EditController::OnLayerDeleted(const DisplayLayer& /*layer*/)
{
    // The view forgets the selected node with the layer, so there is nothing left to move;
    // the window is repainted anyway.
    m_dragging = false;
    m_moved = false;
    m_line.Forget();
}

void EditController::DrawOverlay(ICanvas& canvas)
{
    m_line.Redraw(canvas);
}

Arealis::Point EditController::SnapTarget(const Arealis::Point& point) const
{
    COrvistaDoc& document = *Document();
    const double tolerance = COrvistaView::PickTolerance / View().GetScale();
    if (View().IsSnapByNodeIndex())
    {
        const Arealis::Topology* pTopology = document.GetCurrentTopology();
        const Arealis::Node* pNode =
            pTopology != nullptr ? pTopology->FindNode(point, tolerance) : nullptr;
        return pNode != nullptr ? pNode->Position : point;
    }
    const Arealis::PolygonLayer* pLayer = document.GetCurrentPolygonLayer();
    const Arealis::Polygon* pPolygon =
        pLayer != nullptr ? pLayer->FindPolygon(point, tolerance) : nullptr;
    Arealis::Ring* pRing = nullptr;
    std::int32_t index = -1;
    if (pPolygon != nullptr && pPolygon->FindNode(point, tolerance, &pRing, &index, nullptr) &&
        pRing != nullptr)
    {
        return pRing->GetNode(index)->Position;
    }
    return point;
}

void EditController::ShowRubberLine()
{
    IViewWindow* pWindow = View().GetWindow();
    if (pWindow != nullptr)
    {
        m_line.Show(*pWindow, {{View().WorldToPixel(m_start), View().WorldToPixel(m_target)}});
    }
}

void EditController::HideRubberLine()
{
    IViewWindow* pWindow = View().GetWindow();
    if (pWindow != nullptr)
    {
        m_line.Hide(*pWindow);
    }
    else
    {
        m_line.Forget();
    }
}

void EditController::MoveSelectedNode()
{
    COrvistaView& view = View();
    Arealis::Topology* pTopology = Document()->GetCurrentTopology();
    Arealis::Node* pNode = view.GetSelectedNode();
    if (pTopology == nullptr || pNode == nullptr)
    {
        return;
    }
    view.InvalidateRect(
        view.WorldToPixel(pTopology->GetNodeBounds(pNode)).Inflated(COrvistaView::SelectionMargin));
    if (pNode->Position == m_target)
    {
        return;
    }
    // The polygons that use the node change; their shapes are kept for Undo, and recorded
    // once the library has accepted the move.
    DisplayLayer* pLayer = Document()->GetCurrentLayer();
    std::optional<EditHistory::PendingChange> change;
    if (pLayer != nullptr && pLayer->GetPolygonLayer() != nullptr)
    {
        Collections::PlainArray<Arealis::Polygon*> users;
        pLayer->GetPolygonLayer()->CollectPolygonsUsingNode(pNode, users);
        const std::vector<Arealis::Polygon*> polygons(users.begin(), users.end());
        change.emplace(Document()->GetHistory().PrepareChange(*pLayer, polygons, "Move node"));
    }
    Arealis::Node* pMoved = pTopology->MoveNode(pNode, m_target);
    if (change)
    {
        Document()->GetHistory().Record(std::move(*change));
    }
    // A node merged into another one is gone: the selection follows the node that stays.
    view.SetSelectedNode(pMoved);
    view.InvalidateRect(view.WorldToPixel(pTopology->GetNodeBounds(pMoved))
                            .Inflated(COrvistaView::SelectionMargin));
    view.RenderLayersOf(pTopology);
}

} // namespace Orvista
