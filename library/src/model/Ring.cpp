#include "Arealis/Ring.h"

#include "Arealis/Geometry.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"
#include "model/FreeNodeStore.h"
#include "model/RingExtension.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <new>
#include <span>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "Ring";
constexpr int SetNodeNullLine = 345;
constexpr int SetNodeTopologyLine = 348;
constexpr int AddNodeNullLine = 367;
constexpr int AddNodeTopologyLine = 370;
constexpr int IsConvexEmptyLine = 590;
constexpr int IndexOfNullLine = 618;
constexpr int FindNodeToleranceLine = 637;
constexpr int NodeAreaBoundsNullLine = 660;
constexpr int AreEqualFirstNullLine = 985;
constexpr int AreEqualSecondNullLine = 988;

constexpr std::uint8_t ConstructionFlags =
    Ring::Flags::Editing | Ring::Flags::Modified | Ring::Flags::Unchecked;

[[noreturn]] void ThrowInvalidPointer(int line)
{
    throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                        Exceptions::MakeLocation(Unit, line));
}

// Free nodes belong to the one free ring that holds them; their records come from the free
// node store.
Node* NewFreeNode(const Point& point)
{
    Node* pNode = FreeNodeStore::Allocate();
    pNode->Position = SnapToNodeGrid(point);
    pNode->TopologyId = 0;
    pNode->ReferenceCount = 1;
    return pNode;
}

void DeleteFreeNode(Node* pNode) noexcept
{
    FreeNodeStore::Release(pNode);
}

// Points from which Ring::AddNodes looks nodes up in batches, and the size of a batch.
constexpr std::size_t LookAheadRun = 64;

} // namespace

Ring::Ring(PolygonLayer* pOwner, bool isPolygon)
    : m_owner(pOwner),
      m_flags(static_cast<std::uint8_t>(ConstructionFlags | (isPolygon ? Flags::IsPolygon : 0)))
{
}

Ring::~Ring()
{
    // A ring of a layer holds only nodes of its topology (adoption copies any other). While
    // the topology is torn down its node set frees every record at once and counts no more
    // references, so the ring leaves its nodes as they are instead of visiting each record.
    if (!IsFree() && m_owner->GetTopology()->GetNodeSet().IsTearingDown())
    {
        return;
    }
    for (std::int32_t i = m_nodes.Count() - 1; i >= 0; --i)
    {
        Release(m_nodes[i]);
    }
}

// --- Topology and ownership ----------------------------------------------------------------

std::uint8_t Ring::GetTopologyId() const
{
    return m_owner == nullptr ? 0 : m_owner->GetTopology()->GetId();
}

Polygon* Ring::FindPolygon() const
{
    const Ring* ring = this;
    do
    {
        if (ring->HasFlag(Flags::IsPolygon))
        {
            // The polygon object is the ring that carries IsPolygon.
            return static_cast<Polygon*>(const_cast<Ring*>(ring));
        }
        ring = ring->m_next;
    } while (ring != nullptr && ring != this);
    return nullptr;
}

void Ring::BeginChange()
{
    if (HasFlag(Flags::Editing))
    {
        return;
    }
    if (Polygon* polygon = FindPolygon())
    {
        polygon->RemoveFromIndex();
    }
}

void Ring::EndChange()
{
    m_flags |= Flags::Modified | Flags::Unchecked;
    if (m_extension)
    {
        m_extension->Invalidate();
    }
    ApplyExtensionThreshold();
}

void Ring::ApplyExtensionThreshold()
{
    if (m_nodes.Count() > ExtensionThreshold)
    {
        EnsureExtension();
    }
    else if (m_extension)
    {
        m_extension.reset();
        SetFlag(Flags::HasExtension, false);
    }
}

void Ring::EnsureExtension() const
{
    if (!m_extension)
    {
        m_extension = std::make_unique<RingExtension>();
        m_flags |= Flags::HasExtension;
    }
}

