#include "EditHistory.h"

#include "Arealis/Node.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"
#include "DisplayLayer.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

#include <algorithm>
#include <map>
#include <utility>

namespace Orvista
{

namespace
{

// References on nodes for as long as it lives, so that nodes which the polygons being
// replaced give up keep their records until the new polygons take them.
class HeldNodes
{
public:
    explicit HeldNodes(Arealis::NodeSet& nodes) : m_nodes(nodes) {}
    ~HeldNodes()
    {
        for (Arealis::Node* pNode : m_held)
        {
            m_nodes.ReleaseNode(pNode);
        }
    }
    HeldNodes(const HeldNodes&) = delete;
    HeldNodes& operator=(const HeldNodes&) = delete;

    void Hold(const Arealis::Polygon& polygon)
    {
        Arealis::RingEnumerator rings = polygon.GetRings();
        while (rings.MoveNext())
        {
            for (Arealis::Node* pNode : rings.Current()->GetNodes())
            {
                m_held.push_back(pNode);
                m_nodes.AddReference(pNode);
            }
        }
    }

private:
    Arealis::NodeSet& m_nodes;
    std::vector<Arealis::Node*> m_held;
};

} // namespace

EditHistory::Handle EditHistory::HandleOf(DisplayLayer& layer, Arealis::Polygon& polygon)
{
    const auto found = m_handles.find(&polygon);
    if (found != m_handles.end())
    {
        if (Handle handle = found->second.lock(); handle && handle->pPolygon == &polygon)
        {
            return handle;
        }
    }
    auto handle =
        std::make_shared<PolygonHandle>(PolygonHandle{&polygon, &layer, polygon.GetLayer()});
    m_handles[&polygon] = handle;
    return handle;
}

EditHistory::PolygonShape EditHistory::CaptureShape(Arealis::Polygon& polygon)
{
    PolygonShape shape;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        std::vector<Arealis::Point>& points = shape.Rings.emplace_back();
        for (const Arealis::Node* pNode : rings.Current()->GetNodes())
        {
            points.push_back(pNode->Position);
        }
    }
    // Parents of another layer only when that layer is known: ForgetLayer then marks its
    // polygons gone when it is deleted while the history still names them.
    Arealis::PolygonLayer* pLayer = polygon.GetLayer();
    const auto found = m_handles.find(&polygon);
    DisplayLayer* pDisplay = nullptr;
    if (found != m_handles.end())
    {
        if (const Handle handle = found->second.lock())
        {
            pDisplay = handle->pLayer;
        }
    }
    Arealis::PolygonEnumerator parents = pLayer->GetParents(&polygon);
    while (pDisplay != nullptr && parents.MoveNext())
    {
        Arealis::Polygon& parent = *parents.Current();
        DisplayLayer* pParentLayer = parent.GetLayer() == pLayer ? pDisplay
                                     : m_layerLookup ? m_layerLookup(*parent.GetLayer())
                                                     : nullptr;
        if (pParentLayer != nullptr)
        {
            shape.Parents.push_back(HandleOf(*pParentLayer, parent));
        }
    }
    shape.Committed = !polygon.IsEditing();
    shape.Record = pDisplay != nullptr ? pDisplay->RecordOf(&polygon) : std::nullopt;
    return shape;
}

void EditHistory::Push(Action action)
{
    m_undo.push_back(std::move(action));
    m_redo.clear();
}

EditHistory::PendingChange::PendingChange() : m_action(std::make_unique<Action>()) {}
EditHistory::PendingChange::PendingChange(PendingChange&&) noexcept = default;
EditHistory::PendingChange& EditHistory::PendingChange::operator=(PendingChange&&) noexcept =
    default;
EditHistory::PendingChange::~PendingChange() = default;

EditHistory::PendingChange EditHistory::PrepareChange(
    DisplayLayer& layer, const std::vector<Arealis::Polygon*>& polygons, std::string name)
{
    PendingChange change;
    change.m_action->Name = std::move(name);
    change.m_action->pLayer = &layer;
    for (Arealis::Polygon* pPolygon : polygons)
    {
        const Handle handle = HandleOf(layer, *pPolygon);
        change.m_action->Entries.push_back({handle, CaptureShape(*pPolygon)});
    }
    return change;
}

void EditHistory::Record(PendingChange change)
{
    Push(std::move(*change.m_action));
}

void EditHistory::RecordCreated(DisplayLayer& layer, Arealis::Polygon& polygon, std::string name)
{
    Push(Action{std::move(name), &layer, {Entry{HandleOf(layer, polygon), std::nullopt}}});
}

