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
    // Parents of the same layer only: a polygon of another topology may be deleted with its
    // layer while the history still names it.
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
        if (parents.Current()->GetLayer() == pLayer)
        {
            shape.Parents.push_back(HandleOf(*pDisplay, *parents.Current()));
        }
    }
    shape.Committed = !polygon.IsEditing();
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
    m_handles.erase(&polygon);
    handle->pPolygon = nullptr;
    Push(Action{"Delete polygon", &layer, {Entry{handle, std::move(shape)}}});
}

Arealis::Polygon* EditHistory::Swap(Action& action)
{
    if (action.Entries.empty())
    {
        return nullptr;
    }
    // Refused before anything changes: a parent may be neither deleted nor replaced.
    for (const Entry& entry : action.Entries)
    {
        if (entry.Polygon->pPolygon != nullptr && entry.Polygon->pPolygon->IsUsed())
        {
            throw Exceptions::InvalidOperationException(
                Exceptions::Messages::PolygonIsParent,
                Exceptions::MakeLocation("EditHistory", __LINE__));
        }
    }
    // Every polygon of an action belongs to one topology.
    HeldNodes held(action.Entries.front().Polygon->pPolygonLayer->GetTopology()->GetNodeSet());
    std::vector<std::optional<PolygonShape>> present;
    for (const Entry& entry : action.Entries)
    {
        Arealis::Polygon* pPolygon = entry.Polygon->pPolygon;
        present.push_back(pPolygon != nullptr ? std::optional(CaptureShape(*pPolygon))
                                              : std::nullopt);
        if (pPolygon != nullptr)
        {
            held.Hold(*pPolygon);
        }
    }
    for (const Entry& entry : action.Entries)
    {
        if (Arealis::Polygon* pPolygon = entry.Polygon->pPolygon)
        {
            entry.Polygon->pPolygonLayer->DeletePolygon(pPolygon);
            m_handles.erase(pPolygon);
            entry.Polygon->pPolygon = nullptr;
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
    const auto ofLayer = [&layer](const Action& action) { return action.pLayer == &layer; };
    std::erase_if(m_undo, ofLayer);
    std::erase_if(m_redo, ofLayer);
    std::erase_if(m_handles,
                  [&layer](const auto& entry)
                  {
                      const Handle handle = entry.second.lock();
                      return !handle || handle->pLayer == &layer;
                  });
}

void EditHistory::Clear()
{
    m_undo.clear();
    m_redo.clear();
    m_handles.clear();
}

} // namespace Orvista
