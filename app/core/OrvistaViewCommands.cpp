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
#include "ErrorBox.h"
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
    const std::uint32_t start = m_platform.TickCount();
    const DisplayLayer* pCurrent = m_pDocument->GetCurrentLayer();
    Arealis::PolygonLayer* pLayer = pCurrent != nullptr ? pCurrent->GetPolygonLayer() : nullptr;
    if (pLayer == nullptr)
    {
        return;
    }
    Arealis::Polygon* pFirst = m_boolean.FirstChosen ? m_boolean.pFirst : nullptr;
    Arealis::Polygon* pSecond = m_boolean.SecondChosen ? m_boolean.pSecond : nullptr;
    switch (command)
    {
    case CommandId::BooleanUnion:
        m_boolean.pResult = pLayer->Union(pFirst, pSecond, true);
        break;
    case CommandId::BooleanIntersect:
        m_boolean.pResult = pLayer->Intersection(pFirst, pSecond, true);
        break;
    case CommandId::BooleanSubtract:
        m_boolean.pResult = pLayer->Substract(pFirst, pSecond, true);
        break;
    default:
        return;
    }
    m_boolean.ResultValid = true;
    const auto elapsed =
        static_cast<double>(static_cast<std::uint32_t>(m_platform.TickCount() - start));

    char text[128];
    std::snprintf(text, sizeof text, "Operation  time %f ms, count1 = %d, count2 = %d", elapsed,
                  CountVertices(pFirst), CountVertices(pSecond));
    // The result lies in the current layer, whose picture shows it from now on.
    RenderLayersOf(pLayer->GetTopology());
    m_platform.ShowMessageBox(text, ApplicationTitle, MessageBoxKind::Ok);
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
    std::string text;
    const std::uint32_t start = m_platform.TickCount();
    try
    {
        CommitKeepingSelection(*pTopology);
        const double seconds = static_cast<std::uint32_t>(m_platform.TickCount() - start) / 1000.0;
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
        topology.Commit();
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
