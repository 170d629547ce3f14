// The precision of a layer: the Precision... command, which reads the layer's file again into
// a topology of the chosen node grid and tolerance, and the messages about precisions.
#include "LayerPrecision.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "Exceptions/Exception.h"
#include "OrvistaDoc.h"
#include "OrvistaView.h"
#include "Platform.h"

#include <memory>
#include <optional>
#include <sstream>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "LayerPrecision";

} // namespace

std::string DescribePrecision(const Arealis::Precision& precision)
{
    std::ostringstream text;
    text << "node grid " << precision.GridStep << " and tolerance " << precision.Tolerance;
    return text.str();
}

std::string DifferentPrecisions(const DisplayLayer& first, const DisplayLayer& second)
{
    const Arealis::Precision& a = first.GetTopology()->GetPrecision();
    const Arealis::Precision& b = second.GetTopology()->GetPrecision();
    if (a == b)
    {
        return {};
    }
    return "The layers have different precisions: " + first.Name() + " (" +
           DescribePrecision(a) + ") and " + second.Name() + " (" + DescribePrecision(b) +
           "). Give both the same precision with File > Precision... to combine them.";
}

void COrvistaDoc::OnLayerPrecision()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   DisplayLayer* pLayer = GetCurrentLayer();
                   if (pLayer == nullptr)
                   {
                       m_platform.ShowStatusText("Select the layer in the tree first");
                       return;
                   }
                   if (!MayReRead(*pLayer))
                   {
                       return;
                   }
                   const std::optional<Arealis::Precision> precision = m_platform.AskPrecision(
                       pLayer->Name(), pLayer->GetTopology()->GetPrecision());
                   if (precision)
                   {
                       ReplaceByReRead(*pLayer, *precision);
                   }
               });
}

bool COrvistaDoc::MayReRead(const DisplayLayer& layer)
{
    if (layer.Derivation() != nullptr || layer.SourcePath().empty())
    {
        const std::string why = layer.Derivation() != nullptr
                                    ? " is the result of an operation"
                                    : " was made in the program";
        m_platform.ShowMessageBox(layer.Name() + why +
                                      " and has no file to read again, so its precision cannot "
                                      "change. It takes the precision of the layers it is made "
                                      "from.",
                                  ApplicationTitle, MessageBoxKind::Exclamation);
        return false;
    }
    if (m_history.HasEditsOf(layer))
    {
        const BoxAnswer answer = m_platform.ShowMessageBox(
            layer.Name() +
                " has edits that are not in its file. Reading the file again with another "
                "precision discards them. Read it again?",
            ApplicationTitle, MessageBoxKind::OkCancelError);
        return answer == BoxAnswer::Ok;
    }
    return true;
}

bool COrvistaDoc::ReplaceByReRead(DisplayLayer& layer, const Arealis::Precision& precision)
{
    try
    {
        Arealis::CheckPrecision(precision);
    }
    catch (const Exceptions::Exception& e)
    {
        m_platform.ShowMessageBox(std::string(e.Message()) + " The precision of " + layer.Name() +
                                      " was not changed.",
                                  ApplicationTitle, MessageBoxKind::Exclamation);
        return false;
    }
    // A failed read leaves the layer as it was (the reader has told the user why).
    const std::unique_ptr<DisplayLayer> fresh = ReadLayer(layer.SourcePath(), precision);
    if (m_pView != nullptr)
    {
        // Selections and controllers refer to polygons of the old topology.
        m_pView->OnLayerDeleted(layer);
    }
    m_history.ForgetLayer(layer);
    layer.SwapContents(*fresh);
    // The old topology goes with fresh; one whose polygons are parents elsewhere is kept
    // alive by DisplayLayer's destructor rather than failing here.
    UpdateLayerTree();
    if (m_pView != nullptr)
    {
        m_pView->SetRedrawNeeded(true);
        m_pView->Invalidate();
    }
    m_platform.ShowStatusText(layer.Name() + " read again with " +
                              DescribePrecision(precision));
    return true;
}

} // namespace Orvista
