#pragma once

#include "Platform.h"

#include <string>

namespace Orvista
{

class COrvistaView;
class IComboList;

// The window of the set-operation dialog as its logic sees it.
class ISetOperationDialogWindow
{
public:
    ISetOperationDialogWindow() = default;
    ISetOperationDialogWindow(const ISetOperationDialogWindow&) = delete;
    ISetOperationDialogWindow& operator=(const ISetOperationDialogWindow&) = delete;
    virtual ~ISetOperationDialogWindow() = default;

    virtual void SetTitle(const std::string& title) = 0;
    virtual IComboList& FirstLayerList() = 0;
    virtual IComboList& SecondLayerList() = 0;
    virtual IComboList& ResultLayerList() = 0;
    virtual void EnableResultList(bool enable) = 0;
    // Closes the dialog with the result.
    virtual void EndDialog(DialogResult result) = 0;
};

// The modal dialog that chooses the two operand layers of a layer set operation and names the
// result layer. Accepting it creates the result layer, adds it to the document and fills the
// drawing view's layer operation slots.
class CSetOperationDlg
{
public:
    // command: the layer operation (Union, Intersection, Subtraction, Join); any other command
    // gives "Undefined operation", which lists every layer.
    CSetOperationDlg(COrvistaView& view, int command);

    const std::string& GetOperationName() const { return m_operationName; }
    bool IsAccepted() const { return m_accepted; }

    // Fills the lists from the Working Topology list and proposes a result name.
    void OnInitDialog(ISetOperationDialogWindow& window);
    // The first or second layer changed: proposes a new result name.
    void OnSelectionChanged();
    // The OK button: refuses a result name in use and two equal layers, otherwise creates the
    // result layer and closes the dialog.
    void OnOK();
    void OnCancel();
    // The dialog's default button (Enter) closes it only once OK has succeeded.
    void OnDefaultOK();

    // "a_b_Intersection" from "a.shp", "b.shp" and "Intersection".
    static std::string ProposeResultName(const std::string& first, const std::string& second,
                                         const std::string& operation);

private:
    void UpdateResultName();
    void Accept();

    COrvistaView& m_view;
    std::string m_operationName;
    ISetOperationDialogWindow* m_pWindow = nullptr;
    bool m_accepted = false;
};

} // namespace Orvista
