#include "AboutDialog.h"

#include "ToolbarIcons.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

namespace Orvista
{

AboutDialog::AboutDialog(QWidget* pParent) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("About Arealis Demo"));
    auto* pLayout = new QGridLayout(this);
    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(ApplicationIcon().pixmap(48, 48));
    pLayout->addWidget(pIcon, 0, 0, 2, 1, Qt::AlignTop);
    pLayout->addWidget(new QLabel(QStringLiteral("Arealis Demo Version 1.3"), this), 0, 1);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    pLayout->addWidget(pButtons, 2, 0, 1, 2);
}

} // namespace Orvista
