#include "OrvistaDoc.h"

#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "ComboList.h"
#include "Commands.h"
#include "DisplayLayer.h"
#include "ErrorBox.h"
#include "Formats/FormatError.h"
#include "Exceptions/Exception.h"
#include "Formats/PrecisionChoice.h"
#include "LayerPrecision.h"
#include "LayerReader.h"
#include "OrvistaView.h"
#include "Platform.h"
#include "TopologyTreeView.h"

#include <algorithm>

namespace Orvista
{

namespace
{

constexpr const char* Unit = "OrvistaDoc";
constexpr const char* AlreadyOpened = "A file with the same name is already opened!";

} // namespace

COrvistaDoc::COrvistaDoc(IPlatform& platform, ILayerReader& reader)
    : m_platform(platform), m_reader(reader)
{
    m_history.SetLayerLookup(
        [this](const Arealis::PolygonLayer& polygonLayer) -> DisplayLayer*
        {
            for (const auto& layer : m_layers)
            {
                if (layer->GetPolygonLayer() == &polygonLayer)
                {
                    return layer.get();
                }
            }
            return nullptr;
        });
}

COrvistaDoc::~COrvistaDoc()
{
    DeleteAllLayers();
}

void COrvistaDoc::DeleteAllLayers() noexcept
{
    // A topology whose polygons are parents of polygons of other topologies refuses to go
    // before those; keep deleting while any topology goes.
    bool progress = true;
    while (!m_layers.empty() && progress)
    {
        progress = false;
        for (auto it = m_layers.begin(); it != m_layers.end();)
        {
            try
            {
                (*it)->DeleteTopology();
                it = m_layers.erase(it);
                progress = true;
            }
            catch (...)
            {
                ++it;
            }
        }
    }
    m_layers.clear();
}

std::vector<DisplayLayer*> COrvistaDoc::GetLayerPointers() const
{
    std::vector<DisplayLayer*> layers;
    layers.reserve(m_layers.size());
    for (const auto& layer : m_layers)
    {
        layers.push_back(layer.get());
    }
    return layers;
}

DisplayLayer& COrvistaDoc::AddLayer(std::unique_ptr<DisplayLayer> layer)
{
    m_layers.push_back(std::move(layer));
    return *m_layers.back();
}

DisplayLayer* COrvistaDoc::GetTreeSelection() const
{
    return m_pLayerTree != nullptr ? m_pLayerTree->GetSelectedLayer() : nullptr;
}

DisplayLayer* COrvistaDoc::GetCurrentLayer()
{
    if (DisplayLayer* pSelected = GetTreeSelection())
    {
        if (m_pWorkingTopology != nullptr)
        {
            m_pWorkingTopology->SetCurSel(m_pWorkingTopology->FindStringExact(pSelected->Name()));
        }
        return pSelected;
    }
    return m_pWorkingTopology != nullptr ? m_pWorkingTopology->GetSelectedData() : nullptr;
}

void COrvistaDoc::MakeCurrentLayer(DisplayLayer& layer)
{
    if (m_pLayerTree != nullptr)
    {
        m_pLayerTree->SelectLayer(&layer);
    }
    if (m_pWorkingTopology != nullptr)
    {
        m_pWorkingTopology->SetCurSel(m_pWorkingTopology->FindItemData(&layer));
    }
}

Arealis::Topology* COrvistaDoc::GetCurrentTopology()
{
    const DisplayLayer* pLayer = GetCurrentLayer();
    return pLayer != nullptr ? pLayer->GetTopology() : nullptr;
}

Arealis::PolygonLayer* COrvistaDoc::GetCurrentPolygonLayer()
{
    const DisplayLayer* pLayer = GetCurrentLayer();
    return pLayer != nullptr ? pLayer->GetPolygonLayer() : nullptr;
}

void COrvistaDoc::UpdateLayerTree()
{
    if (m_pLayerTree != nullptr)
    {
        m_pLayerTree->UpdateLayers(GetLayerPointers());
    }
}

bool COrvistaDoc::IsOpen(const std::string& name) const
{
    return std::any_of(m_layers.begin(), m_layers.end(),
                       [&name](const auto& layer) { return layer->Name() == name; });
}

bool COrvistaDoc::InsertIntoWorkingTopology(DisplayLayer& layer)
{
    if (m_pWorkingTopology == nullptr ||
        m_pWorkingTopology->InsertString(0, layer.Name(), &layer) == IComboList::Error)
    {
        return false;
    }
    m_pWorkingTopology->SetCurSel(m_pWorkingTopology->FindItemData(&layer));
    return true;
}

void COrvistaDoc::OnNewTopology()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   auto layer = std::make_unique<DisplayLayer>("Topology #" +
                                                               std::to_string(m_topologyCounter));
                   DisplayLayer& added = AddLayer(std::move(layer));
                   UpdateLayerTree();
                   if (!InsertIntoWorkingTopology(added))
                   {
                       return;
                   }
                   ++m_topologyCounter;
                   m_hasLayers = true;
               });
}