Node* Ring::CreateNode(const Point& point)
{
    if (IsFree())
    {
        return NewFreeNode(point);
    }
    return m_owner->GetTopology()->GetNodeSet().GetNode(point);
}

Node* Ring::Adopt(const Node* pNode)
{
    // A free ring copies every node: sharing a topology node without counting it would leave
    // the ring with a dangling node once the topology releases or moves it.
    if (IsFree())
    {
        return NewFreeNode(pNode->Position);
    }
    NodeSet& nodes = m_owner->GetTopology()->GetNodeSet();
    if (pNode->TopologyId == nodes.GetTopologyId())
    {
        Node* shared = const_cast<Node*>(pNode);
        nodes.AddReference(shared);
        return shared;
    }
    return nodes.GetNode(pNode->Position);
}

void Ring::Release(Node* pNode) noexcept
{
    if (pNode->TopologyId == 0)
    {
        DeleteFreeNode(pNode);
        return;
    }
    if (!IsFree())
    {
        NodeSet& nodes = m_owner->GetTopology()->GetNodeSet();
        if (pNode->TopologyId == nodes.GetTopologyId())
        {
            nodes.ReleaseNode(pNode);
        }
    }
}

void Ring::CheckNodeArgument(const Node* pNode, int nullLine, int topologyLine) const
{
    if (pNode == nullptr)
    {
        ThrowInvalidPointer(nullLine);
    }
    if (pNode->TopologyId == 0)
    {
        CheckFinite(pNode->Position, Unit, __LINE__); // a free node is copied by its position
    }
    if (!IsFree() && pNode->TopologyId != GetTopologyId())
    {
        throw Exceptions::ArgumentException(Exceptions::Messages::NodeOfOtherTopology,
                                            Exceptions::MakeLocation(Unit, topologyLine));
    }
}

bool Ring::SameNode(const Node* pA, const Node* pB) const noexcept
{
    return IsFree() ? IsSameVertex(*pA, *pB) : pA == pB;
}

// --- Changes --------------------------------------------------------------------------------

void Ring::AddNode(Node* pNode)
{
    CheckNodeArgument(pNode, AddNodeNullLine, AddNodeTopologyLine);
    AdoptNode(pNode);
}

void Ring::TakeNodes(std::span<Node* const> ppNodes)
{
    const std::uint8_t topologyId = GetTopologyId();
    for (const Node* pNode : ppNodes)
    {
        if (pNode == nullptr)
        {
            ThrowInvalidPointer(AddNodeNullLine);
        }
        // A free ring owns copies only: it could never give a topology's reference back.
        if (topologyId == 0 || pNode->TopologyId != topologyId)
        {
            throw Exceptions::ArgumentException(
                Exceptions::Messages::NodeOfOtherTopology,
                Exceptions::MakeLocation(Unit, AddNodeTopologyLine));
        }
    }
    if (ppNodes.empty())
    {
        return;
    }
    ReserveToAppend(ppNodes.size());
    BeginChange();
    const std::int32_t first = m_nodes.Count();
    m_nodes.SetCount(first + static_cast<std::int32_t>(ppNodes.size())); // within the room
    std::copy(ppNodes.begin(), ppNodes.end(), m_nodes.begin() + first);
    EndChange();
}

void Ring::AdoptNode(const Node* pNode)
{
    if (pNode == nullptr)
    {
        ThrowInvalidPointer(AddNodeNullLine);
    }
    BeginChange();
    Node* adopted = Adopt(pNode);
    try
    {
        m_nodes.Append(adopted);
    }
    catch (...)
    {
        Release(adopted);
        throw;
    }
    EndChange();
}

void Ring::MoveNodesFrom(Ring& source)
{
    if (&source == this || source.m_nodes.IsEmpty())
    {
        return;
    }
    if (!IsFree() || !source.IsFree() || !m_nodes.IsEmpty())
    {
        ReserveToAppend(static_cast<std::size_t>(source.m_nodes.Count()));
        for (const Node* pNode : source.GetNodes())
        {
            AdoptNode(pNode);
        }
        source.Clear(false);
        return;
    }
    BeginChange();
    source.BeginChange();
    m_nodes.Swap(source.m_nodes);
    source.Clear(false); // the records are this ring's now; drops source's cached values
    EndChange();
}

