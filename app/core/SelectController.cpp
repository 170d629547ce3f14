#include "SelectController.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"

namespace Orvista
{

SelectController::SelectController(COrvistaView& view)
    : Controller(view), m_pDocument(view.GetDocument())
{
}

bool SelectController::HasLayers() const
{
    return m_pDocument != nullptr && m_pDocument->HasLayers();
}

void SelectController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "SelectController", __LINE__,
               [this, point] { SelectAt(point); });
}

void SelectController::SelectAt(PixelPoint point)
{
    if (!HasLayers())
    {
        return;
    }
    COrvistaView& view = View();
    const Arealis::Point world = view.PixelToWorld(point);
    const double tolerance = COrvistaView::PickTolerance / view.GetScale();

    // The last layer of the list lies on top, so the walk goes from the back.
    const auto& layers = m_pDocument->GetLayers();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it)
    {
        DisplayLayer& layer = **it;
        if (!layer.Visible || layer.GetPolygonLayer() == nullptr)
        {
            continue;
        }
        Arealis::Node* pNode = nullptr;
        Arealis::Polygon* pPolygon = nullptr;
        Arealis::Ring* pRing = nullptr;
        std::int32_t edge = -1;
        if (SelectsNodes())
        {
            pNode = layer.GetTopology()->FindNode(world, tolerance);
        }
        if (pNode == nullptr && SelectsPolygons())
        {
            pPolygon = layer.GetPolygonLayer()->FindPolygon(world, tolerance);
        }
        if (pPolygon != nullptr && SelectsEdges() &&
            !pPolygon->FindEdge(world, tolerance, &pRing, &edge, nullptr))
        {
            pRing = nullptr;
            edge = -1;
        }
        view.SetSelection(pPolygon, pRing, edge, pNode);
        if (pNode != nullptr || pPolygon != nullptr)
        {
            view.SetSelectionLayer(&layer);
            return;
        }
    }
}

} // namespace Orvista
