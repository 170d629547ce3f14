#pragma once

#include "QtComboList.h"
#include "SetOperationDlg.h"

#include <QComboBox>
#include <QDialog>
#include <QPushButton>

namespace Orvista
{

class IPlatform;

// The set-operation dialog's window: three lists, OK and Cancel. Enter does not close it;
// only a successful OK does.
class SetOperationDialog final : public QDialog, public ISetOperationDialogWindow
{
    Q_OBJECT

public:
    SetOperationDialog(CSetOperationDlg& logic, IPlatform& platform, QWidget* pParent);

    void SetTitle(const std::string& title) override;
    IComboList& FirstLayerList() override { return m_firstList; }
    IComboList& SecondLayerList() override { return m_secondList; }
    IComboList& ResultLayerList() override { return m_resultList; }
    void EnableResultList(bool enable) override;
    void EndDialog(DialogResult result) override;

    QComboBox& FirstCombo() { return m_first; }
    QComboBox& SecondCombo() { return m_second; }
    QComboBox& ResultCombo() { return m_result; }
    QPushButton& OkButton() { return m_ok; }
    QPushButton& CancelButton() { return m_cancel; }

    // Escape and the window's close button cancel like the Cancel button.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    CSetOperationDlg& m_logic;
    IPlatform& m_platform;
    QComboBox m_first;
    QComboBox m_second;
    QComboBox m_result;
    QtComboList m_firstList{m_first};
    QtComboList m_secondList{m_second};
    QtComboList m_resultList{m_result};
    QPushButton m_ok;
    QPushButton m_cancel;
    bool m_ending = false;
};

} // namespace Orvista
