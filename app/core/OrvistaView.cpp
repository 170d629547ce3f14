#include "OrvistaView.h"

#include "Arealis/Node.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "BooleanController.h"
#include "ComboList.h"
#include "Commands.h"
#include "CreatePolygonController.h"
#include "DisplayLayer.h"
#include "EditController.h"
#include "ErrorBox.h"
#include "LayerTable.h"
#include "OperationProgress.h"
#include "OrvistaDoc.h"
#include "Platform.h"
#include "SelectController.h"
#include "SetOperationDlg.h"
#include "TopologyTreeView.h"
#include "ValidateController.h"
#include "ViewWindow.h"
#include "ZoomInController.h"
#include "ZoomOutController.h"

#include <cstdio>
#include <optional>
#include <string>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "OrvistaView";

Arealis::Polygon* FirstPolygon(const Arealis::PolygonLayer& layer)
{
    Arealis::PolygonEnumerator polygons = layer.GetPolygons();
    return polygons.MoveNext() ? polygons.Current() : nullptr;
}

// The records of the first few polygons of a layer that are not committed, as " 3, 17, 20,
// ..."; empty where the layer keeps no records (drawn by hand).
std::string LeftOutRecords(const DisplayLayer* pLayer, const Arealis::PolygonLayer& layer)
{
    constexpr int Named = 5;
    std::string records;
    int count = 0;
    Arealis::PolygonEnumerator polygons = layer.GetPolygons();
    while (pLayer != nullptr && polygons.MoveNext())
    {
        if (!polygons.Current()->IsEditing())
        {
            continue;
        }
        const std::optional<std::int64_t> record = pLayer->RecordOf(polygons.Current());
        if (!record)
        {
            continue;
        }
        if (++count > Named)
        {
            records += ", ...";
            break;
        }
        records += (count == 1 ? " " : ", ") + std::to_string(*record);
    }
    return records;
}

} // namespace

COrvistaView::COrvistaView(IPlatform& platform) : m_platform(platform) {}

COrvistaView::~COrvistaView() = default;

void COrvistaView::OnCreate(COrvistaDoc& document, IViewWindow& window)
{
    m_pDocument = &document;
    m_pWindow = &window;
    document.SetView(this);
}

void COrvistaView::OnDestroy()
{
    m_controller.reset();
    if (m_pDocument != nullptr && m_pDocument->GetView() == this)
    {
        m_pDocument->SetView(nullptr);
    }
    m_pWindow = nullptr;
}

PixelSize COrvistaView::GetClientSize() const
{
    return m_pWindow != nullptr ? m_pWindow->ClientSize() : PixelSize{};
}

void COrvistaView::Invalidate()
{
    if (m_pWindow != nullptr)
    {
        m_pWindow->Invalidate();
    }
}

void COrvistaView::InvalidateRect(const PixelRect& rect)
{
    if (m_pWindow != nullptr)
    {
        m_pWindow->InvalidateRect(rect);
    }
}

// --- Mapping and zoom -------------------------------------------------------------------------

void COrvistaView::ZoomToRectangle(const Arealis::Rectangle& rect)
{
    if (rect.IsEmpty())
    {
        return;
    }
    m_mapping.Request(rect);
    if (!m_clipFrame)
    {
        m_clipFrame = std::make_unique<ClipFrame>();
    }
    FitZoomRectangle();
    RebuildFramePolygon();
    MarkLayersForRendering();
    m_moving = m_draftWhileMoving;
    m_redrawNeeded = true;
    Invalidate();
}

void COrvistaView::FitZoomRectangle()
{
    m_mapping.Fit(GetClientSize());
}

void COrvistaView::MarkLayersForRendering()
{
    if (m_pDocument == nullptr)
    {
        return;
    }
    for (const auto& layer : m_pDocument->GetLayers())
    {
        if (layer->Visible)
        {
            layer->Dirty = true;
        }
        layer->Rendered = false;
    }
}

