#pragma once

#include "TopologyTreeView.h"
#include "TreeControl.h"

#include <QTreeWidget>

namespace Orvista
{

class IPlatform;

// The layer tree pane: a root item per layer with a check box for its visibility and, under
// it, the swatch of its fill colour; a click on a swatch opens the colour dialog.
class LayerTreeWidget final : public QTreeWidget, public ITreeControl
{
    Q_OBJECT

public:
    LayerTreeWidget(IPlatform& platform, QWidget* pParent = nullptr);

    CTopologyTreeView& Logic() { return m_logic; }

    int RootCount() const override;
    DisplayLayer* RootLayer(int index) const override;
    bool IsRootChecked(int index) const override;
    void InsertFirstRoot(DisplayLayer& layer, const std::string& text, bool checked) override;
    void DeleteRoot(int index) override;
    DisplayLayer* SelectedLayer() const override;
    void SelectLayer(const DisplayLayer* pLayer) override;
    void RefreshSwatch(const DisplayLayer& layer) override;

    // The item of the layer's swatch, or null.
    QTreeWidgetItem* SwatchItem(const DisplayLayer& layer) const;

signals:
    // The tree got the focus and is the active pane now.
    void Activated();

protected:
    void mousePressEvent(QMouseEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;

private:
    void OnItemChanged(QTreeWidgetItem* pItem, int column);
    QTreeWidgetItem* RootItem(const DisplayLayer& layer) const;

    IPlatform& m_platform;
    CTopologyTreeView m_logic;
    bool m_updating = false;
};

} // namespace Orvista
