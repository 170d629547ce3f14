#include "CreatePolygonController.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "ViewWindow.h"

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
    }
    catch (...) // NOLINT(bugprone-empty-catch): the picture is repainted later anyway
    {
    }
}

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
                   DisplayLayer* pLayer = m_pDocument->GetCurrentLayer();
                   if (pLayer == nullptr || pLayer->GetPolygonLayer() == nullptr)
                   {
                       return;
                   }
                   m_pPolygon = pLayer->GetPolygonLayer()->CreatePolygon();
                   m_pLayer = pLayer;
                   m_pRing = m_pPolygon->CreateRing();
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
    canvas.SelectPen(EdgeColour, 0);
    canvas.SetRasterOp(RasterOp::NotXorPen);
    canvas.MoveTo(View().WorldToPixel(m_last));
    canvas.LineTo(View().WorldToPixel(m_first));
    canvas.SetRasterOp(RasterOp::CopyPen);
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