void COrvistaView::RenderLayersOf(const Arealis::Topology* pTopology)
{
    if (m_pDocument == nullptr || pTopology == nullptr)
    {
        return;
    }
    for (const auto& layer : m_pDocument->GetLayers())
    {
        if (layer->GetTopology() == pTopology)
        {
            layer->Dirty = layer->Visible;
            layer->Rendered = false;
        }
    }
    m_redrawNeeded = true;
    Invalidate();
}

void COrvistaView::RebuildFramePolygon()
{
    const PixelSize size = GetClientSize();
    m_clipFrame->Rebuild({PixelToWorld({-2, -2}), PixelToWorld({size.Width + 2, -2}),
                          PixelToWorld({size.Width + 2, size.Height + 2}),
                          PixelToWorld({-2, size.Height + 2})});
}

void COrvistaView::SetCurrentLayer(DisplayLayer* pLayer)
{
    IComboList* pList = m_pDocument != nullptr ? m_pDocument->GetWorkingTopologyList() : nullptr;
    if (pList == nullptr)
    {
        return;
    }
    const int entry = pList->FindItemData(pLayer);
    if (entry != IComboList::Error)
    {
        pList->SetCurSel(entry);
    }
}

// --- Selection --------------------------------------------------------------------------------

Arealis::Rectangle COrvistaView::GetSelectionBounds() const
{
    if (m_pSelectedNode != nullptr)
    {
        return {m_pSelectedNode->Position, m_pSelectedNode->Position};
    }
    if (m_pSelectedRing != nullptr && 0 <= m_selectedEdge &&
        m_selectedEdge < m_pSelectedRing->Count())
    {
        const std::int32_t next = (m_selectedEdge + 1) % m_pSelectedRing->Count();
        return {m_pSelectedRing->GetNode(m_selectedEdge)->Position,
                m_pSelectedRing->GetNode(next)->Position};
    }
    if (m_pSelectedPolygon != nullptr)
    {
        return m_pSelectedPolygon->GetBounds();
    }
    return {};
}

void COrvistaView::InvalidateSelection()
{
    const Arealis::Rectangle bounds = GetSelectionBounds();
    if (!bounds.IsEmpty())
    {
        InvalidateRect(WorldToPixel(bounds).Inflated(SelectionMargin));
    }
}

void COrvistaView::SetSelection(Arealis::Polygon* pPolygon, Arealis::Ring* pRing, std::int32_t edge,
                                Arealis::Node* pNode)
{
    InvalidateSelection();
    m_pSelectedPolygon = pPolygon;
    m_pSelectedRing = pRing;
    m_selectedEdge = edge;
    m_pSelectedNode = pNode;
    m_redrawNeeded = true;
    InvalidateSelection();
    if (m_selectionChanged)
    {
        m_selectionChanged();
    }
}

void COrvistaView::SetSelectedNode(Arealis::Node* pNode)
{
    m_pSelectedNode = pNode;
    m_redrawNeeded = true;
    InvalidateSelection();
}

void COrvistaView::ClearSelection()
{
    // The selected objects may belong to a topology that is being deleted: they go together
    // with the selection layer, so that nothing reads them again.
    m_pSelectionLayer = nullptr;
    m_pSelectedPolygon = nullptr;
    m_pSelectedRing = nullptr;
    m_selectedEdge = -1;
    m_pSelectedNode = nullptr;
    m_boolean = BooleanOperands{};
    if (m_selectionChanged)
    {
        m_selectionChanged();
    }
}

void COrvistaView::OnLayerDeleted(DisplayLayer& layer)
{
    ClearSelection();
    if (m_layerOperation.pResultLayer == &layer)
    {
        m_layerOperation = LayerOperationSlots{};
    }
    if (m_controller)
    {
        m_controller->OnLayerDeleted(layer);
    }
}

// --- Interaction mode and mouse -----------------------------------------------------------------

std::unique_ptr<Controller> COrvistaView::CreateController(int mode)
{
    switch (mode)
    {
    case CommandId::ModeZoomIn:
        return std::make_unique<ZoomInController>(*this);
    case CommandId::ModeZoomOut:
        return std::make_unique<ZoomOutController>(*this);
    case CommandId::ModeSelect:
        return std::make_unique<SelectController>(*this);
    case CommandId::ModeValidate:
        return std::make_unique<ValidateController>(*this);
    case CommandId::ModeMoveNode:
        return std::make_unique<EditController>(*this);
    case CommandId::ModeBooleanSelection:
        return std::make_unique<BooleanController>(*this);
    case CommandId::ModeCreate:
        return std::make_unique<CreatePolygonController>(*this);
    default:
        return nullptr;
    }
}

