#include "Arealis/NodeSet.h"

#include "Arealis/Geometry.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"
#include "model/NodePool.h"
#include "model/SortedPointRunState.h"
#include "support/PositionHash.h"

#include <algorithm>
#include <array>
#include <vector>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "NodeSet";
constexpr int NullNodeLine = 24;
constexpr int OtherTopologyLine = 26;

// Runs of SortedPointRun::WorthwhileLength points or more are looked up in index order, in
// chunks of at most KeyOrderChunk points, which bounds the working room: sorted, a chunk's new
// nodes go into each leaf of the index in one merge.
constexpr std::size_t KeyOrderChunk = std::size_t{1} << 16;
// The room of a key-order lookup of more points than this (a large polygon's) goes back after
// the lookup: a node set lives as long as its topology, and would otherwise hold about 100
// bytes a point of the largest run it ever looked up.
constexpr std::size_t KeptKeyOrderPoints = 4096;

} // namespace

NodeSet::NodeSet(std::uint8_t topologyId)
    : m_pool(std::make_unique<NodePool>()), m_recent(std::make_unique<RecentNode[]>(RecentSlots)),
      m_topologyId(topologyId)
{
}

std::size_t NodeSet::RecentSlot(const Point& position) noexcept
{
    return static_cast<std::size_t>(Detail::HashOfPosition(position)) & (RecentSlots - 1);
}

void NodeSet::ForgetRecent(const Node* pNode) noexcept
{
    RecentNode& recent = m_recent[RecentSlot(pNode->Position)];
    if (recent.pNode == pNode)
    {
        recent = RecentNode{};
    }
}

NodeSet::~NodeSet() = default;

void NodeSet::CheckNode(const Node* pNode) const
{
    if (pNode == nullptr)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                            Exceptions::MakeLocation(Unit, NullNodeLine));
    }
    if (pNode->TopologyId != m_topologyId)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::NodeOfOtherTopology,
                                            Exceptions::MakeLocation(Unit, OtherTopologyLine));
    }
}

Node* NodeSet::GetNode(const Point& point)
{
    CheckFinite(point, Unit, __LINE__);
    const Point position = SnapToNodeGrid(point, m_gridStep);
    return GetSnappedNode(position, m_recent[RecentSlot(position)]);
}

struct NodeSet::KeyOrderScratch
{
    // The run being looked up by GetNodes.
    SortedPointRun Run;
    // For each group of the run, in the index's order: its new record and its node.
    std::vector<Node*> GroupRecords;
    std::vector<Node*> GroupNodes;
};

NodeSet::KeyOrderScratch& NodeSet::KeyOrder()
{
    if (!m_keyOrder)
    {
        m_keyOrder = std::make_unique<KeyOrderScratch>();
    }
    return *m_keyOrder;
}

void NodeSet::GetNodes(std::span<const Point> points, std::span<Node*> ppNodes)
{
    if (ppNodes.size() < points.size())
    {
        throw Exceptions::ArgumentOutOfRangeException();
    }
    CheckFinite(points, Unit, __LINE__);
    std::size_t taken = 0;
    try
    {
        while (taken < points.size())
        {
            const std::size_t count = std::min(KeyOrderChunk, points.size() - taken);
            const std::span<const Point> chunk = points.subspan(taken, count);
            const std::span<Node*> out = ppNodes.subspan(taken, count);
            if (count >= SortedPointRun::WorthwhileLength && GetNodesInKeyOrder(chunk, out))
            {
                taken += count;
            }
            else
            {
                GetNodesInTurn(points.first(taken + count), ppNodes, taken);
            }
        }
    }
    catch (...)
    {
        for (std::size_t i = 0; i < taken; ++i)
        {
            ReleaseNode(ppNodes[i]);
        }
        throw;
    }
}

void NodeSet::GetNodesInTurn(std::span<const Point> points, std::span<Node*> ppNodes,
                             std::size_t& taken)
{
    // Enough lookups in flight to cover the memory latency, few enough to stay on the stack.
    constexpr std::size_t batch = 32;
    std::array<Point, batch> positions;
    std::array<std::size_t, batch> slots{};
    while (taken < points.size())
    {
        const std::size_t count = std::min(batch, points.size() - taken);
        for (std::size_t i = 0; i < count; ++i)
        {
            positions[i] = SnapToNodeGrid(points[taken + i], m_gridStep);
            slots[i] = RecentSlot(positions[i]);
            __builtin_prefetch(&m_recent[slots[i]]);
        }
        for (std::size_t i = 0; i < count; ++i)
        {
            ppNodes[taken] = GetSnappedNode(positions[i], m_recent[slots[i]]);
            ++taken;
        }
    }
}

