#include "MainFrame.h"

#include "Commands.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "TopologyTreeView.h"

#include <array>

namespace Orvista
{

CMainFrame::CMainFrame(IPlatform& platform, COrvistaDoc& document, COrvistaView& view,
                       CTopologyTreeView& tree)
    : m_platform(platform), m_document(document), m_view(view), m_tree(tree)
{
}

bool CMainFrame::Execute(int id, ICommandTarget* pApplication)
{
    // The layer tree handles no command of its own, and the drawing view's commands reach it
    // whichever pane has the focus: choosing the current layer in the tree must not disable
    // them.
    const std::array<ICommandTarget*, 4> chain{&m_view, &m_document, this, pApplication};
    return RouteCommand(chain, id);
}

CommandState CMainFrame::QueryState(int id, ICommandTarget* pApplication)
{
    const std::array<ICommandTarget*, 4> chain{&m_view, &m_document, this, pApplication};
    return QueryCommandState(chain, id);
}

void CMainFrame::SetDrawingViewActive(bool active)
{
    m_drawingViewActive = active;
}

void CMainFrame::OnViewSizing()
{
    // The first size is the initial layout, not a resize.
    if (!m_sizeRecorded)
    {
        m_sizeRecorded = true;
        return;
    }
    m_resizing = true;
    m_view.SetRedrawNeeded(false);
    m_view.Invalidate();
}

void CMainFrame::OnViewSizeSettled()
{
    if (!m_resizing)
    {
        return;
    }
    m_resizing = false;
    RunGuarded(m_platform, "MainFrm", __LINE__,
               [this] { m_view.ZoomToRectangle(m_view.GetRequestedRectangle()); });
}

bool CMainFrame::OnCommand(int id)
{
    if (!CommandId::IsMode(id))
    {
        return false;
    }
    RunGuarded(m_platform, "MainFrm", __LINE__, [this, id] { m_view.SetMode(id); });
    return true;
}

bool CMainFrame::OnUpdateCommand(int id, CommandState& state)
{
    using namespace CommandId;
    if (!IsMode(id))
    {
        return false;
    }
    // Zooming and selecting need something to work on; the other modes are always offered.
    state.Enabled = id > ModeSelect || m_tree.HasItems();
    state.Checked = m_view.GetMode() == id;
    return true;
}

} // namespace Orvista
