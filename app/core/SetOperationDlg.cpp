#include "SetOperationDlg.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "ComboList.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "LayerPrecision.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"

#include <memory>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "SetOperationDlg";

std::string OperationName(int command)
{
    switch (command)
    {
    case CommandId::UniteTwoLayers:
        return "Union";
    case CommandId::IntersectLayers:
        return "Intersection";
    case CommandId::SubtractLayers:
        return "Subtraction";
    case CommandId::JoinLayers:
        return "Join";
    default:
        return "Undefined operation";
    }
}

std::string SelectedText(const IComboList& list)
{
    return list.GetText(list.GetCurSel());
}

// The entry without a layer: the proposed result name.
int FindProposal(const IComboList& list)
{
    return list.FindItemData(nullptr);
}

} // namespace

CSetOperationDlg::CSetOperationDlg(COrvistaView& view, int command)
    : m_view(view), m_operationName(OperationName(command))
{
}

std::string CSetOperationDlg::ProposeResultName(const std::string& first, const std::string& second,
                                                const std::string& operation)
{
    return WithoutShpExtension(first) + "_" + WithoutShpExtension(second) + "_" + operation;
}

void CSetOperationDlg::OnInitDialog(ISetOperationDialogWindow& window)
{
    m_pWindow = &window;
    window.SetTitle(m_operationName);
    const IComboList* pWorking = m_view.GetDocument()->GetWorkingTopologyList();
    const bool unitesSinglePolygons = m_operationName == "Union";
    for (int i = 0; pWorking != nullptr && i < pWorking->Count(); ++i)
    {
        DisplayLayer* pLayer = pWorking->GetItemData(i);
        if (unitesSinglePolygons && pLayer->GetPolygonLayer()->GetPolygonCount() != 1)
        {
            continue;
        }
        const std::string text = pWorking->GetText(i);
        window.FirstLayerList().AddString(text, pLayer);
        window.SecondLayerList().AddString(text, pLayer);
        window.ResultLayerList().AddString(text, pLayer);
    }
    window.FirstLayerList().SetCurSel(0);
    window.SecondLayerList().SetCurSel(1);
    UpdateResultName();
    window.EnableResultList(false);
}

void CSetOperationDlg::OnSelectionChanged()
{
    RunGuarded(m_view.GetPlatform(), Unit, __LINE__, [this] { UpdateResultName(); });
}

void CSetOperationDlg::UpdateResultName()
{
    IComboList& results = m_pWindow->ResultLayerList();
    const std::string name =
        ProposeResultName(SelectedText(m_pWindow->FirstLayerList()),
                          SelectedText(m_pWindow->SecondLayerList()), m_operationName);
    const int previous = FindProposal(results);
    if (previous != IComboList::Error)
    {
        results.DeleteString(previous);
    }
    results.SetCurSel(results.AddString(name, nullptr));
}

void CSetOperationDlg::OnOK()
{
    RunGuarded(m_view.GetPlatform(), Unit, __LINE__, [this] { Accept(); });
}

void CSetOperationDlg::Accept()
{
    IPlatform& platform = m_view.GetPlatform();
    COrvistaDoc& document = *m_view.GetDocument();
    IComboList& working = *document.GetWorkingTopologyList();
    IComboList& results = m_pWindow->ResultLayerList();
    DisplayLayer* pFirst = m_pWindow->FirstLayerList().GetSelectedData();
    DisplayLayer* pSecond = m_pWindow->SecondLayerList().GetSelectedData();
    if (pFirst == nullptr || pSecond == nullptr)
    {
        return;
    }

    // Every layer name counts, also those that the Union of one-polygon layers leaves out of
    // the lists: two layers of one name could not be told apart.
    const std::string name = SelectedText(results);
    if (working.FindStringExact(name) != IComboList::Error)
    {
        platform.ShowMessageBox("The result of the operation already exists as a layer!",
                                ApplicationTitle, MessageBoxKind::Exclamation);
        m_pWindow->EndDialog(DialogResult::Cancel);
        return;
    }
    if (pFirst == pSecond)
    {
        platform.ShowMessageBox("Selected layers should be different", ApplicationTitle,
                                MessageBoxKind::Exclamation);
        m_pWindow->EndDialog(DialogResult::Cancel);
        return;
    }

    // The library refuses operands of different precision; say so in the user's terms.
    if (const std::string different = DifferentPrecisions(*pFirst, *pSecond); !different.empty())
    {
        platform.ShowMessageBox(different, ApplicationTitle, MessageBoxKind::Exclamation);
        m_pWindow->EndDialog(DialogResult::Cancel);
        return;
    }

    DisplayLayer& result = document.AddLayer(std::make_unique<DisplayLayer>(name));
    result.GetTopology()->SetPrecision(pFirst->GetTopology()->GetPrecision());
    if (working.InsertString(0, name, &result) == IComboList::Error)
    {
        return;
    }
    m_view.SetCurrentLayer(&result);
    int proposal = FindProposal(results);
    if (proposal == IComboList::Error)
    {
        proposal = results.AddString(name, nullptr);
        results.SetCurSel(proposal);
    }
    results.SetItemData(proposal, &result);

    LayerOperationSlots& slots = m_view.GetLayerOperationSlots();
    slots.pFirst = pFirst->GetPolygonLayer();
    slots.pSecond = pSecond->GetPolygonLayer();
    slots.pResultLayer = results.GetSelectedData();
    slots.pResult = slots.pResultLayer != nullptr ? slots.pResultLayer->GetPolygonLayer() : nullptr;
    slots.Ready = slots.pResultLayer != nullptr;
    m_accepted = true;
    m_pWindow->EndDialog(DialogResult::Ok);
}

void CSetOperationDlg::OnCancel()
{
    m_view.GetLayerOperationSlots().Ready = false;
    if (m_pWindow != nullptr)
    {
        m_pWindow->EndDialog(DialogResult::Cancel);
    }
}

void CSetOperationDlg::OnDefaultOK()
{
    if (m_accepted && m_pWindow != nullptr)
    {
        m_pWindow->EndDialog(DialogResult::Ok);
    }
}

} // namespace Orvista
