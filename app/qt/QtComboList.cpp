#include "QtComboList.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QVariant>

namespace Orvista
{

namespace
{

QVariant ToVariant(DisplayLayer* pData)
{
    return QVariant::fromValue(static_cast<void*>(pData));
}

} // namespace

int QtComboList::Count() const
{
    return m_comboBox.count();
}

int QtComboList::InsertString(int index, const std::string& text, DisplayLayer* pData)
{
    if (index < 0 || index > Count())
    {
        return Error;
    }
    const int selected = GetCurSel();
    const QSignalBlocker blocker(m_comboBox);
    m_comboBox.insertItem(index, QString::fromStdString(text), ToVariant(pData));
    m_comboBox.setCurrentIndex(selected == Error ? -1
                                                 : (selected >= index ? selected + 1 : selected));
    return index;
}

void QtComboList::DeleteString(int index)
{
    if (!IsValidIndex(index))
    {
        return;
    }
    const int selected = GetCurSel();
    const QSignalBlocker blocker(m_comboBox);
    m_comboBox.removeItem(index);
    m_comboBox.setCurrentIndex(selected == index ? -1
                                                 : (selected > index ? selected - 1 : selected));
}

std::string QtComboList::GetText(int index) const
{
    return IsValidIndex(index) ? m_comboBox.itemText(index).toStdString() : std::string();
}

DisplayLayer* QtComboList::GetItemData(int index) const
{
    return IsValidIndex(index)
               ? static_cast<DisplayLayer*>(m_comboBox.itemData(index).value<void*>())
               : nullptr;
}

void QtComboList::SetItemData(int index, DisplayLayer* pData)
{
    if (IsValidIndex(index))
    {
        m_comboBox.setItemData(index, ToVariant(pData));
    }
}

int QtComboList::GetCurSel() const
{
    const int index = m_comboBox.currentIndex();
    return IsValidIndex(index) ? index : Error;
}

void QtComboList::SetCurSel(int index)
{
    const QSignalBlocker blocker(m_comboBox);
    m_comboBox.setCurrentIndex(IsValidIndex(index) ? index : -1);
}

} // namespace Orvista
