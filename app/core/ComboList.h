#pragma once

#include <string>

namespace Orvista
{

class DisplayLayer;

// An ordered list of texts, each with a layer as item data, and at most one selected entry:
// the Working Topology list of the main frame and the lists of the set-operation dialog.
class IComboList
{
public:
    // Index returned when an entry is not found or cannot be inserted.
    static constexpr int Error = -1;

    IComboList() = default;
    IComboList(const IComboList&) = delete;
    IComboList& operator=(const IComboList&) = delete;
    virtual ~IComboList() = default;

    virtual int Count() const = 0;
    // Inserts at index (Count() appends); returns the index of the new entry or Error.
    virtual int InsertString(int index, const std::string& text, DisplayLayer* pData) = 0;
    virtual void DeleteString(int index) = 0;
    virtual std::string GetText(int index) const = 0;
    virtual DisplayLayer* GetItemData(int index) const = 0;
    virtual void SetItemData(int index, DisplayLayer* pData) = 0;
    // The selected index or Error; SetCurSel(Error) clears the selection.
    virtual int GetCurSel() const = 0;
    virtual void SetCurSel(int index) = 0;

    int AddString(const std::string& text, DisplayLayer* pData)
    {
        return InsertString(Count(), text, pData);
    }

    // First entry whose text equals text exactly, or Error.
    int FindStringExact(const std::string& text) const
    {
        for (int i = 0; i < Count(); ++i)
        {
            if (GetText(i) == text)
            {
                return i;
            }
        }
        return Error;
    }

    // First entry whose item data is pData, or Error.
    int FindItemData(const DisplayLayer* pData) const
    {
        for (int i = 0; i < Count(); ++i)
        {
            if (GetItemData(i) == pData)
            {
                return i;
            }
        }
        return Error;
    }

    DisplayLayer* GetSelectedData() const
    {
        const int selected = GetCurSel();
        return selected == Error ? nullptr : GetItemData(selected);
    }
};

} // namespace Orvista
