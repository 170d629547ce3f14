// The drawing view's commands that run library operations on picked polygons, on the current
// topology and on layers chosen for the regression suite's utilities.

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Commands.h"
#include "CreatePolygonController.h"
#include "DisplayLayer.h"
#include "EditHistory.h"
#include "ErrorBox.h"
#include "Exceptions/Exception.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "Platform.h"
#include "Regression/LayerComparison.h"
#include "SetOperationDlg.h"
#include "ViewWindow.h"

#include <cstdio>
#include <optional>
#include <string>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "OrvistaView";

// The vertices of all rings of the polygon; none for a missing polygon.
int CountVertices(const Arealis::Polygon* pPolygon)
{
    if (pPolygon == nullptr)
    {
        return 0;
    }
    int count = 0;
    Arealis::RingEnumerator rings = pPolygon->GetRings();
    while (rings.MoveNext())
    {
        count += rings.Current()->Count();
    }
    return count;
}

} // namespace

// --- Boolean polygon operations ---------------------------------------------------------------

void COrvistaView::OnBooleanOperation(int command)
{
    RunGuarded(m_platform, Unit, __LINE__, [this, command] { RunBooleanOperation(command); });
}

void COrvistaView::RunBooleanOperation(int command)
{
    if (m_pDocument == nullptr || !m_pDocument->HasLayers())
    {
        return;
    }
    DisplayLayer* pCurrent = m_pDocument->GetCurrentLayer();
    Arealis::PolygonLayer* pLayer = pCurrent != nullptr ? pCurrent->GetPolygonLayer() : nullptr;
    if (pLayer == nullptr)
    {
        return;
    }
    Arealis::Polygon* pFirst = m_boolean.FirstChosen ? m_boolean.pFirst : nullptr;
    Arealis::Polygon* pSecond = m_boolean.SecondChosen ? m_boolean.pSecond : nullptr;
    // The library would only say that a pointer is not valid.
    if (pFirst == nullptr || pSecond == nullptr)
    {
        m_platform.ShowStatusText(PickTwoPolygons);
        return;
    }
    const std::uint64_t start = m_platform.TickMicroseconds();
    const char* made = nullptr;
    switch (command)
    {
    case CommandId::BooleanUnion:
        m_boolean.pResult = pLayer->Union(pFirst, pSecond, true);
        made = "Union";
        break;
    case CommandId::BooleanIntersect:
        m_boolean.pResult = pLayer->Intersection(pFirst, pSecond, true);
        made = "Intersection";
        break;
    case CommandId::BooleanSubtract:
        m_boolean.pResult = pLayer->Substract(pFirst, pSecond, true);
        made = "Difference";
        break;
    default:
        return;
    }
    m_boolean.ResultValid = true;
    const double elapsed = static_cast<double>(m_platform.TickMicroseconds() - start) / 1000.0;
    if (m_boolean.pResult != nullptr)
    {
        m_pDocument->GetHistory().RecordCreated(*pCurrent, *m_boolean.pResult, made);
    }

    char text[128];
    std::snprintf(text, sizeof text, "Operation  time %f ms, count1 = %d, count2 = %d", elapsed,
                  CountVertices(pFirst), CountVertices(pSecond));
    // The result lies on top of its operands in the current layer: it is selected, so that
    // it stands out, and the status bar says what was made.
    SelectResult(*pCurrent, m_boolean.pResult, made);
    RenderLayersOf(pLayer->GetTopology());
    m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::Ok);
}

void COrvistaView::SelectResult(DisplayLayer& layer, Arealis::Polygon* pResult, const char* made)
{
    const int vertices = CountVertices(pResult);
    if (pResult == nullptr || vertices == 0)
    {
        m_platform.ShowStatusText(std::string(made) + " is empty: no polygon was made");
        return;
    }
    SetSelection(pResult, nullptr, -1, nullptr);
    m_pSelectionLayer = &layer;
    const std::int32_t rings = pResult->GetRingCount();
    m_platform.ShowStatusText(std::string(made) + " made: a polygon of " + std::to_string(rings) +
                              (rings == 1 ? " ring and " : " rings and ") +
                              std::to_string(vertices) + " vertices, selected in " +
                              layer.Name());
}

// --- Undo, Redo and Delete ---------------------------------------------------------------------

DisplayLayer* COrvistaView::FindLayerOf(const Arealis::Polygon* pPolygon) const
{
    if (pPolygon == nullptr || m_pDocument == nullptr)
    {
        return nullptr;
    }
    for (const auto& layer : m_pDocument->GetLayers())
    {
        if (layer->GetPolygonLayer() == pPolygon->GetLayer())
        {
            return layer.get();
        }
    }
    return nullptr;
}

void COrvistaView::OnUndo()
{
    RunGuarded(m_platform, Unit, __LINE__, [this] { UndoOrRedo(true); });
}

void COrvistaView::OnRedo()
{
    RunGuarded(m_platform, Unit, __LINE__, [this] { UndoOrRedo(false); });
}

