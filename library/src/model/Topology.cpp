#include "Arealis/Topology.h"

#include "Arealis/Geometry.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"
#include "model/TopologyRegistry.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "Topology";
constexpr int NodeBoundsNullLine = 68;
constexpr int NodeBoundsTopologyLine = 70;
constexpr int FindNodeToleranceLine = 84;
constexpr int MoveNodeNullLine = 134;
constexpr int MoveNodeTopologyLine = 136;
constexpr int MoveNodeUsedLine = 147;
constexpr int CommitInvalidLine = 186;
constexpr int CommitOverlapLine = 189;
constexpr int CreateFullLine = 216;
constexpr int DeleteNullLine = 222;
constexpr int DeleteForeignParentsLine = 225;

// A ring position that refers to a node.
struct VertexSlot
{
    Ring* Target;
    std::int32_t Index;
};

} // namespace

struct TopologyState
{
    explicit TopologyState(std::uint8_t id) : Nodes(id), Id(id) {}

    ~TopologyState() = default;

    void DestroyLayers() noexcept
    {
        // Parents collections may name polygons of other layers of this topology: release all
        // of them before the first layer goes. The layers go before the nodes they use.
        for (const auto& layer : Layers)
        {
            layer->ClearAllParents();
        }
        Nodes.BeginTeardown();
        Layers.clear();
    }

    TopologyState(const TopologyState&) = delete;
    TopologyState& operator=(const TopologyState&) = delete;

    NodeSet Nodes;
    std::vector<std::unique_ptr<PolygonLayer>> Layers;
    std::uint8_t Id;
    std::int32_t ForeignParentCount = 0;
    Arealis::Precision Precision;
    std::int32_t LayerThreads = 0;
};

// --- Registry and lifetime ------------------------------------------------------------------

Topology::Topology(std::uint8_t id) : m_state(std::make_unique<TopologyState>(id)) {}

Topology::~Topology()
{
    // The polygons reach the node set through this handle while they release their nodes.
    m_state->DestroyLayers();
}

Topology* Topology::Create()
{
    const std::uint8_t id = TopologyRegistry::FindFreeSlot();
    if (id == TopologyRegistry::NoSlot)
    {
        throw Exceptions::InvalidOperationException(Exceptions::Messages::TooManyTopologies,
                                                    Exceptions::MakeLocation(Unit, CreateFullLine));
    }
    // Handles are made and destroyed only here and in Delete.
    auto* topology = new Topology(id);
    TopologyRegistry::Register(id, topology);
    return topology;
}

void Topology::Delete(Topology* pTopology)
{
    if (pTopology == nullptr)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                            Exceptions::MakeLocation(Unit, DeleteNullLine));
    }
    if (pTopology->m_state->ForeignParentCount != 0)
    {
        throw Exceptions::InvalidOperationException(
            Exceptions::Messages::TopologyHasForeignParents,
            Exceptions::MakeLocation(Unit, DeleteForeignParentsLine));
    }
    const std::uint8_t id = pTopology->m_state->Id;
    delete pTopology;
    TopologyRegistry::Unregister(id);
}

Topology* Topology::FromId(std::uint8_t id) noexcept
{
    return TopologyRegistry::Get(id);
}

const Precision& Topology::GetPrecision() const noexcept
{
    return m_state->Precision;
}

void Topology::SetPrecision(const Precision& precision)
{
    CheckPrecision(precision);
    if (precision.GridStep != m_state->Precision.GridStep && m_state->Nodes.Count() != 0)
    {
        throw Exceptions::InvalidOperationException(
            "The node grid of a topology that holds nodes cannot change.",
            Exceptions::MakeLocation(Unit, __LINE__));
    }
    m_state->Precision = precision;
    m_state->Nodes.SetGridStep(precision.GridStep);
}

// --- Layers ---------------------------------------------------------------------------------

PolygonLayer* Topology::CreatePolygonLayer(bool allowOverlap)
{
    m_state->Layers.push_back(std::make_unique<PolygonLayer>(this, allowOverlap));
    return m_state->Layers.back().get();
}