void COrvistaDoc::OnOpenLayer()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   const std::optional<std::string> path =
                       m_platform.AskOpenFileName(LayerFileFilter);
                   if (path)
                   {
                       OpenLayerFile(*path);
                   }
               });
}

bool COrvistaDoc::OpenLayerFile(const std::string& path)
{
    bool opened = false;
    RunGuarded(m_platform, Unit, __LINE__,
               [this, &path, &opened]
               {
                   const std::optional<std::string> source = ChooseSource(path);
                   if (!source)
                   {
                       return;
                   }
                   if (IsOpen(*source))
                   {
                       m_platform.ShowMessageBox(AlreadyOpened, ApplicationTitle,
                                                 MessageBoxKind::Ok);
                       return;
                   }
                   ReadNewLayer(*source);
                   opened = true;
               });
    return opened;
}

std::optional<std::string> COrvistaDoc::ChooseSource(const std::string& path)
{
    std::vector<std::string> tables;
    try
    {
        tables = GeoPackageTables(path);
    }
    catch (const Formats::FormatError& e)
    {
        m_platform.ShowMessageBox(e.what(), ApplicationTitle, MessageBoxKind::Exclamation);
        return std::nullopt;
    }
    // One table or none: the reader opens the only one or says that there is none.
    if (tables.size() < 2)
    {
        return path;
    }
    const std::string fileName = path.substr(path.find_last_of("/\\") + 1);
    const std::optional<std::size_t> chosen = m_platform.AskChoice(
        fileName + " holds " + std::to_string(tables.size()) +
            " polygon tables. Which one should open as a layer?",
        tables);
    if (!chosen || *chosen >= tables.size())
    {
        return std::nullopt;
    }
    return path + ":" + tables[*chosen];
}

std::unique_ptr<DisplayLayer> COrvistaDoc::ReadLayer(
    const std::string& path, const std::optional<Arealis::Precision>& precision)
{
    const WaitCursor wait(m_platform);
    auto layer = std::make_unique<DisplayLayer>(path);
    layer->SetSourcePath(path);
    Arealis::Topology& topology = *layer->GetTopology();
    const Formats::PrecisionChoice choice =
        precision ? Formats::PrecisionChoice::Exactly(*precision) : Formats::PrecisionChoice{};
    topology.SetPrecision(choice.For(false));
    std::string degreeNote;
    // The precision follows the reference system before the first polygon is made.
    const auto choosePrecision = [&](const Formats::CoordinateSystem& system)
    {
        topology.SetPrecision(choice.For(system.IsGeographic));
        if (choice.TakesDegreeDefaults(system.IsGeographic))
        {
            degreeNote = path + " is in longitude/latitude (" + system.Name +
                         "): read with " + DescribePrecision(topology.GetPrecision()) +
                         " degrees; Precision... chooses others";
        }
    };
    try
    {
        DisplayLayer& reading = *layer;
        Formats::SourceDescription description = m_reader.ReadDescribed(
            *layer->GetPolygonLayer(), path,
            [&reading](Arealis::Polygon* pPolygon, std::int64_t record)
            { reading.SetRecord(pPolygon, record); },
            choosePrecision);
        layer->SetAttributes(std::move(description.Attributes));
        layer->SetSystem(std::move(description.System));
    }
    catch (...)
    {
        // The reader has shown the problem and the user chose to stop: the half-read layer
        // goes with its topology.
        throw CommandAbandoned{};
    }
    if (!degreeNote.empty())
    {
        m_platform.ShowStatusText(degreeNote);
    }
    return layer;
}

void COrvistaDoc::ReadNewLayer(const std::string& path)
{
    std::unique_ptr<DisplayLayer> layer = ReadLayer(path, std::nullopt);
    DisplayLayer& added = AddLayer(std::move(layer));
    if (m_fileOpened)
    {
        m_fileOpened(path);
    }
    UpdateLayerTree();
    if (InsertIntoWorkingTopology(added))
    {
        m_hasLayers = true;
        const Arealis::Rectangle bounds = added.GetPolygonLayer()->GetBounds();
        if (m_pView != nullptr)
        {
            // The first layer, or one opened while the view shows no polygon (after New, or
            // zoomed away from the other layers), is zoomed to: otherwise nothing would show.
            if (!bounds.IsEmpty() && !ViewShowsPolygons(added))
            {
                m_pView->ZoomToRectangle(bounds);
            }
            else
            {
                m_pView->SetRedrawNeeded(true);
                m_pView->Invalidate();
            }
        }
    }
}

bool COrvistaDoc::ViewShowsPolygons(const DisplayLayer& except) const
{
    if (m_pView == nullptr)
    {
        return false;
    }
    const Arealis::Rectangle& visible = m_pView->GetMapping().VisibleRectangle();
    if (visible.IsEmpty())
    {
        return false;
    }
    return std::any_of(m_layers.begin(), m_layers.end(),
                       [&](const auto& layer)
                       {
                           if (layer.get() == &except || !layer->Visible ||
                               layer->GetPolygonLayer() == nullptr)
                           {
                               return false;
                           }
                           Arealis::PolygonEnumerator polygons =
                               layer->GetPolygonLayer()->GetPolygons(visible);
                           return polygons.MoveNext();
                       });
}

