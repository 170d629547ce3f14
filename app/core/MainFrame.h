#pragma once

#include "CommandRouting.h"

namespace Orvista
{

class COrvistaDoc;
class COrvistaView;
class CTopologyTreeView;
class IPlatform;

// The main frame's logic: the command chain (active pane, document, frame, application), the
// interaction mode commands, and keeping the drawing view's picture in step with resizing.
class CMainFrame final : public ICommandTarget
{
public:
    CMainFrame(IPlatform& platform, COrvistaDoc& document, COrvistaView& view,
               CTopologyTreeView& tree);

    // Runs the command through the chain; false when nobody handles it.
    bool Execute(int id, ICommandTarget* pApplication);
    // The command's state from the chain; disabled when nobody handles it.
    CommandState QueryState(int id, ICommandTarget* pApplication);

    // Which pane has the focus: the drawing view (the initial one) or the layer tree.
    void SetDrawingViewActive(bool active);
    bool IsDrawingViewActive() const { return m_drawingViewActive; }

    // The drawing view changes size: its old picture is stretched to the new size for now.
    void OnViewSizing();
    // The size has stopped changing: the view fits its zoom to the new size and draws again.
    void OnViewSizeSettled();

    // Interaction modes go to the drawing view.
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

private:
    IPlatform& m_platform;
    COrvistaDoc& m_document;
    COrvistaView& m_view;
    CTopologyTreeView& m_tree;
    bool m_drawingViewActive = true;
    bool m_sizeRecorded = false;
    bool m_resizing = false;
};

} // namespace Orvista
