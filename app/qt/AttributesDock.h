#pragma once

#include <QDockWidget>

class QTreeWidget;

namespace Orvista
{

class COrvistaDoc;
class COrvistaView;

// The "Attributes" panel: the attributes of the polygon selected in the drawing view, and for
// the result of an operation those of its parents, one group each (DescribeAttributes).
class AttributesDock final : public QDockWidget
{
    Q_OBJECT

public:
    AttributesDock(const COrvistaDoc& document, const COrvistaView& view, QWidget* pParent);

    QTreeWidget& Table() { return *m_pTable; }
    // Shows the current selection's attributes.
    void Refresh();

private:
    const COrvistaDoc& m_document;
    const COrvistaView& m_view;
    QTreeWidget* m_pTable = nullptr;
};

} // namespace Orvista
