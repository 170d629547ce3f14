#include "SetOperationDialog.h"

#include "EventDispatch.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>

namespace Orvista
{

SetOperationDialog::SetOperationDialog(CSetOperationDlg& logic, IPlatform& platform,
                                       QWidget* pParent)
    : QDialog(pParent), m_logic(logic), m_platform(platform), m_ok(tr("OK")), m_cancel(tr("Cancel"))
{
    setWindowTitle(QStringLiteral("operation name"));
    auto* pLayout = new QGridLayout(this);
    pLayout->addWidget(new QLabel(QStringLiteral("First Layer"), this), 0, 0);
    pLayout->addWidget(&m_first, 0, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("Second Layer"), this), 1, 0);
    pLayout->addWidget(&m_second, 1, 1);
    pLayout->addWidget(new QLabel(QStringLiteral("Result Layer"), this), 2, 0);
    pLayout->addWidget(&m_result, 2, 1);
    pLayout->addWidget(&m_ok, 3, 0);
    pLayout->addWidget(&m_cancel, 3, 1);
    pLayout->setColumnStretch(1, 1);
    for (QComboBox* pCombo : {&m_first, &m_second, &m_result})
    {
        pCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        pCombo->setMinimumContentsLength(16);
    }
    // Enter reaches keyPressEvent instead of clicking a button.
    m_ok.setAutoDefault(false);
    m_cancel.setAutoDefault(false);

    connect(&m_first, &QComboBox::activated, this,
            [this] { DispatchEvent(m_platform, [this] { m_logic.OnSelectionChanged(); }); });
    connect(&m_second, &QComboBox::activated, this,
            [this] { DispatchEvent(m_platform, [this] { m_logic.OnSelectionChanged(); }); });
    connect(&m_ok, &QPushButton::clicked, this,
            [this] { DispatchEvent(m_platform, [this] { m_logic.OnOK(); }); });
    connect(&m_cancel, &QPushButton::clicked, this,
            [this] { DispatchEvent(m_platform, [this] { m_logic.OnCancel(); }); });

    DispatchEvent(m_platform, [this] { m_logic.OnInitDialog(*this); });
}

void SetOperationDialog::SetTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
}

void SetOperationDialog::EnableResultList(bool enable)
{
    m_result.setEnabled(enable);
}

void SetOperationDialog::EndDialog(DialogResult result)
{
    m_ending = true;
    done(result == DialogResult::Ok ? QDialog::Accepted : QDialog::Rejected);
}

void SetOperationDialog::reject()
{
    if (m_ending)
    {
        QDialog::reject();
        return;
    }
    DispatchEvent(m_platform, [this] { m_logic.OnCancel(); });
}

void SetOperationDialog::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter)
    {
        DispatchEvent(m_platform, [this] { m_logic.OnDefaultOK(); });
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

} // namespace Orvista