void COrvistaView::SetMode(int id)
{
    m_mode = id;
    m_controller.reset();
    m_controller = CreateController(id);
}

void COrvistaView::OnLButtonDown(unsigned flags, PixelPoint point)
{
    if (m_controller)
    {
        m_controller->OnLButtonDown(flags, point);
    }
}

void COrvistaView::OnLButtonUp(unsigned flags, PixelPoint point)
{
    if (m_controller)
    {
        m_controller->OnLButtonUp(flags, point);
    }
}

void COrvistaView::OnMouseMove(unsigned flags, PixelPoint point)
{
    if (m_controller)
    {
        m_controller->OnMouseMove(flags, point);
    }
}

void COrvistaView::OnCancel()
{
    if (m_controller)
    {
        m_controller->OnCancel();
    }
}

// --- Drawing ----------------------------------------------------------------------------------

void COrvistaView::OnDraw(ICanvas& window)
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this, &window]
               {
                   if (m_pWindow == nullptr)
                   {
                       return;
                   }
                   FitZoomRectangle();
                   const PixelSize size = GetClientSize();
                   const Arealis::Point topLeft = PixelToWorld({0, 0});
                   const Arealis::Point bottomRight = PixelToWorld({size.Width, size.Height});
                   Arealis::Rectangle visible;
                   visible.MinX = topLeft.X;
                   visible.MaxY = topLeft.Y;
                   visible.MaxX = bottomRight.X;
                   visible.MinY = bottomRight.Y;

                   if (m_redrawNeeded)
                   {
                       const WaitCursor wait(m_platform);
                       m_bitmapRect = {0, 0, size.Width, size.Height};
                       RenderLayers(visible, size);
                       ComposeLayers();
                       m_redrawNeeded = false;
                   }

                   const PixelRect client{0, 0, size.Width, size.Height};
                   if (m_viewBitmap && !m_bitmapRect.IsEmpty())
                   {
                       window.CopyStretched(*m_viewBitmap, m_bitmapRect, client);
                   }
                   else
                   {
                       window.FillRect(client, BackgroundColour);
                   }
                   // The picture under the controller's rubber band was just replaced.
                   if (m_controller)
                   {
                       m_controller->DrawOverlay(window);
                   }
               });
}

void COrvistaView::RenderLayers(const Arealis::Rectangle& visible, PixelSize size)
{
    if (m_pDocument == nullptr)
    {
        return;
    }
    for (const auto& layer : m_pDocument->GetLayers())
    {
        if (layer->Dirty && !layer->Rendered)
        {
            RenderLayer(*layer, visible, size);
            layer->HasPicture = true;
            layer->Rendered = true;
        }
    }
}

void COrvistaView::RenderLayer(DisplayLayer& layer, const Arealis::Rectangle& visible,
                               PixelSize size)
{
    std::unique_ptr<IBitmap> picture = m_pWindow->CreateBitmap(size);
    ICanvas& canvas = picture->Canvas();
    canvas.FillRect({0, 0, size.Width, size.Height}, BackgroundColour);
    canvas.SetRasterOp(RasterOp::CopyPen);
    canvas.SelectPen(layer.OutlineColour(), 0);

    // Collected first: drawing may clip polygons, which must not disturb the query.
    std::vector<Arealis::Polygon*> polygons;
    Arealis::PolygonEnumerator query = layer.GetPolygonLayer()->GetPolygons(visible, 0);
    while (query.MoveNext())
    {
        polygons.push_back(query.Current());
    }
    layer.Draft = m_moving && polygons.size() > m_draftPolygonCount;
    if (layer.Draft)
    {
        DrawDraft(canvas, polygons, layer.OutlineColour());
    }
    else
    {
        for (Arealis::Polygon* pPolygon : polygons)
        {
            DrawPolygon(canvas, *pPolygon, layer.FillColour(), layer.OutlineColour());
        }
    }
    layer.SetPicture(std::move(picture));
}