void EditHistory::DeletePolygon(DisplayLayer& layer, Arealis::Polygon& polygon)
{
    const Handle handle = HandleOf(layer, polygon);
    PolygonShape shape = CaptureShape(polygon);
    polygon.GetLayer()->DeletePolygon(&polygon);
    layer.ForgetRecord(&polygon);
    m_handles.erase(&polygon);
    handle->pPolygon = nullptr;
    Push(Action{"Delete polygon", &layer, {Entry{handle, std::move(shape)}}});
}

DisplayLayer* EditHistory::LayerOf(const Arealis::Topology& topology) const
{
    for (const auto& [pPolygon, weak] : m_handles)
    {
        if (const Handle handle = weak.lock();
            handle && handle->pLayer != nullptr && handle->pLayer->GetTopology() == &topology)
        {
            return handle->pLayer;
        }
    }
    return nullptr;
}

void EditHistory::Commit(const Arealis::Topology& topology, const std::function<void()>& commit)
{
    // Only polygons that an action refers to can have been edited by one.
    DisplayLayer* pLayer = m_undo.empty() ? nullptr : LayerOf(topology);
    if (pLayer == nullptr)
    {
        commit();
        return;
    }
    // The edited polygons that the last action left alone are, as they are now, as they were
    // before it. The last action may belong to another layer: undoing it must still bring
    // back the state before it, so what this commit cleans goes with it.
    Action& last = m_undo.back();
    std::vector<std::pair<Arealis::Polygon*, PolygonShape>> edited;
    Arealis::PolygonEnumerator polygons = pLayer->GetPolygonLayer()->GetPolygons();
    while (polygons.MoveNext())
    {
        Arealis::Polygon* pPolygon = polygons.Current();
        const bool listed = std::any_of(last.Entries.begin(), last.Entries.end(),
                                        [pPolygon](const Entry& entry)
                                        { return entry.Polygon->pPolygon == pPolygon; });
        if (pPolygon->IsEditing() && !listed)
        {
            edited.emplace_back(pPolygon, CaptureShape(*pPolygon));
        }
    }
    const auto fold = [this, &last, &edited, pLayer]
    {
        for (auto& [pPolygon, shape] : edited)
        {
            if (CaptureShape(*pPolygon).Rings != shape.Rings)
            {
                last.Entries.push_back({HandleOf(*pLayer, *pPolygon), std::move(shape)});
            }
        }
    };
    try
    {
        commit();
    }
    catch (...)
    {
        fold();
        throw;
    }
    fold();
}

