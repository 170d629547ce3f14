#pragma once

#include "ComboList.h"

class QComboBox;

namespace Orvista
{

// A combo list over a QComboBox. Like a native combo box it never selects an entry by itself:
// inserting into an empty list or deleting the selected entry leaves no selection.
class QtComboList final : public IComboList
{
public:
    explicit QtComboList(QComboBox& comboBox) : m_comboBox(comboBox) {}

    int Count() const override;
    int InsertString(int index, const std::string& text, DisplayLayer* pData) override;
    void DeleteString(int index) override;
    std::string GetText(int index) const override;
    DisplayLayer* GetItemData(int index) const override;
    void SetItemData(int index, DisplayLayer* pData) override;
    int GetCurSel() const override;
    void SetCurSel(int index) override;

    QComboBox& ComboBox() { return m_comboBox; }

private:
    bool IsValidIndex(int index) const { return 0 <= index && index < Count(); }

    QComboBox& m_comboBox;
};

} // namespace Orvista