void COrvistaView::ComposeLayers()
{
    m_viewBitmap = m_pWindow->CreateBitmap({m_bitmapRect.Width(), m_bitmapRect.Height()});
    ICanvas& canvas = m_viewBitmap->Canvas();
    canvas.FillRect(m_bitmapRect, BackgroundColour);
    if (m_pDocument == nullptr)
    {
        return;
    }
    for (const auto& layer : m_pDocument->GetLayers())
    {
        if (!layer->HasPicture || !layer->Visible || layer->Picture() == nullptr)
        {
            continue;
        }
        canvas.CopyTransparent(*layer->Picture(), White);
        layer->Dirty = false;
        if (m_pSelectionLayer != nullptr && layer->Name() == m_pSelectionLayer->Name())
        {
            DrawSelection(canvas);
        }
    }
    DrawBooleanOperands(canvas);
}

void COrvistaView::DrawBooleanOperands(ICanvas& canvas)
{
    // The chosen operands are outlined on top of every layer; a white mask leaves the
    // pictures under them as they are.
    const std::pair<bool, Arealis::Polygon*> operands[] = {
        {m_boolean.FirstChosen, m_boolean.pFirst}, {m_boolean.SecondChosen, m_boolean.pSecond}};
    const Colour colours[] = {FirstOperandColour, SecondOperandColour};
    for (std::size_t i = 0; i < 2; ++i)
    {
        if (operands[i].first && operands[i].second != nullptr)
        {
            canvas.SelectPen(colours[i], 2);
            canvas.SetRasterOp(RasterOp::CopyPen);
            DrawPolygon(canvas, *operands[i].second, White, colours[i]);
        }
    }
}

void COrvistaView::DrawSelection(ICanvas& canvas)
{
    canvas.SelectPen(HighlightColour, 2);
    canvas.SetRasterOp(RasterOp::CopyPen);
    if (m_pSelectedNode != nullptr)
    {
        const PixelPoint p = WorldToPixel(m_pSelectedNode->Position);
        canvas.DrawRectangle(
            {p.X - NodeMarkSize, p.Y - NodeMarkSize, p.X + NodeMarkSize, p.Y + NodeMarkSize},
            White);
    }
    else if (m_pSelectedRing != nullptr && 0 <= m_selectedEdge &&
             m_selectedEdge < m_pSelectedRing->Count())
    {
        const std::int32_t next = (m_selectedEdge + 1) % m_pSelectedRing->Count();
        canvas.MoveTo(WorldToPixel(m_pSelectedRing->GetNode(m_selectedEdge)->Position));
        canvas.LineTo(WorldToPixel(m_pSelectedRing->GetNode(next)->Position));
    }
    else if (m_pSelectedPolygon != nullptr)
    {
        DrawPolygon(canvas, *m_pSelectedPolygon, SelectionBrush, SelectionColour);
    }
}

void COrvistaView::DrawPolygon(ICanvas& canvas, Arealis::Polygon& polygon, Colour brush, Colour dot)
{
    const Arealis::Rectangle worldBounds = polygon.GetBounds();
    if (worldBounds.IsEmpty())
    {
        return;
    }
    const PixelRect bounds = WorldToPixel(worldBounds);
    if (bounds.Width() < 2 || bounds.Height() < 2)
    {
        canvas.SetPixel({bounds.Left, bounds.Top}, dot);
        canvas.SetPixel({bounds.Right, bounds.Bottom}, dot);
        canvas.SetPixel({bounds.Left, bounds.Bottom}, dot);
        canvas.SetPixel({bounds.Right, bounds.Top}, dot);
        return;
    }

    // A polygon much larger than the window is drawn as its part inside the window's frame.
    // An invalid polygon is drawn whole: clipping would first try to commit it in its layer.
    ClipFrame::ClippedPart clipped;
    Arealis::Polygon* pShown = &polygon;
    if (m_clipFrame && m_clipFrame->NeedsClipping(polygon) && polygon.IsValid())
    {
        clipped = m_clipFrame->Clip(polygon);
        pShown = clipped.get();
        if (pShown == nullptr)
        {
            return;
        }
    }

    std::vector<PixelPoint> points;
    std::vector<int> ringSizes;
    Arealis::RingEnumerator rings = pShown->GetRings();
    while (rings.MoveNext())
    {
        DrawRingOutline(canvas, *rings.Current(), dot, points, ringSizes);
    }
    if (!ringSizes.empty())
    {
        canvas.SetRasterOp(RasterOp::MaskPen);
        canvas.FillPolyPolygon(points, ringSizes, brush);
    }
}