Arealis::Polygon* EditHistory::Swap(Action& action)
{
    if (action.Entries.empty())
    {
        return nullptr;
    }
    // Refused before anything changes: a parent may be neither deleted nor replaced, unless
    // the polygons naming it are deleted by this action too (they go first).
    std::unordered_map<const Arealis::Polygon*, int> usesGoing;
    for (const Entry& entry : action.Entries)
    {
        Arealis::Polygon* pPolygon = entry.Polygon->pPolygon;
        if (pPolygon != nullptr && !entry.Shape)
        {
            Arealis::PolygonEnumerator parents =
                entry.Polygon->pPolygonLayer->GetParents(pPolygon);
            while (parents.MoveNext())
            {
                ++usesGoing[parents.Current()];
            }
        }
    }
    for (const Entry& entry : action.Entries)
    {
        const Arealis::Polygon* pPolygon = entry.Polygon->pPolygon;
        if (pPolygon != nullptr && pPolygon->IsUsed() &&
            (pPolygon->HasPolygonFlag(Arealis::Polygon::PolygonFlags::CountOverflow) ||
             pPolygon->GetUseCount() > usesGoing[pPolygon]))
        {
            throw Exceptions::InvalidOperationException(
                Exceptions::Messages::PolygonIsParent,
                Exceptions::MakeLocation("EditHistory", __LINE__));
        }
    }
    // An action may hold the polygons of several topologies (what a commit of another layer
    // cleaned goes with the last action): the nodes are held in each one's node set.
    std::map<Arealis::NodeSet*, HeldNodes> held;
    std::vector<std::optional<PolygonShape>> present;
    for (const Entry& entry : action.Entries)
    {
        Arealis::Polygon* pPolygon = entry.Polygon->pPolygon;
        present.push_back(pPolygon != nullptr ? std::optional(CaptureShape(*pPolygon))
                                              : std::nullopt);
        if (pPolygon != nullptr)
        {
            Arealis::NodeSet& nodes = entry.Polygon->pPolygonLayer->GetTopology()->GetNodeSet();
            held.try_emplace(&nodes, nodes).first->second.Hold(*pPolygon);
        }
    }
    // The polygons that go first, so that their parents are free to be replaced.
    for (const bool going : {true, false})
    {
        for (const Entry& entry : action.Entries)
        {
            Arealis::Polygon* pPolygon = entry.Polygon->pPolygon;
            if (pPolygon != nullptr && going == !entry.Shape)
            {
                entry.Polygon->pPolygonLayer->DeletePolygon(pPolygon);
                entry.Polygon->pLayer->ForgetRecord(pPolygon);
                m_handles.erase(pPolygon);
                entry.Polygon->pPolygon = nullptr;
            }
        }
    }
    for (const Entry& entry : action.Entries)
    {
        if (!entry.Shape)
        {
            continue;
        }
        Arealis::Polygon* pPolygon = entry.Polygon->pPolygonLayer->CreatePolygon();
        for (const std::vector<Arealis::Point>& points : entry.Shape->Rings)
        {
            pPolygon->CreateRing()->AddNodes(points);
        }
        entry.Polygon->pPolygon = pPolygon;
        m_handles[pPolygon] = entry.Polygon;
        if (entry.Shape->Record)
        {
            entry.Polygon->pLayer->SetRecord(pPolygon, *entry.Shape->Record);
        }
    }
    // Parents and commits once every polygon of the action exists again.
    Arealis::Polygon* pLeft = nullptr;
    for (const Entry& entry : action.Entries)
    {
        Arealis::Polygon* pPolygon = entry.Polygon->pPolygon;
        if (!entry.Shape || pPolygon == nullptr)
        {
            continue;
        }
        pLeft = pLeft != nullptr ? pLeft : pPolygon;
        Arealis::PolygonLayer* pLayer = entry.Polygon->pPolygonLayer;
        Collections::PlainArray<Arealis::Polygon*> parents;
        for (const Handle& parent : entry.Shape->Parents)
        {
            if (parent->pPolygon != nullptr)
            {
                parents.Append(parent->pPolygon);
            }
        }
        if (parents.Count() > 0)
        {
            pLayer->SetParents(pPolygon, parents);
        }
        if (entry.Shape->Committed)
        {
            try
            {
                pLayer->EndEdit(pPolygon);
            }
            catch (const Exceptions::Exception&) // NOLINT(bugprone-empty-catch)
            {
                // It was committed in this shape before; should the commit fail now, the
                // polygon waits in the edit list for the next one.
            }
        }
    }
    for (std::size_t i = 0; i < action.Entries.size(); ++i)
    {
        action.Entries[i].Shape = std::move(present[i]);
    }
    return pLeft;
}

Arealis::Polygon* EditHistory::Undo()
{
    if (m_undo.empty())
    {
        return nullptr;
    }
    Arealis::Polygon* pLeft = Swap(m_undo.back());
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    return pLeft;
}

Arealis::Polygon* EditHistory::Redo()
{
    if (m_redo.empty())
    {
        return nullptr;
    }
    Arealis::Polygon* pLeft = Swap(m_redo.back());
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    return pLeft;
}

std::string EditHistory::UndoName() const
{
    return m_undo.empty() ? std::string() : m_undo.back().Name;
}

std::string EditHistory::RedoName() const
{
    return m_redo.empty() ? std::string() : m_redo.back().Name;
}

void EditHistory::ForgetLayer(const DisplayLayer& layer)
{
    // The layer's entries go; an action keeps what it holds of other layers (what a commit
    // of theirs cleaned) and goes when nothing is left.
    for (std::vector<Action>* pActions : {&m_undo, &m_redo})
    {
        for (Action& action : *pActions)
        {
            std::erase_if(action.Entries, [&layer](const Entry& entry)
                          { return entry.Polygon->pLayer == &layer; });
            if (action.pLayer == &layer && !action.Entries.empty())
            {
                action.pLayer = action.Entries.front().Polygon->pLayer;
            }
        }
        std::erase_if(*pActions, [](const Action& action) { return action.Entries.empty(); });
    }
    std::erase_if(m_handles,
                  [&layer](const auto& entry)
                  {
                      const Handle handle = entry.second.lock();
                      if (handle && handle->pLayer == &layer)
                      {
                          handle->pPolygon = nullptr;
                      }
                      return !handle || handle->pPolygon == nullptr;
                  });
}

bool EditHistory::HasEditsOf(const DisplayLayer& layer) const
{
    return std::any_of(m_undo.begin(), m_undo.end(),
                       [&layer](const Action& action)
                       {
                           return std::any_of(action.Entries.begin(), action.Entries.end(),
                                              [&layer](const Entry& entry)
                                              { return entry.Polygon->pLayer == &layer; });
                       });
}

void EditHistory::Clear()
{
    m_undo.clear();
    m_redo.clear();
    m_handles.clear();
}

} // namespace Orvista
