#include "AttributesDock.h"

#include "AttributesPanel.h"
#include "OrvistaView.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace Orvista
{

AttributesDock::AttributesDock(const COrvistaDoc& document, const COrvistaView& view,
                               QWidget* pParent)
    : QDockWidget(tr("Attributes"), pParent), m_document(document), m_view(view)
{
    setObjectName(QStringLiteral("attributes"));
    m_pTable = new QTreeWidget(this);
    m_pTable->setColumnCount(2);
    m_pTable->setHeaderLabels({tr("Column"), tr("Value")});
    m_pTable->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_pTable->setRootIsDecorated(true);
    setWidget(m_pTable);
    Refresh();
}

void AttributesDock::Refresh()
{
    m_pTable->clear();
    Arealis::Polygon* pPolygon = m_view.GetSelectedPolygon();
    const std::vector<AttributeGroup> groups = DescribeAttributes(m_document, pPolygon);
    if (groups.empty())
    {
        m_pTable->addTopLevelItem(new QTreeWidgetItem(
            {pPolygon == nullptr ? tr("No polygon selected") : tr("The polygon has no attributes")}));
        return;
    }
    for (const AttributeGroup& group : groups)
    {
        auto* pGroup = new QTreeWidgetItem({QString::fromStdString(group.Title)});
        pGroup->setFirstColumnSpanned(false);
        for (const auto& [column, value] : group.Values)
        {
            pGroup->addChild(
                new QTreeWidgetItem({QString::fromStdString(column), QString::fromStdString(value)}));
        }
        m_pTable->addTopLevelItem(pGroup);
        pGroup->setExpanded(true);
    }
}

} // namespace Orvista