void COrvistaView::DrawRingOutline(ICanvas& canvas, const Arealis::Ring& ring, Colour dot,
                                   std::vector<PixelPoint>& points,
                                   std::vector<int>& ringSizes) const
{
    const std::int32_t count = ring.Count();
    if (count == 0)
    {
        return;
    }
    const PixelRect bounds = WorldToPixel(ring.GetBounds());
    if (bounds.Width() < 2 && bounds.Height() < 2)
    {
        canvas.SetPixel({bounds.Left, bounds.Top}, dot);
        return;
    }

    PixelPoint last = WorldToPixel(ring.GetNode(0)->Position);
    canvas.MoveTo(last);
    const std::size_t start = points.size();
    points.push_back(last);
    for (std::int32_t i = 1; i <= count; ++i)
    {
        const PixelPoint next = WorldToPixel(ring.GetNode(i % count)->Position);
        if (next != last)
        {
            canvas.LineTo(next);
            points.push_back(next);
            last = next;
        }
    }
    // A ring of three points or fewer (two pixels and back) has no area to fill.
    const std::size_t recorded = points.size() - start;
    if (recorded > 3)
    {
        ringSizes.push_back(static_cast<int>(recorded));
    }
    else
    {
        points.resize(start);
    }
}

// --- Commands ---------------------------------------------------------------------------------

void COrvistaView::OnLayerOperation(int command)
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this, command]
               {
                   const IComboList* pList =
                       m_pDocument != nullptr ? m_pDocument->GetWorkingTopologyList() : nullptr;
                   if (pList == nullptr || pList->Count() < 2)
                   {
                       m_platform.ShowMessageBox("This operation needs two layers.",
                                                 ApplicationTitle, MessageBoxKind::Exclamation);
                       return;
                   }
                   CSetOperationDlg dialog(*this, command);
                   if (m_platform.RunSetOperationDialog(dialog) == DialogResult::Ok)
                   {
                       RunLayerOperation(command);
                   }
               });
}

void COrvistaView::RunLayerOperation(int command)
{
    const WaitCursor wait(m_platform);
    const std::uint64_t start = m_platform.TickMicroseconds();
    LayerOperationSlots& slots = m_layerOperation;
    if (!slots.Ready || slots.pResultLayer == nullptr)
    {
        return;
    }
    Arealis::Topology* pTopology = slots.pResultLayer->GetTopology();
    Arealis::PolygonLayer* pResult = nullptr;
    // A bar in the status bar while the operation runs, once it takes a while.
    std::optional<OperationProgress> progress(std::in_place, m_platform);
    switch (command)
    {
    case CommandId::UniteTwoLayers:
        pResult = pTopology->CreatePolygonLayer(false);
        pResult->Union(FirstPolygon(*slots.pFirst), FirstPolygon(*slots.pSecond), false);
        break;
    case CommandId::IntersectLayers:
        pResult = pTopology->Intersection(slots.pFirst, slots.pSecond, true, progress->Callback());
        break;
    case CommandId::SubtractLayers:
        pResult = pTopology->Substract(slots.pFirst, slots.pSecond, true, progress->Callback());
        break;
    case CommandId::JoinLayers:
        pResult = pTopology->Join(slots.pFirst, slots.pSecond, true, progress->Callback());
        break;
    default:
        return;
    }
    progress.reset();
    slots.pResultLayer->SetPolygonLayer(pResult);
    // The parents' records are kept with the result (its attributes come from them), while
    // the inputs stay free of parent uses.
    if (const DisplayLayer* pFirst = FindDisplayLayer(*m_pDocument, slots.pFirst))
    {
        slots.pResultLayer->SetSystem(pFirst->System());
    }
    slots.pResultLayer->SetDerivation(DeriveLayer(*m_pDocument, CarriedByLayerOperation(command),
                                                  {slots.pFirst, slots.pSecond}, *pResult));
    slots.pResult = pResult;

    const double seconds = static_cast<double>(m_platform.TickMicroseconds() - start) / 1e6;
    char text[64];
    std::snprintf(text, sizeof text, "Operation duration: %.2f s", seconds);

    m_pDocument->UpdateLayerTree();
    m_redrawNeeded = true;
    Invalidate();
    if (command != CommandId::UniteTwoLayers)
    {
        ReportLeftOut(*slots.pFirst, *slots.pSecond);
    }
    m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::Information);
}