void COrvistaView::UndoOrRedo(bool undo)
{
    if (m_pDocument == nullptr)
    {
        return;
    }
    EditHistory& history = m_pDocument->GetHistory();
    if (undo ? !history.CanUndo() : !history.CanRedo())
    {
        return;
    }
    const std::string name = undo ? history.UndoName() : history.RedoName();
    // The polygons may be replaced: the selection and the gesture in progress let go of them
    // first, without reading them.
    if (m_controller)
    {
        m_controller->OnPolygonsReplaced();
    }
    ClearSelection();
    Arealis::Polygon* pLeft = nullptr;
    try
    {
        pLeft = undo ? history.Undo() : history.Redo();
    }
    catch (const Exceptions::Exception& e)
    {
        // Nothing changed and the action stays where it was; the box says which one.
        m_platform.ShowMessageBox((undo ? "Cannot undo \"" : "Cannot redo \"") + name +
                                      "\": " + e.Message(),
                                  ApplicationTitle, MessageBoxKind::Ok);
        return;
    }
    MarkLayersForRendering();
    m_redrawNeeded = true;
    Invalidate();
    if (DisplayLayer* pLayer = FindLayerOf(pLeft))
    {
        SetSelection(pLeft, nullptr, -1, nullptr);
        m_pSelectionLayer = pLayer;
    }
    m_platform.ShowStatusText((undo ? "Undone: " : "Redone: ") + name);
}

void COrvistaView::OnDeletePolygon()
{
    RunGuarded(m_platform, Unit, __LINE__, [this] { DeleteSelectedPolygon(); });
}

void COrvistaView::DeleteSelectedPolygon()
{
    if (m_pDocument == nullptr || !m_pDocument->HasLayers())
    {
        return;
    }
    Arealis::Polygon* pPolygon = m_pSelectedPolygon;
    DisplayLayer* pLayer = FindLayerOf(pPolygon);
    if (pPolygon == nullptr || pLayer == nullptr)
    {
        m_platform.ShowStatusText("Select a polygon first");
        return;
    }
    try
    {
        m_pDocument->GetHistory().DeletePolygon(*pLayer, *pPolygon);
    }
    catch (const Exceptions::Exception& e)
    {
        m_platform.ShowMessageBox(e.Message(), ApplicationTitle, MessageBoxKind::Ok);
        return;
    }
    // The polygon is gone: nothing may read it again.
    if (m_controller)
    {
        m_controller->OnPolygonsReplaced();
    }
    ClearSelection();
    RenderLayersOf(pLayer->GetTopology());
    Invalidate();
    m_platform.ShowStatusText("Polygon deleted from " + pLayer->Name() +
                              " (Undo brings it back)");
}

// --- Commit -----------------------------------------------------------------------------------

void COrvistaView::OnCommitChanges()
{
    RunGuarded(m_platform, Unit, __LINE__, [this] { CommitCurrentTopology(); });
}

void COrvistaView::CommitCurrentTopology()
{
    const WaitCursor wait(m_platform);
    if (m_pDocument == nullptr || !m_pDocument->HasLayers())
    {
        return;
    }
    Arealis::Topology* pTopology = m_pDocument->GetCurrentTopology();
    if (pTopology == nullptr)
    {
        return;
    }
    if (m_controller)
    {
        m_controller->OnCommitting(*pTopology);
    }
    std::string text;
    const std::uint64_t start = m_platform.TickMicroseconds();
    try
    {
        CommitKeepingSelection(*pTopology);
        const double seconds = static_cast<double>(m_platform.TickMicroseconds() - start) / 1e6;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "Commit time %f", seconds);
        text = buffer;
    }
    catch (const Arealis::InvalidPolygonException& e)
    {
        text = e.Message();
    }
    catch (const Arealis::PolygonsOverlapException& e)
    {
        text = e.Message();
    }
    // Committing cleans rings, which may change outlines.
    RenderLayersOf(pTopology);
    m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::Ok);
}

void COrvistaView::CommitKeepingSelection(Arealis::Topology& topology)
{
    // The commit cleans the rings of edited polygons: a repeated node is released, a ring of
    // fewer than three vertices removed. The polygons stay; the selected node and ring are
    // looked up again afterwards instead of being read.
    std::optional<Arealis::Point> nodeAt;
    if (m_pSelectedNode != nullptr && m_pSelectedNode->TopologyId == topology.GetId())
    {
        nodeAt = m_pSelectedNode->Position;
    }
    try
    {
        // What the commit cleans can be undone with the last edit.
        m_pDocument->GetHistory().Commit(topology, [&topology] { topology.Commit(); });
    }
    catch (...)
    {
        RefreshSelectionAfterCommit(topology, nodeAt);
        throw;
    }
    RefreshSelectionAfterCommit(topology, nodeAt);
}

