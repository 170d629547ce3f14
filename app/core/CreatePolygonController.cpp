#include "CreatePolygonController.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "DisplayLayer.h"
#include "EditHistory.h"
#include "Platform.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "ViewWindow.h"

#include <span>
#include <string>
#include <vector>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "CreatePolygonController";
constexpr Colour EdgeColour{0, 0, 0};

} // namespace

CreatePolygonController::CreatePolygonController(COrvistaView& view)
    : Controller(view), m_pDocument(view.GetDocument())
{
}

CreatePolygonController::~CreatePolygonController()
{
    try
    {
        CloseRubberBand();
        FinishRing();
    }
    catch (...) // NOLINT(bugprone-empty-catch): the picture is repainted later anyway
    {
    }
}

namespace
{

// Whether the first vertex of the ring lies inside an odd number of the polygon's other
// rings (even-odd rule), that is inside the polygon built so far.
bool IsInsideOtherRings(const Arealis::Polygon& polygon, const Arealis::Ring& ring)
{
    const Arealis::Point point = ring.GetNode(0)->Position;
    bool inside = false;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Arealis::Ring* pOther = rings.Current();
        if (pOther == &ring)
        {
            continue;
        }
        const std::span<Arealis::Node* const> nodes = pOther->GetNodes();
        for (std::size_t i = 0, j = nodes.size() - 1; i < nodes.size(); j = i++)
        {
            const Arealis::Point& a = nodes[i]->Position;
            const Arealis::Point& b = nodes[j]->Position;
            if ((a.Y > point.Y) != (b.Y > point.Y) &&
                point.X < (b.X - a.X) * (point.Y - a.Y) / (b.Y - a.Y) + a.X)
            {
                inside = !inside;
            }
        }
    }
    return inside;
}

// Reverses the order of the ring's vertices in place. The ring's nodes are held while they
// change places, so that none is released on the way.
void ReverseRing(Arealis::Ring& ring, Arealis::NodeSet& nodes)
{
    const std::vector<Arealis::Node*> order(ring.GetNodes().begin(), ring.GetNodes().end());
    for (Arealis::Node* pNode : order)
    {
        nodes.AddReference(pNode);
    }
    const auto count = static_cast<std::int32_t>(order.size());
    for (std::int32_t i = 0; i < count; ++i)
    {
        ring.SetNode(i, order[static_cast<std::size_t>(count - 1 - i)]);
    }
    for (Arealis::Node* pNode : order)
    {
        nodes.ReleaseNode(pNode);
    }
}

} // namespace

bool CreatePolygonController::IsWorking() const
{
    return m_active && m_pDocument != nullptr && m_pDocument->HasLayers() && m_pRing != nullptr;
}

void CreatePolygonController::ResetRing()
{
    m_ringStarted = false;
    m_vertexCount = 0;
}

void CreatePolygonController::StartPolygon()
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this]
               {
                   if (m_pDocument == nullptr)
                   {
                       return;
                   }
                   CloseRubberBand();
                   FinishRing();
                   DisplayLayer* pLayer = m_pDocument->GetCurrentLayer();
                   if (pLayer == nullptr || pLayer->GetPolygonLayer() == nullptr)
                   {
                       return;
                   }
                   m_pPolygon = pLayer->GetPolygonLayer()->CreatePolygon();
                   m_pLayer = pLayer;
                   m_pRing = m_pPolygon->CreateRing();
                   m_pDocument->GetHistory().RecordCreated(*pLayer, *m_pPolygon, "Add polygon");
                   ResetRing();
                   m_active = true;
               });
}

void CreatePolygonController::StartRing()
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this]
               {
                   if (!m_active || m_pPolygon == nullptr)
                   {
                       return;
                   }
                   CloseRubberBand();
                   FinishRing();
                   EditHistory& history = m_pDocument->GetHistory();
                   history.Record(history.PrepareChange(*m_pLayer, {m_pPolygon}, "Add ring"));
                   m_pRing = m_pPolygon->CreateRing();
                   ResetRing();
               });
}

void CreatePolygonController::OnLButtonDown(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this, point]
               {
                   if (!IsWorking())
                   {
                       return;
                   }
                   const Arealis::Point world = View().PixelToWorld(point);
                   m_pRing->AddNode(world.X, world.Y);
                   ++m_vertexCount;
                   if (m_ringStarted)
                   {
                       DrawPlacedEdge(m_last, world);
                       m_last = world;
                   }
                   else
                   {
                       m_ringStarted = true;
                       m_first = world;
                       m_last = world;
                       m_cursor = world;
                   }
                   ShowRubberBand();
                   // The layer's picture shows the polygon as it grows.
                   View().RenderLayersOf(m_pLayer->GetTopology());
               });
}