void COrvistaView::ReportLeftOut(const Arealis::PolygonLayer& first,
                                 const Arealis::PolygonLayer& second)
{
    // The layer operations take committed polygons only; the others (refused by the commit as
    // invalid, or being edited) must not go missing from the result unnoticed.
    const std::int32_t fromFirst = first.GetEditingCount();
    const std::int32_t fromSecond = &second == &first ? 0 : second.GetEditingCount();
    if (fromFirst + fromSecond == 0)
    {
        return;
    }
    std::string text = std::to_string(fromFirst + fromSecond) +
                       " polygons that are not committed (invalid, or being edited) were left out "
                       "of the operation: " +
                       std::to_string(fromFirst) + " of the first layer, " +
                       std::to_string(fromSecond) + " of the second.";
    // Records (0-based) name them in the file they came from.
    const std::string firstRecords = LeftOutRecords(FindDisplayLayer(*m_pDocument, &first), first);
    const std::string secondRecords =
        &second == &first ? std::string()
                          : LeftOutRecords(FindDisplayLayer(*m_pDocument, &second), second);
    if (!firstRecords.empty())
    {
        text += " Records of the first layer:" + firstRecords + ".";
    }
    if (!secondRecords.empty())
    {
        text += " Records of the second layer:" + secondRecords + ".";
    }
    text += " \"Commit changes\" or \"Validate\" shows which.";
    m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::Exclamation);
}

void COrvistaView::OnUniteAllPolygons()
{
    RunGuarded(m_platform, Unit, __LINE__, [this] { UniteAllPolygons(); });
}

