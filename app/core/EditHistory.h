#pragma once

#include "Arealis/Point.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Arealis
{
class Polygon;
class PolygonLayer;
class Topology;
} // namespace Arealis

namespace Orvista
{

class DisplayLayer;

// Undo and Redo of the user's edits: node moves, created polygons and rings, deleted polygons
// and the results of the Boolean polygon operations. Each action remembers the polygons it
// changes as they were before it; undoing one swaps that shape with the polygons' present
// one, so that redoing it is the same swap. Shapes are the rings' points: inside a topology
// one node stands at each point, so putting the points back brings back the same shared
// nodes with the same reference counts.
//
// A polygon that an undo deletes and a redo creates again is a new object; the actions refer
// to polygons through handles that follow it.
class EditHistory
{
public:
    // What an action refers to: the polygon while it exists, null while it does not.
    struct PolygonHandle
    {
        Arealis::Polygon* pPolygon = nullptr;
        DisplayLayer* pLayer = nullptr;
        Arealis::PolygonLayer* pPolygonLayer = nullptr;
    };
    using Handle = std::shared_ptr<PolygonHandle>;

    // A polygon as an action left it: the points of its rings in the polygon's order, its
    // parents, and whether it was committed.
    struct PolygonShape
    {
        std::vector<std::vector<Arealis::Point>> Rings;
        std::vector<Handle> Parents;
        bool Committed = false;
        std::optional<std::int64_t> Record; // of the file the polygon was read from

    };

    struct Action;
    // The shapes of polygons about to change, taken before a change that may still be
    // refused; Record makes it an action once the change succeeded.
    class PendingChange
    {
    public:
        PendingChange(PendingChange&&) noexcept;
        PendingChange& operator=(PendingChange&&) noexcept;
        ~PendingChange();

    private:
        friend class EditHistory;
        PendingChange();
        std::unique_ptr<Action> m_action;
    };

    // The polygons are about to change (a node move, a new ring): their present shapes.
    PendingChange PrepareChange(DisplayLayer& layer,
                                const std::vector<Arealis::Polygon*>& polygons, std::string name);
    void Record(PendingChange change);
    // The polygon has just been made (a new polygon, a Boolean result): undoing deletes it.
    void RecordCreated(DisplayLayer& layer, Arealis::Polygon& polygon, std::string name);
    // Deletes the polygon from its layer so that Undo can bring it back. Refused (the
    // library's exception, nothing changed) for a polygon that is a parent of another.
    void DeletePolygon(DisplayLayer& layer, Arealis::Polygon& polygon);

    // Commits the topology through commit (which may throw; the exception passes on). The
    // commit cleans the rings of edited polygons (repeated nodes, spikes, self-intersections
    // cut into rings); what it changes belongs to the last action, of whichever layer, so that
    // undoing that action brings those polygons back as they were before it and redoing it
    // brings the cleaned ones back.
    void Commit(const Arealis::Topology& topology, const std::function<void()>& commit);

    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    // The name of the action that Undo or Redo would take back or do again; empty for none.
    std::string UndoName() const;
    std::string RedoName() const;
    // Takes back the last action, or does again the last one taken back; returns the
    // polygon the action leaves behind (to select), null when it leaves none. When the
    // library refuses (a polygon to delete is a parent), the exception passes on and nothing
    // has changed.
    Arealis::Polygon* Undo();
    Arealis::Polygon* Redo();

    // The layer is going: its actions are dropped, and the polygons it held count as gone
    // where other actions name them as parents.
    void ForgetLayer(const DisplayLayer& layer);
    // Whether an action that Undo could take back changed the layer.
    bool HasEditsOf(const DisplayLayer& layer) const;
    // How the layer of a parent in another layer is found (the document's layers), so that
    // undoing and redoing a result of polygons of several layers keeps all its parents.
    // Without it only parents of the result's own layer are kept.
    using LayerLookup = std::function<DisplayLayer*(const Arealis::PolygonLayer&)>;
    void SetLayerLookup(LayerLookup lookup) { m_layerLookup = std::move(lookup); }
    void Clear();

    struct Entry
    {
        Handle Polygon;
        std::optional<PolygonShape> Shape; // none: the polygon does not exist in that state
    };
    struct Action
    {
        std::string Name;
        DisplayLayer* pLayer = nullptr;
        std::vector<Entry> Entries;
    };

private:

    Handle HandleOf(DisplayLayer& layer, Arealis::Polygon& polygon);
    // A layer of the topology that an action refers to; null when none does.
    DisplayLayer* LayerOf(const Arealis::Topology& topology) const;
    PolygonShape CaptureShape(Arealis::Polygon& polygon);
    // Swaps each entry's shape with the polygon's present one; returns the polygon of the
    // first entry that exists afterwards.
    Arealis::Polygon* Swap(Action& action);
    void Push(Action action);

    std::vector<Action> m_undo;
    std::vector<Action> m_redo;
    std::unordered_map<const Arealis::Polygon*, std::weak_ptr<PolygonHandle>> m_handles;
    LayerLookup m_layerLookup;
};

} // namespace Orvista