void CreatePolygonController::OnMouseMove(unsigned /*flags*/, PixelPoint point)
{
    RunGuarded(View().GetPlatform(), Unit, __LINE__,
               [this, point]
               {
                   if (!IsWorking() || !m_ringStarted)
                   {
                       return;
                   }
                   m_cursor = View().PixelToWorld(point);
                   ShowRubberBand();
               });
}

void CreatePolygonController::OnLayerDeleted(const DisplayLayer& layer)
{
    if (&layer != m_pLayer)
    {
        return;
    }
    // The polygon and its rings went with the layer's topology: the construction ends.
    m_band.Forget();
    EndConstruction();
}

void CreatePolygonController::OnTopologyCommitted(const Arealis::Topology& topology)
{
    if (m_pLayer == nullptr || m_pLayer->GetTopology() != &topology)
    {
        return;
    }
    // The commit may have removed the ring being built (fewer than three vertices), so no
    // later click may append to it.
    IViewWindow* pWindow = View().GetWindow();
    if (pWindow != nullptr)
    {
        m_band.Hide(*pWindow);
    }
    m_band.Forget();
    EndConstruction();
}

void CreatePolygonController::OnCommitting(const Arealis::Topology& topology)
{
    if (m_pLayer != nullptr && m_pLayer->GetTopology() == &topology)
    {
        FinishRing();
    }
}

void CreatePolygonController::OnPolygonsReplaced()
{
    IViewWindow* pWindow = View().GetWindow();
    if (pWindow != nullptr)
    {
        m_band.Hide(*pWindow);
    }
    m_band.Forget();
    EndConstruction();
}

void CreatePolygonController::FinishRing()
{
    if (!m_active || m_pPolygon == nullptr || m_pRing == nullptr || m_pRing->Count() < 3 ||
        m_pLayer == nullptr)
    {
        return;
    }
    const bool first = m_pRing == m_pPolygon->GetFirstRing();
    const bool hole = !first && IsInsideOtherRings(*m_pPolygon, *m_pRing);
    // Clockwise rings (positive signed area) are exterior rings.
    const double area = m_pRing->GetSignedArea();
    const bool turned = hole ? area > 0.0 : area < 0.0;
    if (turned)
    {
        ReverseRing(*m_pRing, m_pLayer->GetTopology()->GetNodeSet());
    }
    std::string text = hole ? "Hole" : "Exterior ring";
    text += " of " + std::to_string(m_pRing->Count()) + " vertices made";
    if (turned)
    {
        text += " (the clicks ran the other way: the ring was turned)";
    }
    View().GetPlatform().ShowStatusText(text);
    // Finished once: a later Add Ring or mode change finds nothing more to turn.
    m_pRing = nullptr;
}

void CreatePolygonController::EndConstruction()
{
    m_pLayer = nullptr;
    m_pPolygon = nullptr;
    m_pRing = nullptr;
    m_active = false;
    ResetRing();
}

void CreatePolygonController::DrawOverlay(ICanvas& canvas)
{
    m_band.Redraw(canvas);
}

void CreatePolygonController::ShowRubberBand()
{
    IViewWindow* pWindow = View().GetWindow();
    if (pWindow == nullptr)
    {
        return;
    }
    const COrvistaView& view = View();
    RubberBand::Polyline line{view.WorldToPixel(m_last), view.WorldToPixel(m_cursor)};
    if (m_vertexCount > 1)
    {
        line.push_back(view.WorldToPixel(m_first));
    }
    m_band.Show(*pWindow, {std::move(line)});
}

void CreatePolygonController::CloseRubberBand()
{
    IViewWindow* pWindow = View().GetWindow();
    if (!m_ringStarted || pWindow == nullptr)
    {
        m_band.Forget();
        return;
    }
    m_band.Hide(*pWindow);
    DirectDrawing drawing(*pWindow);
    ICanvas& canvas = drawing.Canvas();
    // Drawn like the placed edges: inverting would wipe out an outline already drawn there.
    canvas.SelectPen(EdgeColour, 0);
    canvas.SetRasterOp(RasterOp::CopyPen);
    canvas.MoveTo(View().WorldToPixel(m_last));
    canvas.LineTo(View().WorldToPixel(m_first));
}

void CreatePolygonController::DrawPlacedEdge(const Arealis::Point& from, const Arealis::Point& to)
{
    IViewWindow* pWindow = View().GetWindow();
    if (pWindow == nullptr)
    {
        return;
    }
    DirectDrawing drawing(*pWindow);
    ICanvas& canvas = drawing.Canvas();
    canvas.SelectPen(EdgeColour, 0);
    canvas.SetRasterOp(RasterOp::CopyPen);
    canvas.MoveTo(View().WorldToPixel(from));
    canvas.LineTo(View().WorldToPixel(to));
}

} // namespace Orvista
