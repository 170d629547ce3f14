#include "SelectController.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "Platform.h"

#include <cstdio>
#include <optional>

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

std::string DescribePolygon(const DisplayLayer& layer, Arealis::Polygon& polygon)
{
    std::string fileName = layer.Name();
    fileName = fileName.substr(fileName.find_last_of("/\\") + 1);
    const std::optional<std::int64_t> record = layer.RecordOf(&polygon);
    std::string text = record ? "Record " + std::to_string(*record) + " of " + fileName
                              : "New polygon of " + fileName;
    double area = 0.0;
    std::int32_t vertices = 0;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        // Exterior rings count positive, holes negative.
        area += rings.Current()->GetSignedArea();
        vertices += rings.Current()->Count();
    }
    const std::int32_t ringCount = polygon.GetRingCount();
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, ": area %.6g, %d %s, %d %s, ", area, ringCount,
                  ringCount == 1 ? "ring" : "rings", vertices,
                  vertices == 1 ? "vertex" : "vertices");
    return text + numbers + (polygon.IsValid() ? "valid" : "invalid");
}

void SelectController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), "SelectController", __LINE__,
               [this, point]
               {
                   SelectAt(point);
                   DisplayLayer* pLayer = View().GetSelectionLayer();
                   Arealis::Polygon* pPolygon = View().GetSelectedPolygon();
                   if (Identifies() && pLayer != nullptr && pPolygon != nullptr)
                   {
                       m_pDescribed = pPolygon;
                       View().GetPlatform().ShowStatusText(DescribePolygon(*pLayer, *pPolygon));
                   }
               });
}

void SelectController::OnMouseMove(unsigned /*flags*/, PixelPoint point)
{
    if (!Identifies())
    {
        return;
    }
    RunGuarded(View().GetPlatform(), "SelectController", __LINE__,
               [this, point]
               {
                   const auto [pLayer, pPolygon] = PolygonAt(point);
                   if (pPolygon == m_pDescribed)
                   {
                       return;
                   }
                   m_pDescribed = pPolygon;
                   View().GetPlatform().ShowStatusText(
                       pPolygon != nullptr ? DescribePolygon(*pLayer, *pPolygon) : std::string());
               });
}

std::pair<DisplayLayer*, Arealis::Polygon*> SelectController::PolygonAt(PixelPoint point) const
{
    if (!HasLayers())
    {
        return {nullptr, nullptr};
    }
    const Arealis::Point world = View().PixelToWorld(point);
    const double tolerance = COrvistaView::PickTolerance / View().GetScale();
    const auto& layers = m_pDocument->GetLayers();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it)
    {
        DisplayLayer& layer = **it;
        if (layer.Visible && layer.GetPolygonLayer() != nullptr)
        {
            if (Arealis::Polygon* pPolygon = layer.GetPolygonLayer()->FindPolygon(world, tolerance))
            {
                return {&layer, pPolygon};
            }
        }
    }
    return {nullptr, nullptr};
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
