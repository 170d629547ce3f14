#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "Collections/PlainArray.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace Arealis
{

class Polygon;
class PolygonLayer;
struct RingExtension;
class SegmentsSet;
namespace Detail
{
class EdgeBoxHierarchy;
}

// A closed chain of nodes: node i is joined to node i+1 and the last node to node 0 (the
// closing node is stored once). A free ring (no owner) owns its nodes; a ring of a polygon
// layer refers to reference-counted nodes of the layer's topology.
//
// Every change first takes the ring's polygon out of its layer's spatial index (unless the
// polygon is already being edited), then marks the ring Modified and Unchecked and drops the
// cached area, bounds and edge index. Rings of more than 50 nodes keep an extension record
// that caches the area and the bounds and may hold an R-tree of the edges.
class Ring
{
public:
    // The flag bits of a ring.
    struct Flags
    {
        static constexpr std::uint8_t IsPolygon = 0x01; // the ring is the polygon object itself
        static constexpr std::uint8_t IsFirst = 0x02;   // head of the polygon's ring circle
        static constexpr std::uint8_t Assigned = 0x04;  // hole of the exterior ring before it
        static constexpr std::uint8_t Editing = 0x08;   // the polygon is out of the layer index
        static constexpr std::uint8_t Modified = 0x10;
        static constexpr std::uint8_t Unchecked = 0x20;
        static constexpr std::uint8_t HasExtension = 0x40;
        static constexpr std::uint8_t UseSpatialIndex = 0x80;
    };

    // Rings with more nodes than this carry the extension record.
    static constexpr std::int32_t ExtensionThreshold = 50;
    // Rings with more nodes than this find the edges that a horizontal line meets through an
    // index of their edges, kept until the ring changes (see GetEdgesAtHeight); once built,
    // rectangle searches use it as well.
    static constexpr std::int32_t HeightIndexThreshold = 512;

    Ring(PolygonLayer* pOwner, bool isPolygon);
    virtual ~Ring();

    Ring(const Ring&) = delete;
    Ring& operator=(const Ring&) = delete;

    // --- Node access and change ---------------------------------------------------------

    std::int32_t Count() const noexcept { return m_nodes.Count(); }
    // Throws ArgumentOutOfRangeException outside 0 .. Count-1.
    Node* GetNode(std::int32_t i) const { return m_nodes.Get(i); }
    // All nodes in order; valid until the ring changes.
    std::span<Node* const> GetNodes() const noexcept { return {m_nodes.begin(), m_nodes.end()}; }

    // Appends pNode. A ring of a layer accepts only nodes of its own topology (and takes a
    // reference on them); a free ring appends a copy of the node.
    void AddNode(Node* pNode);
    // Appends a node at (x, y), snapped to the node grid.
    void AddNode(double x, double y);
    // Appends a node at each of points in turn, as AddNode(x, y) for each would, but with the
    // ring's change begun and ended once. When a node cannot be made, the nodes appended
    // before it stay and the exception passes on.
    void AddNodes(std::span<const Point> points);
    // Appends nodes of this ring's topology on each of which the caller holds a reference, and
    // hands those references over to the ring: the caller no longer releases them. Only a ring
    // of a layer takes nodes. Checks every node as AddNode(Node*) does first; when it throws,
    // nothing is appended and the references stay with the caller.
    void TakeNodes(std::span<Node* const> ppNodes);
    // Appends pNode by the adoption rule, without the topology check of AddNode(Node*): a node
    // of this ring's topology is shared, any other node is replaced by one at its coordinates.
    void AdoptNode(const Node* pNode);
    // Appends every node of source in order and leaves source without nodes. A free ring
    // without nodes takes over the records of a free source as they are (they are owned by
    // one ring at a time, so nothing is copied or freed); otherwise the nodes are adopted as
    // AdoptNode does and source then cleared.
    void MoveNodesFrom(Ring& source);
    // Replaces the node at i (same checks as AddNode(Node*)).
    void SetNode(std::int32_t i, Node* pNode);
    // Inserts a node at (x, y) before position i (0 .. Count).
    void InsertNode(std::int32_t i, double x, double y);
    void RemoveNode(std::int32_t i);
    // Puts (x, y) on the edge from node i to node (i + 1) mod Count. When the point is already
    // one of the two end nodes, that index is reported and nothing changes (false); otherwise
    // the new node's index is reported and the result is true. pIndex may be null.
    bool InsertNodeOnEdge(std::int32_t i, double x, double y, std::int32_t* pIndex);
    // Makes room for count nodes in all, so that appending up to that many allocates once.
    void ReserveNodes(std::int32_t count) { m_nodes.Reserve(count); }
    // Removes every node (last first); with resetFlags also unlinks the ring and restores the
    // flags of a new ring.
    void Clear(bool resetFlags);

    // --- Queries --------------------------------------------------------------------------

    // First position holding pNode (free rings compare as vertices, rings of a layer compare
    // pointers); -1 when absent.
    std::int32_t IndexOf(const Node* pNode) const;
    // Nearest node within dToleranceDistance; -1 when none.
    std::int32_t FindNode(const Point& point, double dToleranceDistance) const;
    // Positive for clockwise rings.
    double GetSignedArea() const;
    bool IsExterior() const { return GetSignedArea() > 0.0; }
    Rectangle GetBounds() const;
    // Bounds of nodes i-1, i and i+1 (modulo the count).
    Rectangle GetNodeBounds(std::int32_t i) const;
    // Union of GetNodeBounds(i) over every position i holding pNode.
    Rectangle GetNodeAreaBounds(const Node* pNode) const;
    // Appends the edges whose bounds intersect rect (closed); without the spatial index in
    // the ring's order, through the height index once a long ring has been searched often
    // (as GetEdgesAtHeight builds it), by a scan otherwise.
    void GetEdgesInRectangle(const Rectangle& rect,
                             Collections::PlainArray<LinearEdge>& edges) const;
    void SetUseSpatialIndex(bool on);
    // Appends the start positions of the edges whose height range holds y (closed), in no
    // particular order: through the height index for a ring above HeightIndexThreshold nodes
    // once the ring has been searched often (built then under a lock, so threads may share
    // the ring), by a scan otherwise.
    void GetEdgesAtHeight(double y, std::vector<std::int32_t>& starts) const;
    // Builds the height index of a long ring now instead of at its 17th search: for a ring
    // that several threads are about to search at once, which then only read it. False for a
    // ring of HeightIndexThreshold nodes or fewer, whose searches scan.
    bool PrepareHeightIndex() const;
    // Whether rectangle searches go through an index (the R-tree switched on, or the height
    // index built) rather than a scan of every edge.
    bool HasEdgeSearchIndex() const;
    bool IsConvex() const;
    // Whether two non-adjacent edges meet. When pPoint is not null, the edge numbers of the
    // first meeting pair and the meeting point are written (all three must then be valid).
    bool IsSelfIntersecting(std::int32_t* pEdge1, std::int32_t* pEdge2, Point* pPoint) const;
    // Cuts the loops off a self-intersecting ring into new rings of pPolygon (which must hold
    // this ring); rings left with fewer than 3 nodes are removed from the polygon. True when
    // anything was split.
    bool SplitSelfIntersections(Polygon* pPolygon);
    // Throws InvalidRingException for fewer than 3 nodes and SelfIntersectingRingException for
    // a self-intersecting ring of more than 3 nodes.
    void Validate();
    // Area containment and overlap with another ring, by the polygon overlay.
    bool Contains(const Ring* pOther) const;
    bool Overlaps(const Ring* pOther) const;
    // The same closed chain within dToleranceDistance, from any start node, ignoring nodes
    // repeated within the tolerance.
    static bool AreEqual(const Ring* pA, const Ring* pB, double dToleranceDistance);
    // Removes repeated nodes and spikes (A, B, A).
    void Clean();

    Ring* GetNext() const noexcept { return m_next; }
    PolygonLayer* GetOwner() const noexcept { return m_owner; }
    // Identifier of the topology whose nodes the ring uses; 0 for a free ring.
    std::uint8_t GetTopologyId() const;
    std::uint8_t GetFlags() const noexcept { return m_flags; }
    bool HasFlag(std::uint8_t flag) const noexcept { return (m_flags & flag) != 0; }
    bool HasExtension() const noexcept { return HasFlag(Flags::HasExtension); }
    // The polygon whose circle holds this ring (following Next); null when there is none.
    Polygon* FindPolygon() const;

protected:
    void SetFlag(std::uint8_t flag, bool on) noexcept
    {
        m_flags = on ? static_cast<std::uint8_t>(m_flags | flag)
                     : static_cast<std::uint8_t>(m_flags & ~flag);
    }
    void SetNext(Ring* pNext) noexcept { m_next = pNext; }

private:
    friend class Polygon;
    friend class Topology;

    // Takes the polygon out of its layer's index unless it is being edited.
    // Room for count more nodes, refused with std::bad_alloc beyond what a ring can count.
    void ReserveToAppend(std::size_t count);
    void BeginChange();
    // Marks the ring changed, drops cached values and applies the extension threshold.
    void EndChange();
    void ApplyExtensionThreshold();
    void EnsureExtension() const;

    // The node that this ring stores for pNode (see AdoptNode) and its release.
    Node* Adopt(const Node* pNode);
    Node* CreateNode(const Point& point);
    void Release(Node* pNode) noexcept;
    void CheckNodeArgument(const Node* pNode, int nullLine, int topologyLine) const;
    bool IsFree() const noexcept { return m_owner == nullptr; }
    bool SameNode(const Node* pA, const Node* pB) const noexcept;

    void BuildEdgeIndex() const;
    // The height index of a long ring, built on its 17th search since the last change; null
    // before that and for a short ring.
    const Detail::EdgeBoxHierarchy* GetHeightIndex() const;
    // Builds it under a lock unless another thread has; the ring must have its extension.
    void BuildHeightIndex() const;
    void ScanEdgesInRectangle(const Rectangle& rect,
                              Collections::PlainArray<LinearEdge>& edges) const;

    Collections::PlainArray<Node*, 25> m_nodes;
    Ring* m_next = nullptr;
    PolygonLayer* m_owner;
    // Derived values are caches: queries stay const.
    mutable std::unique_ptr<RingExtension> m_extension;
    mutable std::uint8_t m_flags;
};

} // namespace Arealis