void Topology::AdoptLayer(Topology& other, PolygonLayer* pLayer)
{
    TopologyState& from = *other.m_state;
    if (pLayer == nullptr || &other == this || from.Layers.size() != 1 ||
        from.Layers.front().get() != pLayer || from.Precision != m_state->Precision ||
        from.ForeignParentCount != 0 || pLayer->GetForeignParentUses() != 0 ||
        pLayer->RecordsParents())
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidArgument,
                                            Exceptions::MakeLocation(Unit, __LINE__));
    }
    m_state->Layers.reserve(m_state->Layers.size() + 1);
    // The polygons are known before the nodes are joined: the replacement below must not
    // allocate.
    std::vector<Polygon*> polygons;
    polygons.reserve(static_cast<std::size_t>(pLayer->GetPolygonCount()));
    for (PolygonEnumerator it = pLayer->GetPolygons(); it.MoveNext();)
    {
        polygons.push_back(it.Current());
    }
    m_state->Nodes.Absorb(from.Nodes,
                          [&polygons](std::span<const std::pair<Node*, Node*>> stored) noexcept
                          { ReplaceNodes(polygons, stored); });
    m_state->Layers.push_back(std::move(from.Layers.front()));
    from.Layers.clear();
    pLayer->MoveToTopology(this);
}

void Topology::ReplaceNodes(std::span<Polygon* const> polygons,
                            std::span<const std::pair<Node*, Node*>> stored) noexcept
{
    if (stored.empty())
    {
        return;
    }
    // A node left out is marked by a topology id of 0 (see NodeSet::ReplaceNodes): only those
    // are looked up.
    const auto storedFor = [stored](Node* pNode)
    {
        const auto at = std::lower_bound(stored.begin(), stored.end(), pNode,
                                         [](const std::pair<Node*, Node*>& pair, const Node* pKey)
                                         { return std::less<const Node*>()(pair.first, pKey); });
        return at->second;
    };
    for (Polygon* pPolygon : polygons)
    {
        Ring* first = pPolygon->GetFirstRing();
        Ring* ring = first;
        while (ring != nullptr)
        {
            for (std::int32_t i = 0; i < ring->m_nodes.Count(); ++i)
            {
                Node*& slot = ring->m_nodes[i];
                if (slot->TopologyId == 0)
                {
                    slot = storedFor(slot);
                }
            }
            ring = ring->m_next == first ? nullptr : ring->m_next;
        }
    }
}

std::int32_t Topology::GetLayerCount() const
{
    return static_cast<std::int32_t>(m_state->Layers.size());
}

PolygonLayer* Topology::GetLayer(std::int32_t i) const
{
    if (i < 0 || i >= GetLayerCount())
    {
        throw Exceptions::ArgumentOutOfRangeException();
    }
    return m_state->Layers[static_cast<std::size_t>(i)].get();
}

void Topology::SetLayerThreads(std::int32_t nThreads)
{
    if (nThreads < 0)
    {
        throw Exceptions::ArgumentOutOfRangeException();
    }
    m_state->LayerThreads = nThreads;
}

std::int32_t Topology::GetLayerThreads() const
{
    return m_state->LayerThreads;
}

unsigned Topology::ResolveLayerThreads(std::int32_t nThreads) noexcept
{
    return Parallel::ResolveThreadCount(nThreads);
}

// --- Geometry and nodes ---------------------------------------------------------------------

void Topology::CheckNode(const Node* pNode, int nullLine, int topologyLine) const
{
    if (pNode == nullptr)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                            Exceptions::MakeLocation(Unit, nullLine));
    }
    if (pNode->TopologyId != m_state->Id)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::NodeOfOtherTopology,
                                            Exceptions::MakeLocation(Unit, topologyLine));
    }
}

Rectangle Topology::GetBounds() const
{
    Rectangle bounds;
    for (const auto& layer : m_state->Layers)
    {
        bounds.Extend(layer->GetBounds());
    }
    return bounds;
}

