#include "LayerTreeWidget.h"

#include "DisplayLayer.h"
#include "EventDispatch.h"
#include "QtCanvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace Orvista
{

namespace
{

// Item data: the layer of a root item, and the check state last seen on it.
constexpr int LayerRole = Qt::UserRole;
constexpr int SeenCheckRole = Qt::UserRole + 1;

DisplayLayer* LayerOf(const QTreeWidgetItem* pItem)
{
    return pItem != nullptr ? static_cast<DisplayLayer*>(pItem->data(0, LayerRole).value<void*>())
                            : nullptr;
}

QIcon SwatchIcon(Colour fill)
{
    QPixmap swatch(32, 14);
    swatch.fill(Qt::transparent);
    QPainter painter(&swatch);
    painter.setPen(Qt::black);
    painter.setBrush(ToQColor(fill));
    painter.drawRect(0, 0, swatch.width() - 1, swatch.height() - 1);
    return QIcon(swatch);
}

} // namespace

LayerTreeWidget::LayerTreeWidget(IPlatform& platform, QWidget* pParent)
    : QTreeWidget(pParent), m_platform(platform), m_logic(platform, *this)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(32, 14));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemChanged, this, &LayerTreeWidget::OnItemChanged);
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            [this] { DispatchEvent(m_platform, [this] { m_logic.OnSelectionChanged(); }); });
}

int LayerTreeWidget::RootCount() const
{
    return topLevelItemCount();
}

DisplayLayer* LayerTreeWidget::RootLayer(int index) const
{
    return LayerOf(topLevelItem(index));
}

bool LayerTreeWidget::IsRootChecked(int index) const
{
    const QTreeWidgetItem* pItem = topLevelItem(index);
    return pItem != nullptr && pItem->checkState(0) == Qt::Checked;
}

void LayerTreeWidget::InsertFirstRoot(DisplayLayer& layer, const std::string& text, bool checked)
{
    const QSignalBlocker blocker(this);
    auto* pRoot = new QTreeWidgetItem();
    // A file's layer is listed by its file name; the tooltip gives the whole path.
    const QString name = QString::fromStdString(text);
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    pRoot->setText(0, slash >= 0 && slash + 1 < name.size() ? name.mid(slash + 1) : name);
    pRoot->setToolTip(0, name);
    pRoot->setData(0, LayerRole, QVariant::fromValue(static_cast<void*>(&layer)));
    pRoot->setFlags(pRoot->flags() | Qt::ItemIsUserCheckable);
    pRoot->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    pRoot->setData(0, SeenCheckRole, checked);

    auto* pSwatch = new QTreeWidgetItem(pRoot);
    pSwatch->setIcon(0, SwatchIcon(layer.FillColour()));
    pSwatch->setToolTip(0, tr("Click to choose the fill colour"));

    insertTopLevelItem(0, pRoot);
    pRoot->setExpanded(true);
}

void LayerTreeWidget::DeleteRoot(int index)
{
    delete takeTopLevelItem(index);
}

DisplayLayer* LayerTreeWidget::SelectedLayer() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty() || selected.front()->parent() != nullptr)
    {
        return nullptr;
    }
    return LayerOf(selected.front());
}

void LayerTreeWidget::SelectLayer(const DisplayLayer* pLayer)
{
    QTreeWidgetItem* pItem = pLayer != nullptr ? RootItem(*pLayer) : nullptr;
    if (pItem != nullptr)
    {
        setCurrentItem(pItem);
    }
    else
    {
        clearSelection();
    }
}

QTreeWidgetItem* LayerTreeWidget::RootItem(const DisplayLayer& layer) const
{
    for (int index = 0; index < topLevelItemCount(); ++index)
    {
        if (LayerOf(topLevelItem(index)) == &layer)
        {
            return topLevelItem(index);
        }
    }
    return nullptr;
}

QTreeWidgetItem* LayerTreeWidget::SwatchItem(const DisplayLayer& layer) const
{
    QTreeWidgetItem* pRoot = RootItem(layer);
    return pRoot != nullptr && pRoot->childCount() > 0 ? pRoot->child(0) : nullptr;
}

void LayerTreeWidget::RefreshSwatch(const DisplayLayer& layer)
{
    if (QTreeWidgetItem* pSwatch = SwatchItem(layer))
    {
        const QSignalBlocker blocker(this);
        pSwatch->setIcon(0, SwatchIcon(layer.FillColour()));
    }
}

void LayerTreeWidget::mousePressEvent(QMouseEvent* pEvent)
{
    QTreeWidgetItem* pItem = itemAt(pEvent->position().toPoint());
    if (pEvent->button() == Qt::LeftButton && pItem != nullptr && pItem->parent() != nullptr)
    {
        if (DisplayLayer* pLayer = LayerOf(pItem->parent()))
        {
            DispatchEvent(m_platform, [this, pLayer] { m_logic.OnSwatchClicked(*pLayer); });
        }
        return;
    }
    QTreeWidget::mousePressEvent(pEvent);
}

void LayerTreeWidget::focusInEvent(QFocusEvent* pEvent)
{
    QTreeWidget::focusInEvent(pEvent);
    emit Activated();
}

void LayerTreeWidget::OnItemChanged(QTreeWidgetItem* pItem, int column)
{
    DisplayLayer* pLayer = LayerOf(pItem);
    if (column != 0 || pLayer == nullptr)
    {
        return;
    }
    const bool checked = pItem->checkState(0) == Qt::Checked;
    if (pItem->data(0, SeenCheckRole).toBool() == checked)
    {
        return;
    }
    {
        const QSignalBlocker blocker(this);
        pItem->setData(0, SeenCheckRole, checked);
    }
    DispatchEvent(m_platform,
                  [this, pLayer, checked] { m_logic.OnCheckBoxClicked(*pLayer, checked); });
}

} // namespace Orvista