void Ring::AddNode(double x, double y)
{
    InsertNode(m_nodes.Count(), x, y);
}

void Ring::ReserveToAppend(std::size_t count)
{
    if (count >
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - m_nodes.Count()))
    {
        throw std::bad_alloc(); // more nodes than a ring can count
    }
    m_nodes.Reserve(m_nodes.Count() + static_cast<std::int32_t>(count));
}

void Ring::AddNodes(std::span<const Point> points)
{
    CheckFinite(points, Unit, __LINE__);
    if (points.empty())
    {
        return;
    }
    ReserveToAppend(points.size());
    BeginChange();
    NodeSet* nodes = IsFree() ? nullptr : &m_owner->GetTopology()->GetNodeSet();
    try
    {
        if (nodes == nullptr)
        {
            for (const Point& point : points)
            {
                m_nodes.Append(NewFreeNode(point)); // cannot fail: the room is reserved
            }
        }
        else if (points.size() >= SortedPointRun::WorthwhileLength)
        {
            // A long run in one call, so that the node set looks it up in its index's order
            // (all or nothing: on failure it has released the nodes it took).
            const std::int32_t first = m_nodes.Count();
            m_nodes.SetCount(first + static_cast<std::int32_t>(points.size())); // within the room
            try
            {
                nodes->GetNodes(points, std::span<Node*>(m_nodes.begin() + first, points.size()));
            }
            catch (...)
            {
                m_nodes.SetCount(first);
                throw;
            }
        }
        else if (points.size() < LookAheadRun)
        {
            // A few points, as of a small polygon: the batch's bookkeeping would outweigh what
            // loading ahead saves, and their lookups mostly hit nodes shared a moment ago.
            for (const Point& point : points)
            {
                m_nodes.Append(nodes->GetNode(point));
            }
        }
        else
        {
            // In batches, so that the node set looks several points up at once.
            std::array<Node*, LookAheadRun> taken{};
            for (std::size_t first = 0; first < points.size(); first += taken.size())
            {
                const std::span<const Point> batch =
                    points.subspan(first, std::min(taken.size(), points.size() - first));
                nodes->GetNodes(batch, taken);
                for (std::size_t i = 0; i < batch.size(); ++i)
                {
                    m_nodes.Append(taken[i]);
                }
            }
        }
    }
    catch (...)
    {
        EndChange(); // for the nodes appended so far
        throw;
    }
    EndChange();
}

void Ring::InsertNode(std::int32_t i, double x, double y)
{
    CheckFinite(Point{x, y}, Unit, __LINE__);
    if (i < 0 || i > m_nodes.Count())
    {
        throw Exceptions::ArgumentOutOfRangeException();
    }
    BeginChange();
    Node* created = CreateNode(Point{x, y});
    try
    {
        m_nodes.Insert(i, created);
    }
    catch (...)
    {
        Release(created);
        throw;
    }
    EndChange();
}

void Ring::SetNode(std::int32_t i, Node* pNode)
{
    CheckNodeArgument(pNode, SetNodeNullLine, SetNodeTopologyLine);
    Node* old = m_nodes.Get(i);
    BeginChange();
    if (old != pNode)
    {
        m_nodes[i] = Adopt(pNode);
        Release(old);
    }
    EndChange();
}

void Ring::RemoveNode(std::int32_t i)
{
    Node* removed = m_nodes.Get(i);
    BeginChange();
    m_nodes.RemoveAt(i);
    Release(removed);
    EndChange();
}