void COrvistaView::RefreshSelectionAfterCommit(const Arealis::Topology& topology,
                                               const std::optional<Arealis::Point>& nodeAt)
{
    if (nodeAt)
    {
        m_pSelectedNode = topology.GetNodeSet().Find(*nodeAt);
    }
    if (m_pSelectedPolygon != nullptr && m_pSelectedRing != nullptr &&
        m_pSelectedPolygon->GetLayer() != nullptr &&
        m_pSelectedPolygon->GetLayer()->GetTopology() == &topology)
    {
        // Only compared, never read: the ring may be gone.
        bool kept = false;
        Arealis::RingEnumerator rings = m_pSelectedPolygon->GetRings();
        while (!kept && rings.MoveNext())
        {
            kept = rings.Current() == m_pSelectedRing;
        }
        if (!kept)
        {
            m_pSelectedRing = nullptr;
            m_selectedEdge = -1;
        }
        else if (m_selectedEdge >= m_pSelectedRing->Count())
        {
            m_selectedEdge = -1;
        }
    }
    if (m_controller)
    {
        m_controller->OnTopologyCommitted(topology);
    }
}

// --- Parents ----------------------------------------------------------------------------------

void COrvistaView::OnShowParents()
{
    RunGuarded(m_platform, Unit, __LINE__, [this] { DrawParentsOfSelection(); });
}

void COrvistaView::DrawParentsOfSelection()
{
    if (m_pDocument == nullptr || !m_pDocument->HasLayers() || m_pSelectedPolygon == nullptr ||
        m_pWindow == nullptr)
    {
        return;
    }
    Arealis::PolygonEnumerator parents =
        m_pSelectedPolygon->GetLayer()->GetParents(m_pSelectedPolygon);
    DirectDrawing drawing(*m_pWindow);
    ICanvas& canvas = drawing.Canvas();
    canvas.SelectPen(ParentOutlineColour, 0);
    while (parents.MoveNext())
    {
        // The white mask leaves the window's picture inside the outline as it is.
        canvas.SetRasterOp(RasterOp::CopyPen);
        DrawPolygon(canvas, *parents.Current(), BackgroundColour, White);
    }
}

void COrvistaView::OnClearParents()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   if (m_pDocument != nullptr && m_pDocument->HasLayers() &&
                       m_pSelectedPolygon != nullptr)
                   {
                       m_pSelectedPolygon->GetLayer()->ClearParents(m_pSelectedPolygon);
                   }
               });
}

// --- Create mode ------------------------------------------------------------------------------

void COrvistaView::OnAddPolygon()
{
    auto* pCreate = dynamic_cast<CreatePolygonController*>(m_controller.get());
    if (pCreate != nullptr && m_pDocument != nullptr && m_pDocument->HasLayers())
    {
        pCreate->StartPolygon();
    }
}

void COrvistaView::OnAddRing()
{
    auto* pCreate = dynamic_cast<CreatePolygonController*>(m_controller.get());
    if (pCreate != nullptr && m_pDocument != nullptr && m_pDocument->HasLayers())
    {
        pCreate->StartRing();
    }
}

// --- Regression suite utilities -----------------------------------------------------------------

bool COrvistaView::ChooseLayersForTestSuite(int command)
{
    if (m_pDocument == nullptr || m_pDocument->GetWorkingTopologyList() == nullptr)
    {
        return false;
    }
    CSetOperationDlg dialog(*this, command);
    if (m_platform.RunSetOperationDialog(dialog) != DialogResult::Ok)
    {
        return false;
    }
    // The dialog has added the result layer to the document.
    m_pDocument->UpdateLayerTree();
    const LayerOperationSlots& slots = m_layerOperation;
    return slots.Ready && slots.pFirst != nullptr && slots.pSecond != nullptr &&
           slots.pResult != nullptr;
}

void COrvistaView::OnCompareLayers()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   if (ChooseLayersForTestSuite(CommandId::CompareLayers))
                   {
                       CompareChosenLayers();
                   }
               });
}

void COrvistaView::CompareChosenLayers()
{
    bool equal = false;
    {
        const WaitCursor wait(m_platform);
        Arealis::Regression::SetComparisonFlag(true);
        equal = Arealis::Regression::CompareLayers(
            *m_layerOperation.pFirst, *m_layerOperation.pSecond, m_layerOperation.pResult);
    }
    m_redrawNeeded = true;
    Invalidate();
    m_platform.ShowMessageBox(equal ? "The topologies are EQUAL" : "The topologies are NOT equal",
                              ApplicationTitle, MessageBoxKind::Ok);
}

void COrvistaView::OnLayerUtility()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   if (ChooseLayersForTestSuite(CommandId::LayerUtility))
                   {
                       CollectOverlappingOfChosenLayers();
                   }
               });
}

void COrvistaView::CollectOverlappingOfChosenLayers()
{
    {
        const WaitCursor wait(m_platform);
        Arealis::Regression::CollectOverlapping(*m_layerOperation.pFirst, *m_layerOperation.pSecond,
                                                *m_layerOperation.pResult);
    }
    m_redrawNeeded = true;
    Invalidate();
}

// --- Regression suite ---------------------------------------------------------------------------

void COrvistaView::OnStartTest()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this] { RunRegressionSuite(m_platform, m_testFolders); });
}

} // namespace Orvista