void COrvistaDoc::OnDeleteSelectedLayer()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   DisplayLayer* pLayer = GetTreeSelection();
                   if (pLayer == nullptr)
                   {
                       return;
                   }
                   // The topology goes first: when it refuses, the layer stays as it was.
                   try
                   {
                       pLayer->DeleteTopology();
                   }
                   catch (const Exceptions::Exception& e)
                   {
                       m_platform.ShowMessageBox(e.Message(), ApplicationTitle, MessageBoxKind::Ok);
                       return;
                   }
                   DeleteLayer(*pLayer);
               });
}

void COrvistaDoc::DeleteLayer(DisplayLayer& layer)
{
    const auto found = std::find_if(m_layers.begin(), m_layers.end(),
                                    [&layer](const auto& entry) { return entry.get() == &layer; });
    if (found == m_layers.end())
    {
        return;
    }
    const std::unique_ptr<DisplayLayer> doomed = std::move(*found);
    m_layers.erase(found);
    m_history.ForgetLayer(layer);

    if (m_pView != nullptr)
    {
        m_pView->SetRedrawNeeded(true);
    }
    UpdateLayerTree();
    if (m_pWorkingTopology != nullptr)
    {
        const int entry = m_pWorkingTopology->FindItemData(&layer);
        if (entry != IComboList::Error)
        {
            m_pWorkingTopology->DeleteString(entry);
        }
        m_hasLayers = m_pWorkingTopology->Count() > 0;
        if (m_hasLayers)
        {
            m_pWorkingTopology->SetCurSel(0);
            // The new current layer is selected in the tree too, so that the tree always
            // shows which layer the next command works on.
            if (m_pLayerTree != nullptr)
            {
                m_pLayerTree->SelectLayer(m_pWorkingTopology->GetSelectedData());
            }
        }
    }
    else
    {
        m_hasLayers = !m_layers.empty();
    }
    if (m_pView != nullptr)
    {
        m_pView->OnLayerDeleted(layer);
        m_pView->SetRedrawNeeded(true);
        m_pView->Invalidate();
    }
}

void COrvistaDoc::OnZoomToCurrent()
{
    RunGuarded(m_platform, Unit, __LINE__,
               [this]
               {
                   const DisplayLayer* pLayer = GetTreeSelection();
                   if (pLayer != nullptr && m_pView != nullptr)
                   {
                       m_pView->ZoomToRectangle(pLayer->GetPolygonLayer()->GetBounds());
                   }
               });
}

bool COrvistaDoc::TreeSelectionHasPolygons() const
{
    const DisplayLayer* pLayer = GetTreeSelection();
    return pLayer != nullptr && pLayer->GetPolygonLayer()->GetPolygonCount() > 0;
}

int COrvistaDoc::CountLayersWithOnePolygon() const
{
    return static_cast<int>(std::count_if(
        m_layers.begin(), m_layers.end(),
        [](const auto& layer) { return layer->GetPolygonLayer()->GetPolygonCount() == 1; }));
}

bool COrvistaDoc::OnCommand(int id)
{
    using namespace CommandId;
    switch (id)
    {
    case FileNew:
        OnNewTopology();
        return true;
    case FileOpen:
        OnOpenLayer();
        return true;
    case FileExportLayer:
    case FileSaveAs:
        OnExportLayer();
        return true;
    case DeleteSelectedLayer:
        OnDeleteSelectedLayer();
        return true;
    case ZoomToCurrent:
        OnZoomToCurrent();
        return true;
    case LayerPrecision:
        OnLayerPrecision();
        return true;
    case UniteAllPolygons:
        if (m_hasLayers && m_pView != nullptr)
        {
            m_pView->OnUniteAllPolygons();
        }
        return true;
    case UniteTwoLayers:
    case IntersectLayers:
    case SubtractLayers:
    case JoinLayers:
        if (m_pView != nullptr)
        {
            m_pView->OnLayerOperation(id);
        }
        return true;
    default:
        return false;
    }
}

bool COrvistaDoc::OnUpdateCommand(int id, CommandState& state)
{
    using namespace CommandId;
    switch (id)
    {
    case FileNew:
    case FileOpen:
        state.Enabled = true;
        return true;
    case DeleteSelectedLayer:
        state.Enabled = GetTreeSelection() != nullptr;
        return true;
    case LayerPrecision:
        state.Enabled = !m_layers.empty();
        return true;
    case FileExportLayer:
    case FileSaveAs:
        state.Enabled = !m_layers.empty();
        return true;
    case ZoomToCurrent:
    case UniteAllPolygons:
        state.Enabled = TreeSelectionHasPolygons();
        return true;
    case UniteTwoLayers:
        state.Enabled = CountLayersWithOnePolygon() > 1;
        return true;
    case IntersectLayers:
    case SubtractLayers:
    case JoinLayers:
        state.Enabled = m_layers.size() > 1;
        return true;
    default:
        return false;
    }
}

} // namespace Orvista
