#pragma once

#include <string>

namespace Orvista
{

class DisplayLayer;

// The tree control of the layer tree: one root item per layer, with a check box and the layer
// as item data, and under it one child item, the colour swatch of the layer's fill colour.
class ITreeControl
{
public:
    ITreeControl() = default;
    ITreeControl(const ITreeControl&) = delete;
    ITreeControl& operator=(const ITreeControl&) = delete;
    virtual ~ITreeControl() = default;

    virtual int RootCount() const = 0;
    virtual DisplayLayer* RootLayer(int index) const = 0;
    virtual bool IsRootChecked(int index) const = 0;
    // Inserts a root item before all others, with its swatch item.
    virtual void InsertFirstRoot(DisplayLayer& layer, const std::string& text, bool checked) = 0;
    virtual void DeleteRoot(int index) = 0;
    // The layer of the selected root item; null when nothing or a swatch is selected.
    virtual DisplayLayer* SelectedLayer() const = 0;
    // Selects the layer's root item; null selects nothing.
    virtual void SelectLayer(const DisplayLayer* pLayer) = 0;
    // Shows the layer's current fill colour in its swatch.
    virtual void RefreshSwatch(const DisplayLayer& layer) = 0;
};

} // namespace Orvista
