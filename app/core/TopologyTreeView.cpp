#include "TopologyTreeView.h"

#include "ComboList.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "Platform.h"

#include <algorithm>

namespace Orvista
{

CTopologyTreeView::CTopologyTreeView(IPlatform& platform, ITreeControl& control)
    : m_platform(platform), m_control(control)
{
}

void CTopologyTreeView::OnCreate(COrvistaDoc& document)
{
    m_pDocument = &document;
    document.SetLayerTree(this);
}

void CTopologyTreeView::UpdateLayers(const std::vector<DisplayLayer*>& layers)
{
    const auto listed = [&layers](const DisplayLayer* pLayer)
    { return std::find(layers.begin(), layers.end(), pLayer) != layers.end(); };

    for (int index = m_control.RootCount() - 1; index >= 0; --index)
    {
        if (!listed(m_control.RootLayer(index)))
        {
            m_control.DeleteRoot(index);
        }
    }
    for (DisplayLayer* pLayer : layers)
    {
        bool present = false;
        for (int index = 0; index < m_control.RootCount() && !present; ++index)
        {
            present = m_control.RootLayer(index) == pLayer;
        }
        if (!present)
        {
            // A new layer is still dirty, so its item starts checked.
            m_control.InsertFirstRoot(*pLayer, pLayer->Name(), pLayer->Dirty);
        }
    }
}

void CTopologyTreeView::OnSelectionChanged()
{
    RunGuarded(m_platform, "TopologyTreeView", __LINE__,
               [this]
               {
                   const DisplayLayer* pLayer = m_control.SelectedLayer();
                   IComboList* pCombo =
                       m_pDocument != nullptr ? m_pDocument->GetWorkingTopologyList() : nullptr;
                   if (pLayer != nullptr && pCombo != nullptr)
                   {
                       pCombo->SetCurSel(pCombo->FindStringExact(pLayer->Name()));
                   }
               });
}

void CTopologyTreeView::OnSwatchClicked(DisplayLayer& layer)
{
    RunGuarded(m_platform, "TopologyTreeView", __LINE__,
               [this, &layer]
               {
                   const std::optional<Colour> colour = m_platform.AskColour(layer.FillColour());
                   if (!colour)
                   {
                       return;
                   }
                   const WaitCursor wait(m_platform);
                   layer.SetFillColour(*colour);
                   layer.Dirty = true;
                   layer.Rendered = false;
                   layer.HasPicture = true;
                   m_control.RefreshSwatch(layer);
                   COrvistaView* pView = m_pDocument != nullptr ? m_pDocument->GetView() : nullptr;
                   if (layer.Visible && pView != nullptr)
                   {
                       pView->SetRedrawNeeded(true);
                       pView->Invalidate();
                   }
               });
}

void CTopologyTreeView::OnCheckBoxClicked(DisplayLayer& layer, bool checked)
{
    RunGuarded(m_platform, "TopologyTreeView", __LINE__,
               [this, &layer, checked]
               {
                   layer.HasPicture = checked;
                   layer.Dirty = checked;
                   layer.Visible = checked;
                   COrvistaView* pView = m_pDocument != nullptr ? m_pDocument->GetView() : nullptr;
                   if (pView == nullptr)
                   {
                       return;
                   }
                   if (checked)
                   {
                       pView->SetCurrentLayer(&layer);
                   }
                   pView->SetRedrawNeeded(true);
                   pView->Invalidate();
               });
}

} // namespace Orvista
