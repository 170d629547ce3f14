#pragma once

#include "TreeControl.h"

#include <vector>

namespace Orvista
{

class COrvistaDoc;
class DisplayLayer;
class IPlatform;

// The layer tree beside the drawing view: keeps the tree control's items in step with the
// document's layers and turns clicks on check boxes and swatches into layer changes.
class CTopologyTreeView
{
public:
    CTopologyTreeView(IPlatform& platform, ITreeControl& control);

    // The window exists: registers with the document.
    void OnCreate(COrvistaDoc& document);

    // Deletes the items of layers that are gone and inserts, at the top, items for new ones.
    void UpdateLayers(const std::vector<DisplayLayer*>& layers);

    DisplayLayer* GetSelectedLayer() const { return m_control.SelectedLayer(); }
    // Selects the layer's item (null: none), which makes the layer current.
    void SelectLayer(const DisplayLayer* pLayer) { m_control.SelectLayer(pLayer); }
    bool HasItems() const { return m_control.RootCount() > 0; }
    // Root items, first to last (the reverse of the document's layer order).
    int RootCount() const { return m_control.RootCount(); }
    DisplayLayer* RootLayer(int index) const { return m_control.RootLayer(index); }
    bool IsRootChecked(int index) const { return m_control.IsRootChecked(index); }

    // The selection moved: the Working Topology list follows it by name.
    void OnSelectionChanged();
    // A click on a layer's swatch: the colour dialog chooses the fill colour.
    void OnSwatchClicked(DisplayLayer& layer);
    // The layer's check box was clicked into the given state.
    void OnCheckBoxClicked(DisplayLayer& layer, bool checked);

private:
    IPlatform& m_platform;
    ITreeControl& m_control;
    COrvistaDoc* m_pDocument = nullptr;
};

} // namespace Orvista