bool NodeSet::GetNodesInKeyOrder(std::span<const Point> points, std::span<Node*> ppNodes)
{
    // The table of recent nodes is left out: it holds few of a long run's nodes, while equal
    // points meet anyway once sorted.
    SortedPointRun& run = KeyOrder().Run;
    const bool large = points.size() > KeptKeyOrderPoints;
    // Also when the lookup fails.
    struct Release
    {
        std::unique_ptr<KeyOrderScratch>* pScratch;
        ~Release()
        {
            if (pScratch != nullptr)
            {
                pScratch->reset();
            }
        }
    } const release{large ? &m_keyOrder : nullptr};
    if (!run.Prepare(points, m_gridStep))
    {
        return false;
    }
    if (large)
    {
        run.ReleaseWorkingRoom(); // the lookup reads the groups alone
    }
    GetNodes(run, ppNodes);
    return true;
}

void NodeSet::GetNodes(const SortedPointRun& run, std::span<Node*> ppNodes)
{
    if (ppNodes.size() < run.Count())
    {
        throw Exceptions::ArgumentOutOfRangeException();
    }
    if (run.Count() == 0)
    {
        return;
    }
    if (run.m_state->GridStep != m_gridStep)
    {
        throw Exceptions::ArgumentException("The run was prepared for another node grid.",
                                            Exceptions::MakeLocation(Unit, __LINE__));
    }
    KeyOrderScratch& scratch = KeyOrder();
    const SortedPointRun::State& state = *run.m_state;
    InsertInKeyOrder(state, scratch);
    // Nothing fails from here on.
    for (std::size_t i = 0; i < state.GroupOf.size(); ++i)
    {
        Node* node = scratch.GroupNodes[state.GroupOf[i]];
        ++node->ReferenceCount;
        ppNodes[i] = node;
    }
}

void NodeSet::InsertInKeyOrder(const SortedPointRun::State& run, KeyOrderScratch& scratch)
{
    const std::vector<Point>& positions = run.GroupPositions;
    std::vector<Node*>& records = scratch.GroupRecords;
    std::vector<Node*>& nodes = scratch.GroupNodes;
    records.assign(positions.size(), nullptr);
    nodes.assign(positions.size(), nullptr);
    std::size_t dealtWith = 0;
    try
    {
        ReserveSpareRecords(positions.size());
        // The record of a group, made when it has none yet.
        const auto make = [this, &records, &positions](std::size_t group)
        {
            Node*& record = records[group];
            if (record == nullptr)
            {
                record = MakeRecord(positions[group]);
            }
            return record;
        };
        if (!m_recordsOnDemand)
        {
            // Records are made in the order of the points, so that the nodes of a ring lie
            // together in the pool as they would by GetNode in turn.
            for (const std::uint32_t group : run.GroupOf)
            {
                make(group);
            }
        }
        // Otherwise the index makes them as it meets new positions, in its own order.
        // nodes[group] stays null for a group whose record went into the index.
        m_index.InsertAscendingMade(
            std::span<const Point>(positions), make,
            [&nodes](std::size_t stored, Node* existing) { nodes[stored] = existing; }, dealtWith);
    }
    catch (...)
    {
        for (std::size_t group = 0; group < records.size(); ++group)
        {
            if (records[group] == nullptr)
            {
                continue; // never made
            }
            if (group < dealtWith && nodes[group] == nullptr)
            {
                m_index.Remove(records[group]);
            }
            m_pool->Free(records[group]);
        }
        throw;
    }
    KeepSpareRecords(records, nodes);
    std::size_t found = 0;
    for (std::size_t group = 0; group < records.size(); ++group)
    {
        if (nodes[group] == nullptr)
        {
            nodes[group] = records[group];
        }
        else
        {
            ++found;
        }
    }
    // A run whose positions were mostly stored already (the vertices of a result, most of
    // them the inputs' nodes) is likely followed by more of its kind: the next run makes
    // records on demand, instead of one for every position of which most are thrown away.
    // Runs of new positions (a layer being loaded) go on making them in the points' order.
    m_recordsOnDemand = found * 4 > positions.size() * 3;
}

Node* NodeSet::MakeRecord(const Point& position)
{
    Node* record = nullptr;
    if (!m_spareRecords.empty())
    {
        record = m_spareRecords.back();
        m_spareRecords.pop_back();
    }
    else
    {
        record = m_pool->Allocate();
    }
    record->Position = position;
    record->TopologyId = m_topologyId;
    record->ReferenceCount = 0;
    return record;
}

void NodeSet::ReserveSpareRecords(std::size_t count)
{
    m_spareRecords.reserve(std::min(MaxSpareRecords, m_spareRecords.size() + count));
}

void NodeSet::KeepSpareRecords(std::span<Node* const> records,
                               std::span<Node* const> nodes) noexcept
{
    for (std::size_t group = 0; group < records.size(); ++group)
    {
        if (nodes[group] == nullptr || records[group] == nullptr)
        {
            continue; // the record went into the index, or none was made
        }
        if (m_spareRecords.size() < m_spareRecords.capacity())
        {
            m_spareRecords.push_back(records[group]); // within the reserved room
        }
        else
        {
            m_pool->Free(records[group]);
        }
    }
}