void COrvistaView::UniteAllPolygons()
{
    // The result is named after the layer selected in the tree; without one, after the
    // current layer, whose polygons are united either way.
    const CTopologyTreeView* pTree = m_pDocument->GetLayerTree();
    const DisplayLayer* pSelected = pTree != nullptr ? pTree->GetSelectedLayer() : nullptr;
    const DisplayLayer* pCurrent = m_pDocument->GetCurrentLayer();
    const DisplayLayer* pNamed = pSelected != nullptr ? pSelected : pCurrent;
    // Without polygons the union would be an empty polygon, which the result layer refuses to
    // commit after the layer was already added to the document.
    if (pCurrent == nullptr || pNamed == nullptr || pCurrent->GetPolygonLayer() == nullptr ||
        pCurrent->GetPolygonLayer()->GetPolygonCount() == 0)
    {
        return;
    }
    std::optional<WaitCursor> wait(std::in_place, m_platform);
    const std::uint64_t start = m_platform.TickMicroseconds();
    Arealis::PolygonLayer& source = *pCurrent->GetPolygonLayer();
    DisplayLayer& result = m_pDocument->AddLayer(
        std::make_unique<DisplayLayer>(WithoutShpExtension(pNamed->Name()) + "_union"));
    result.GetTopology()->SetPrecision(pCurrent->GetTopology()->GetPrecision());

    Arealis::PolygonEnumerator polygons = source.GetPolygons();
    std::optional<OperationProgress> progress(std::in_place, m_platform);
    Arealis::Polygon* pUnited = Arealis::Overlay::UnitePolygons(
        polygons.GetEnumerator(), *result.GetPolygonLayer(), false, progress->Callback());
    progress.reset();
    result.GetPolygonLayer()->Commit();
    result.SetSystem(pCurrent->System());
    result.SetDerivation(DeriveLayer(*m_pDocument, Formats::CarriedColumns::None, {&source},
                                     *result.GetPolygonLayer()));

    m_pDocument->UpdateLayerTree();
    IComboList* pList = m_pDocument->GetWorkingTopologyList();
    if (pList == nullptr || pList->InsertString(0, result.Name(), &result) == IComboList::Error)
    {
        return;
    }
    pList->SetCurSel(pList->FindStringExact(result.Name()));

    const double seconds = static_cast<double>(m_platform.TickMicroseconds() - start) / 1e6;
    char text[96];
    std::snprintf(text, sizeof text, "Operation duration: %.2f s; united polygon count: %d",
                  seconds, static_cast<int>(source.GetPolygonCount()));
    wait.reset();

    // The united polygon is outlined on the window until the new layer's picture replaces it.
    if (m_pWindow != nullptr && pUnited != nullptr)
    {
        DirectDrawing drawing(*m_pWindow);
        drawing.Canvas().SelectPen(UnitedOutlineColour, 0);
        drawing.Canvas().SetRasterOp(RasterOp::CopyPen);
        DrawPolygon(drawing.Canvas(), *pUnited, BackgroundColour, UnitedOutlineColour);
    }
    m_redrawNeeded = true;
    Invalidate();
    m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::Information);
}

bool COrvistaView::OnCommand(int id)
{
    using namespace CommandId;
    switch (id)
    {
    case MakeAllPolygonsEdited:
        m_platform.ShowMessageBox("Not supported!", ApplicationTitle, MessageBoxKind::Ok);
        return true;
    case SnapByNodeIndex:
        m_snapByNodeIndex = !m_snapByNodeIndex;
        return true;
    case CommitChanges:
        OnCommitChanges();
        return true;
    case BooleanUnion:
    case BooleanIntersect:
    case BooleanSubtract:
        OnBooleanOperation(id);
        return true;
    case ShowParents:
        OnShowParents();
        return true;
    case ClearParents:
        OnClearParents();
        return true;
    case AddPolygon:
        OnAddPolygon();
        return true;
    case AddRing:
        OnAddRing();
        return true;
    case StartTest:
        OnStartTest();
        return true;
    case CompareLayers:
        OnCompareLayers();
        return true;
    case LayerUtility:
        OnLayerUtility();
        return true;
    case EditUndo:
        OnUndo();
        return true;
    case EditRedo:
        OnRedo();
        return true;
    case EditDelete:
        OnDeletePolygon();
        return true;
    default:
        return false;
    }
}

bool COrvistaView::OnUpdateCommand(int id, CommandState& state)
{
    using namespace CommandId;
    switch (id)
    {
    case MakeAllPolygonsEdited:
    case CommitChanges:
    case StartTest:
    case CompareLayers:
    case LayerUtility:
        state.Enabled = true;
        return true;
    case SnapByNodeIndex:
        state.Enabled = true;
        state.Checked = m_snapByNodeIndex;
        return true;
    case BooleanUnion:
    case BooleanIntersect:
    case BooleanSubtract:
        state.Enabled = m_mode == ModeBooleanSelection;
        return true;
    case ShowParents:
    case ClearParents:
        state.Enabled = m_mode == ModeSelect;
        return true;
    case AddPolygon:
    case AddRing:
        state.Enabled = m_mode == ModeCreate;
        return true;
    case EditUndo:
        state.Enabled = m_pDocument != nullptr && m_pDocument->GetHistory().CanUndo();
        return true;
    case EditRedo:
        state.Enabled = m_pDocument != nullptr && m_pDocument->GetHistory().CanRedo();
        return true;
    case EditDelete:
        state.Enabled = m_pSelectedPolygon != nullptr && m_pSelectionLayer != nullptr;
        return true;
    default:
        return false;
    }
}

} // namespace Orvista
