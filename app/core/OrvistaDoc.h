#pragma once

#include "CommandRouting.h"
#include "EditHistory.h"
#include "Arealis/Precision.h"
#include "LayerReader.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Arealis
{
class PolygonLayer;
class Topology;
} // namespace Arealis

namespace Orvista
{

class COrvistaView;
class CTopologyTreeView;
class DisplayLayer;
class IComboList;
class ILayerReader;
class IPlatform;

// The document: every layer the user loaded or made, in the order of creation, and the
// commands that add, delete and zoom to layers. The windows register themselves when they are
// created; the Working Topology list of the main frame holds the layers with the current one
// selected.
class COrvistaDoc final : public ICommandTarget
{
public:
    // The filter of the Open Layer dialog.
    static constexpr const char* LayerFileFilter = LayerFileReader::Filter;

    COrvistaDoc(IPlatform& platform, ILayerReader& reader);
    // Deletes the layers with their topologies.
    ~COrvistaDoc() override;

    COrvistaDoc(const COrvistaDoc&) = delete;
    COrvistaDoc& operator=(const COrvistaDoc&) = delete;

    // --- The windows ------------------------------------------------------------------------

    void SetView(COrvistaView* pView) { m_pView = pView; }
    void SetLayerTree(CTopologyTreeView* pTree) { m_pLayerTree = pTree; }
    void SetWorkingTopologyList(IComboList* pList) { m_pWorkingTopology = pList; }
    // Called with the path of every file opened as a layer (for the recent-file list).
    void SetFileOpenedHandler(std::function<void(const std::string&)> handler)
    {
        m_fileOpened = std::move(handler);
    }

    COrvistaView* GetView() const { return m_pView; }
    CTopologyTreeView* GetLayerTree() const { return m_pLayerTree; }
    IComboList* GetWorkingTopologyList() const { return m_pWorkingTopology; }
    IPlatform& GetPlatform() const { return m_platform; }

    // --- Layers -----------------------------------------------------------------------------

    const std::vector<std::unique_ptr<DisplayLayer>>& GetLayers() const { return m_layers; }
    std::vector<DisplayLayer*> GetLayerPointers() const;
    // Appends a layer to the list; the document owns it from now on.
    DisplayLayer& AddLayer(std::unique_ptr<DisplayLayer> layer);
    // True while at least one layer exists; most commands do nothing otherwise.
    bool HasLayers() const { return m_hasLayers; }
    void SetHasLayers(bool hasLayers) { m_hasLayers = hasLayers; }
    // The number the next "Topology #%d" gets.
    int GetTopologyCounter() const { return m_topologyCounter; }

    // The layer selected in the layer tree (which the Working Topology list then follows), or
    // else the one selected in the Working Topology list; null when neither has one.
    DisplayLayer* GetCurrentLayer();
    // Makes the layer current: it is selected in the layer tree and the Working Topology list.
    void MakeCurrentLayer(DisplayLayer& layer);
    Arealis::Topology* GetCurrentTopology();
    Arealis::PolygonLayer* GetCurrentPolygonLayer();

    // Brings the layer tree up to date with the layer list.
    void UpdateLayerTree();

    // Undo and Redo of the edits made in the layers.
    EditHistory& GetHistory() { return m_history; }

    // --- Commands ---------------------------------------------------------------------------

    // Adds an empty layer "Topology #n".
    void OnNewTopology();
    // Asks for a shapefile and opens it as a new layer.
    void OnOpenLayer();
    // Opens the file at path as a new layer (Open Layer after the dialog); a GeoPackage of
    // several polygon tables asks which. False when it was refused, cancelled or failed.
    bool OpenLayerFile(const std::string& path);
    // Writes the layer selected in the tree (else the current one) to a file the user names.
    void OnExportLayer();
    // Deletes the layer selected in the layer tree.
    void OnDeleteSelectedLayer();
    // Asks for the node grid and tolerance of the selected layer and reads its file again
    // into a topology of that precision, put in place of the old one (same position, name
    // and colours). Refuses with a message a layer that has no file, and asks before one with
    // edits is read again (they are lost).
    void OnLayerPrecision();
    // Zooms the drawing view to the layer selected in the layer tree.
    void OnZoomToCurrent();

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, CommandState& state) override;

private:
    bool IsOpen(const std::string& name) const;
    // Inserts the layer at the top of the Working Topology list and makes it current; false
    // when the list refuses the entry.
    bool InsertIntoWorkingTopology(DisplayLayer& layer);
    void ReadNewLayer(const std::string& path);
    // Whether the layer may be read again: it has a file, and its edits (if any) may go,
    // which the user is asked. Says why not.
    bool MayReRead(const DisplayLayer& layer);
    // Reads the layer's file again with the precision and swaps the result into the layer;
    // refuses values the library does not accept. False when nothing changed.
    bool ReplaceByReRead(DisplayLayer& layer, const Arealis::Precision& precision);
    // A new layer read from path into a topology of the precision given, or else of the
    // defaults for the file's reference system (degrees for a geographic one, said in the
    // status bar). Throws CommandAbandoned when the read failed (the reader has told).
    std::unique_ptr<DisplayLayer> ReadLayer(const std::string& path,
                                            const std::optional<Arealis::Precision>& precision);
    // The source to read for path: path itself, or "path:table" for a GeoPackage of several
    // polygon tables after the user chose one; nothing when the user cancelled.
    std::optional<std::string> ChooseSource(const std::string& path);
    // Whether a visible layer other than except has a polygon in the view's visible rectangle.
    bool ViewShowsPolygons(const DisplayLayer& except) const;
    void DeleteLayer(DisplayLayer& layer);
    void DeleteAllLayers() noexcept;
    DisplayLayer* GetTreeSelection() const;
    bool TreeSelectionHasPolygons() const;
    int CountLayersWithOnePolygon() const;

    IPlatform& m_platform;
    ILayerReader& m_reader;
    std::vector<std::unique_ptr<DisplayLayer>> m_layers;
    int m_topologyCounter = 0;
    bool m_hasLayers = false;
    COrvistaView* m_pView = nullptr;
    CTopologyTreeView* m_pLayerTree = nullptr;
    IComboList* m_pWorkingTopology = nullptr;
    std::function<void(const std::string&)> m_fileOpened;
    EditHistory m_history;
};

} // namespace Orvista