void NodeSet::ReleaseSpareRecords() noexcept
{
    for (Node* record : m_spareRecords)
    {
        m_pool->Free(record);
    }
    m_spareRecords = {};
}

Node* NodeSet::GetSnappedNode(const Point& position, RecentNode& recent)
{
    // The same test of equality as the index's order, for finite points (the only ones a
    // slot can match: a coordinate that is not a number equals nothing).
    if (recent.pNode != nullptr && recent.Position == position)
    {
        ++recent.pNode->ReferenceCount;
        return recent.pNode;
    }
    Node* record = m_pool->Allocate();
    record->Position = position;
    record->TopologyId = m_topologyId;
    record->ReferenceCount = 1;
    Node* existing = nullptr;
    bool inserted = false;
    try
    {
        inserted = m_index.Insert(record, &existing);
    }
    catch (...)
    {
        m_pool->Free(record);
        throw;
    }
    if (inserted)
    {
        recent = RecentNode{position, record};
        return record;
    }
    m_pool->Free(record);
    ++existing->ReferenceCount;
    recent = RecentNode{position, existing};
    return existing;
}

void NodeSet::AddReference(Node* pNode)
{
    CheckNode(pNode);
    // 32 bits: one reference per ring vertex slot cannot reach the limit in memory.
    ++pNode->ReferenceCount;
}

void NodeSet::ReleaseNode(Node* pNode)
{
    CheckNode(pNode);
    if (pNode->ReferenceCount == 0)
    {
        return; // already released: never wrap round to a huge count
    }
    if (--pNode->ReferenceCount > 0 || m_tearingDown)
    {
        return;
    }
    ForgetRecent(pNode);
    m_index.Remove(pNode); // identity: a node merged into another is no longer indexed
    m_pool->Free(pNode);
}

Node* NodeSet::MoveNode(Node* pNode, const Point& point)
{
    CheckNode(pNode);
    CheckFinite(point, Unit, __LINE__);
    ForgetRecent(pNode);
    m_index.Remove(pNode);
    pNode->Position = SnapToNodeGrid(point, m_gridStep);
    Node* existing = nullptr;
    if (!m_index.Insert(pNode, &existing))
    {
        return existing;
    }
    return pNode;
}

void NodeSet::FindNodes(const Rectangle& rect, Collections::PlainArray<Node*>& result) const
{
    if (rect.IsEmpty())
    {
        return;
    }
    m_index.VisitFrom(Point{rect.MinX, rect.MinY},
                      [&rect, &result](Node* pNode)
                      {
                          if (pNode->Position.X > rect.MaxX)
                          {
                              return false;
                          }
                          if (rect.Contains(pNode->Position))
                          {
                              result.Append(pNode);
                          }
                          return true;
                      });
}

Node* NodeSet::Find(const Point& point) const
{
    CheckFinite(point, Unit, __LINE__);
    Node* found = nullptr;
    return m_index.Find(point, &found) ? found : nullptr;
}

void NodeSet::Absorb(NodeSet& other, const ReplaceNodes& replace)
{
    if (&other == this || other.m_gridStep != m_gridStep || m_tearingDown || other.m_tearingDown ||
        !replace)
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::InvalidArgument,
                                            Exceptions::MakeLocation(Unit, __LINE__));
    }
    other.ReleaseSpareRecords(); // spares are records of other's topology, in no index
    m_pool->ReserveForAdoption(*other.m_pool);
    std::vector<std::pair<Node*, Node*>> stored;
    m_index.Absorb(other.m_index, stored);
    // Nothing fails from here on.
    std::sort(stored.begin(), stored.end());
    for (const auto& [pOther, pStored] : stored)
    {
        pStored->ReferenceCount += pOther->ReferenceCount;
        pOther->TopologyId = 0;
    }
    replace(stored);
    std::fill_n(other.m_recent.get(), RecentSlots, RecentNode{});
    for (const auto& pair : stored)
    {
        other.m_pool->Free(pair.first);
    }
    other.m_pool->ForEachRecordMade(
        [from = other.m_topologyId, to = m_topologyId](Node& record)
        {
            if (record.TopologyId == from)
            {
                record.TopologyId = to;
            }
        });
    m_pool->Adopt(*other.m_pool);
    other.m_recordsOnDemand = false;
}

std::int32_t NodeSet::Count() const
{
    return m_index.Count();
}

void NodeSet::ReleaseUnusedRoom() noexcept
{
    ReleaseSpareRecords();
    // Lookups of runs prepared elsewhere keep the room of their groups from call to call; a
    // loaded layer's is not needed again.
    if (m_keyOrder && m_keyOrder->GroupRecords.capacity() > KeptKeyOrderPoints)
    {
        m_keyOrder.reset();
    }
}

std::int32_t NodeSet::GetBlockCount() const
{
    return m_pool->BlockCount();
}

} // namespace Arealis