bool Ring::InsertNodeOnEdge(std::int32_t i, double x, double y, std::int32_t* pIndex)
{
    const Point point{x, y};
    CheckFinite(point, Unit, __LINE__);
    const Node* start = m_nodes.Get(i);
    const std::int32_t j = (i + 1) % m_nodes.Count();
    std::int32_t index = i;
    bool inserted = false;
    if (start->Position == point)
    {
        index = i;
    }
    else if (m_nodes[j]->Position == point)
    {
        index = j;
    }
    else
    {
        index = j == 0 ? m_nodes.Count() : j;
        InsertNode(index, x, y);
        inserted = true;
    }
    if (pIndex != nullptr)
    {
        *pIndex = index;
    }
    return inserted;
}

void Ring::Clear(bool resetFlags)
{
    BeginChange();
    for (std::int32_t i = m_nodes.Count() - 1; i >= 0; --i)
    {
        Node* removed = m_nodes[i];
        m_nodes.RemoveAt(i);
        Release(removed);
    }
    m_nodes.SetCount(0);
    m_extension.reset();
    SetFlag(Flags::HasExtension, false);
    if (resetFlags)
    {
        m_next = nullptr;
        m_flags = static_cast<std::uint8_t>(ConstructionFlags | (m_flags & Flags::IsPolygon));
    }
    else
    {
        m_flags |= Flags::Modified | Flags::Unchecked;
    }
}

// --- Queries --------------------------------------------------------------------------------

std::int32_t Ring::IndexOf(const Node* pNode) const
{
    if (pNode == nullptr)
    {
        ThrowInvalidPointer(IndexOfNullLine);
    }
    if (m_extension && !GetBounds().Contains(pNode->Position))
    {
        return -1;
    }
    for (std::int32_t i = 0; i < m_nodes.Count(); ++i)
    {
        if (SameNode(m_nodes[i], pNode))
        {
            return i;
        }
    }
    return -1;
}

std::int32_t Ring::FindNode(const Point& point, double dToleranceDistance) const
{
    CheckTolerance(dToleranceDistance, Unit, FindNodeToleranceLine);
    CheckFinite(point, Unit, __LINE__);
    return FindNearestNode(
        std::span<Node* const>(m_nodes.Data(), static_cast<std::size_t>(m_nodes.Count())), point,
        dToleranceDistance);
}

double Ring::GetSignedArea() const
{
    const auto compute = [this]
    {
        return SignedArea(
            std::span<Node* const>(m_nodes.Data(), static_cast<std::size_t>(m_nodes.Count())));
    };
    if (!m_extension)
    {
        return compute();
    }
    if ((m_extension->ValidBits & RingExtension::AreaValid) == 0)
    {
        m_extension->Area = compute();
        m_extension->ValidBits |= RingExtension::AreaValid;
    }
    return m_extension->Area;
}

Rectangle Ring::GetBounds() const
{
    const auto compute = [this]
    {
        Rectangle bounds;
        for (const Node* node : m_nodes)
        {
            bounds.Extend(node->Position);
        }
        return bounds;
    };
    if (!m_extension)
    {
        return compute();
    }
    if ((m_extension->ValidBits & RingExtension::BoundsValid) == 0)
    {
        m_extension->Bounds = compute();
        m_extension->ValidBits |= RingExtension::BoundsValid;
    }
    return m_extension->Bounds;
}

Rectangle Ring::GetNodeBounds(std::int32_t i) const
{
    const Node* node = m_nodes.Get(i);
    const std::int32_t n = m_nodes.Count();
    Rectangle bounds;
    bounds.Extend(m_nodes[(i - 1 + n) % n]->Position);
    bounds.Extend(node->Position);
    bounds.Extend(m_nodes[(i + 1) % n]->Position);
    return bounds;
}

Rectangle Ring::GetNodeAreaBounds(const Node* pNode) const
{
    if (pNode == nullptr)
    {
        ThrowInvalidPointer(NodeAreaBoundsNullLine);
    }
    Rectangle bounds;
    if (m_extension && !GetBounds().Contains(pNode->Position))
    {
        return bounds;
    }
    for (std::int32_t i = 0; i < m_nodes.Count(); ++i)
    {
        if (SameNode(m_nodes[i], pNode))
        {
            bounds.Extend(GetNodeBounds(i));
        }
    }
    return bounds;
}