Rectangle Topology::GetNodeBounds(Node* pNode) const
{
    CheckNode(pNode, NodeBoundsNullLine, NodeBoundsTopologyLine);
    Rectangle bounds;
    for (const auto& layer : m_state->Layers)
    {
        bounds.Extend(layer->GetNodeBounds(pNode));
    }
    return bounds;
}

Node* Topology::FindNode(const Point& point, double dToleranceDistance) const
{
    CheckTolerance(dToleranceDistance, Unit, FindNodeToleranceLine);
    CheckFinite(point, Unit, __LINE__);
    Collections::PlainArray<Node*> candidates;
    m_state->Nodes.FindNodes(Rectangle::InflatedAround(point, dToleranceDistance), candidates);
    double best = dToleranceDistance * dToleranceDistance;
    Node* chosen = nullptr;
    for (Node* candidate : candidates)
    {
        const double d = SquaredDistance(point, candidate->Position);
        if (d < best || (chosen == nullptr && d == best))
        {
            best = d;
            chosen = candidate;
        }
    }
    return chosen;
}

Node* Topology::MoveNode(Node* pNode, const Point& point)
{
    CheckNode(pNode, MoveNodeNullLine, MoveNodeTopologyLine);
    CheckFinite(point, Unit, __LINE__);
    Collections::PlainArray<Polygon*> polygons;
    for (const auto& layer : m_state->Layers)
    {
        layer->CollectPolygonsUsingNode(pNode, polygons);
    }
    for (const Polygon* polygon : polygons)
    {
        if (polygon->IsUsed())
        {
            throw Exceptions::InvalidOperationException(
                Exceptions::Messages::NodeOfParentPolygon,
                Exceptions::MakeLocation(Unit, MoveNodeUsedLine));
        }
    }
    // Every vertex slot that refers to the node, found while the rings' cached bounds still
    // describe the node's old position (a ring skips nodes outside its cached bounds).
    std::vector<VertexSlot> slots;
    for (Polygon* polygon : polygons)
    {
        RingEnumerator rings = polygon->GetRings();
        while (rings.MoveNext())
        {
            Ring* ring = rings.Current();
            for (std::int32_t i = 0; i < ring->Count(); ++i)
            {
                if (ring->GetNode(i) == pNode)
                {
                    slots.push_back(VertexSlot{ring, i});
                }
            }
        }
    }
    for (Polygon* polygon : polygons)
    {
        polygon->RemoveFromIndex();
    }
    Node* result = m_state->Nodes.MoveNode(pNode, point);
    // Setting a slot to the node it already holds still drops the ring's cached values. When
    // the node merged into another, the moved node loses its last reference here.
    for (const VertexSlot& slot : slots)
    {
        slot.Target->SetNode(slot.Index, result);
    }
    return result;
}

void Topology::Commit()
{
    bool invalidSeen = false;
    bool overlapSeen = false;
    for (const auto& layer : m_state->Layers)
    {
        try
        {
            layer->Commit();
        }
        catch (const InvalidPolygonException&)
        {
            invalidSeen = true;
        }
        catch (const PolygonsOverlapException&)
        {
            overlapSeen = true;
        }
    }
    if (invalidSeen)
    {
        throw InvalidPolygonException(Exceptions::Messages::TopologyHasInvalidPolygons,
                                      Exceptions::MakeLocation(Unit, CommitInvalidLine));
    }
    if (overlapSeen)
    {
        throw PolygonsOverlapException(Exceptions::Messages::TopologyHasOverlappingPolygons,
                                       Exceptions::MakeLocation(Unit, CommitOverlapLine));
    }
}

std::uint8_t Topology::GetId() const
{
    return m_state->Id;
}

NodeSet& Topology::GetNodeSet()
{
    return m_state->Nodes;
}

const NodeSet& Topology::GetNodeSet() const
{
    return m_state->Nodes;
}

std::int32_t Topology::GetForeignParentCount() const
{
    return m_state->ForeignParentCount;
}

void Topology::AddForeignParentUse()
{
    ++m_state->ForeignParentCount;
}

void Topology::ReleaseForeignParentUse()
{
    --m_state->ForeignParentCount;
}

} // namespace Arealis