void Ring::BuildEdgeIndex() const
{
    auto index = std::make_unique<SegmentsSet>();
    Ring* self = const_cast<Ring*>(this); // edges are read-only views of the ring
    const std::int32_t n = m_nodes.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        index->Insert(LinearEdge{self, i, (i + 1) % n});
    }
    m_extension->EdgeIndex = std::move(index);
}

void Ring::ScanEdgesInRectangle(const Rectangle& rect,
                                Collections::PlainArray<LinearEdge>& edges) const
{
    Ring* self = const_cast<Ring*>(this); // edges are read-only views of the ring
    const std::int32_t n = m_nodes.Count();
    for (std::int32_t i = 0; i < n; ++i)
    {
        const std::int32_t j = (i + 1) % n;
        if (Rectangle(m_nodes[i]->Position, m_nodes[j]->Position).Intersects(rect))
        {
            edges.Append(LinearEdge{self, i, j});
        }
    }
}

void Ring::GetEdgesInRectangle(const Rectangle& rect,
                               Collections::PlainArray<LinearEdge>& edges) const
{
    if (!HasFlag(Flags::UseSpatialIndex))
    {
        // A long ring searched again and again (the snaps of a tolerant overlay test each
        // snapped point against the edges around it) gets its height index, as the height
        // searches do; a scan per search made such overlays quadratic.
        if (const Detail::EdgeBoxHierarchy* index = GetHeightIndex())
        {
            // The height index holds every edge too and gives them in the ring's order, as
            // the scan does (callers may depend on it), without visiting all of them.
            index->VisitOverlapping(rect,
                                    [&edges](const LinearEdge& edge)
                                    {
                                        edges.Append(edge);
                                        return true;
                                    });
            return;
        }
        ScanEdgesInRectangle(rect, edges);
        return;
    }
    EnsureExtension();
    if (!m_extension->EdgeIndex)
    {
        BuildEdgeIndex();
    }
    m_extension->EdgeIndex->VisitOverlapping(rect,
                                             [&edges](const LinearEdge& edge)
                                             {
                                                 edges.Append(edge);
                                                 return true;
                                             });
}

// A ring searched this many times by a scan has its height index built for the next search.
constexpr std::uint32_t HeightScansBeforeIndex = 16;

const Detail::EdgeBoxHierarchy* Ring::GetHeightIndex() const
{
    // A ring this long has its extension record from its last change on; one that has not
    // (no change ended yet) scans instead, as creating the record here would be a write.
    if (m_nodes.Count() <= HeightIndexThreshold || !m_extension)
    {
        return nullptr;
    }
    RingExtension& extension = *m_extension;
    if (!extension.HeightIndexBuilt.load(std::memory_order_acquire))
    {
        if (extension.HeightScans.fetch_add(1, std::memory_order_relaxed) < HeightScansBeforeIndex)
        {
            return nullptr;
        }
        BuildHeightIndex();
    }
    return extension.HeightIndex.get();
}

void Ring::BuildHeightIndex() const
{
    RingExtension& extension = *m_extension;
    // Builds are rare (once per long ring and change), so one lock serves every ring.
    static std::mutex buildLock;
    const std::lock_guard<std::mutex> lock(buildLock);
    if (!extension.HeightIndexBuilt.load(std::memory_order_relaxed))
    {
        Ring* self = const_cast<Ring*>(this); // edges are read-only views of the ring
        extension.HeightIndex = std::make_unique<Detail::EdgeBoxHierarchy>(self, GetNodes());
        extension.HeightIndexBuilt.store(true, std::memory_order_release);
    }
}

bool Ring::PrepareHeightIndex() const
{
    if (m_nodes.Count() <= HeightIndexThreshold || !m_extension)
    {
        return false;
    }
    if (!m_extension->HeightIndexBuilt.load(std::memory_order_acquire))
    {
        BuildHeightIndex();
    }
    return true;
}

bool Ring::HasEdgeSearchIndex() const
{
    return HasFlag(Flags::UseSpatialIndex) ||
           (m_extension && m_extension->HeightIndexBuilt.load(std::memory_order_acquire));
}

void Ring::GetEdgesAtHeight(double y, std::vector<std::int32_t>& starts) const
{
    const Detail::EdgeBoxHierarchy* index = GetHeightIndex();
    if (index == nullptr)
    {
        const std::int32_t n = m_nodes.Count();
        for (std::int32_t i = 0; i < n; ++i)
        {
            const double a = m_nodes[i]->Position.Y;
            const double b = m_nodes[(i + 1) % n]->Position.Y;
            if (std::min(a, b) <= y && y <= std::max(a, b))
            {
                starts.push_back(i);
            }
        }
        return;
    }
    // The whole width of the ring: only the comparisons of heights decide which edges come.
    const Rectangle bounds = GetBounds();
    Rectangle line;
    line.MinX = bounds.MinX;
    line.MaxX = bounds.MaxX;
    line.MinY = y;
    line.MaxY = y;
    index->VisitOverlapping(line,
                            [&starts](const LinearEdge& edge)
                            {
                                starts.push_back(edge.StartIndex);
                                return true;
                            });
}

void Ring::SetUseSpatialIndex(bool on)
{
    SetFlag(Flags::UseSpatialIndex, on);
    if (!on && m_extension)
    {
        m_extension->EdgeIndex.reset();
    }
}

bool Ring::IsConvex() const
{
    const std::int32_t n = m_nodes.Count();
    if (n == 0)
    {
        throw InvalidRingException(Exceptions::Messages::RingEmpty,
                                   Exceptions::MakeLocation(Unit, IsConvexEmptyLine));
    }
    if (n <= 3)
    {
        return true;
    }
    double lastTurn = 0.0;
    for (std::int32_t i = 0; i < n; ++i)
    {
        const double turn = TurnValue(m_nodes[(i - 1 + n) % n]->Position, m_nodes[i]->Position,
                                      m_nodes[(i + 1) % n]->Position);
        if (turn == 0.0)
        {
            continue;
        }
        if ((turn > 0.0 && lastTurn < 0.0) || (turn < 0.0 && lastTurn > 0.0))
        {
            return false;
        }
        lastTurn = turn;
    }
    return true;
}

// --- Equality -------------------------------------------------------------------------------

namespace
{

// Walks one ring of AreEqual: its position, the nodes still to visit and the node just left.
struct EqualityWalk
{
    const Arealis::Ring* Source;
    std::int32_t Index;
    std::int32_t Remaining;
    const Node* Previous = nullptr;

    const Node* Current() const { return Source->GetNode(Index); }
    void Advance()
    {
        Previous = Current();
        Index = (Index + 1) % Source->Count();
        --Remaining;
    }
    void SkipRepeatsOfPrevious(double tolerance)
    {
        while (Remaining > 0 && Previous != nullptr &&
               Current()->Position.EqualsWithin(Previous->Position, tolerance))
        {
            Index = (Index + 1) % Source->Count();
            --Remaining;
        }
    }
    // Whether every node not yet visited repeats the node just left or the start node, so
    // that the ring adds no vertex of its own beyond the walk.
    bool RestRepeats(const Node* start, double tolerance) const
    {
        std::int32_t index = Index;
        for (std::int32_t k = 0; k < Remaining; ++k)
        {
            const Point& p = Source->GetNode(index)->Position;
            if ((Previous == nullptr || !p.EqualsWithin(Previous->Position, tolerance)) &&
                !p.EqualsWithin(start->Position, tolerance))
            {
                return false;
            }
            index = (index + 1) % Source->Count();
        }
        return true;
    }
};

} // namespace

bool Ring::AreEqual(const Ring* pA, const Ring* pB, double dToleranceDistance)
{
    if (pA == nullptr)
    {
        ThrowInvalidPointer(AreEqualFirstNullLine);
    }
    if (pB == nullptr)
    {
        ThrowInvalidPointer(AreEqualSecondNullLine);
    }
    if (pA->Count() == 0 || pB->Count() == 0)
    {
        return false;
    }
    const std::int32_t startB = pB->FindNode(pA->GetNode(0)->Position, dToleranceDistance);
    if (startB < 0)
    {
        return false;
    }
    EqualityWalk a{pA, 0, pA->Count()};
    EqualityWalk b{pB, startB, pB->Count()};
    const auto currentEqual = [&]
    { return a.Current()->Position.EqualsWithin(b.Current()->Position, dToleranceDistance); };
    while (a.Remaining > 0 && b.Remaining > 0)
    {
        if (!currentEqual())
        {
            a.SkipRepeatsOfPrevious(dToleranceDistance);
            b.SkipRepeatsOfPrevious(dToleranceDistance);
            if (a.Remaining == 0 || b.Remaining == 0)
            {
                break;
            }
            if (!currentEqual())
            {
                return false;
            }
        }
        a.Advance();
        b.Advance();
    }
    // One ring is walked completely: the other may only have repeated nodes left, otherwise
    // it has a vertex that the first one lacks.
    return a.RestRepeats(pA->GetNode(0), dToleranceDistance) &&
           b.RestRepeats(pB->GetNode(startB), dToleranceDistance);
}

// --- Cleaning -------------------------------------------------------------------------------

void Ring::Clean()
{
    // One walk checks the stretch across the end of the node list only at its start; a repeat
    // removed near the end can still leave a spike or repeat there (A, P, Q, A, T, T ends as
    // A, P, Q, A, T). Walk again until a walk removes nothing; each further walk removes a node.
    const auto walk = [this]
    {
        std::int32_t m = m_nodes.Count();
        if (m < 3)
        {
            return;
        }
        const auto nodeAt = [this](std::int32_t i)
        {
            // i modulo the count, taken from 0 .. n - 1; positions inside the list, the
            // common case, need no division.
            const std::int32_t n = m_nodes.Count();
            if (i >= 0 && i < n)
            {
                return m_nodes[i];
            }
            const std::int32_t k = i % n;
            return m_nodes[k < 0 ? k + n : k];
        };
        const Node* twoBack = nodeAt(m - 2);
        const Node* prev = nodeAt(m - 1);
        std::int32_t i = 0;
        bool wrapped = false;
        while (i < m)
        {
            if (wrapped && i > 0)
            {
                break;
            }
            const Node* cur = nodeAt(i);
            if (IsSameVertex(*cur, *twoBack))
            {
                // Spike: the chain goes out to prev and comes straight back.
                RemoveNode(i);
                RemoveNode((m_nodes.Count() - 1 + i) % m_nodes.Count());
                m -= 2;
                if (m < 3)
                {
                    break;
                }
                if (i > 0)
                {
                    --i;
                    if (i >= m)
                    {
                        i = 0;
                        wrapped = true;
                    }
                }
                prev = twoBack;
                twoBack = nodeAt(i - 2);
            }
            else if (IsSameVertex(*cur, *prev))
            {
                RemoveNode((i - 1 + m_nodes.Count()) % m_nodes.Count());
                m -= 1;
                if (m < 3)
                {
                    break;
                }
                if (i > 0)
                {
                    --i;
                }
                prev = twoBack;
                twoBack = nodeAt(i - 2);
            }
            else
            {
                twoBack = prev;
                prev = cur;
                ++i;
            }
        }
    };
    std::int32_t before = 0;
    do
    {
        before = m_nodes.Count();
        walk();
    } while (m_nodes.Count() >= 3 && m_nodes.Count() < before);
}

} // namespace Arealis
