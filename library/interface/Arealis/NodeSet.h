#pragma once

#include "Arealis/Node.h"
#include "Arealis/NodesPtrSet.h"
#include "Arealis/Point.h"
#include "Arealis/Precision.h"
#include "Arealis/Rectangle.h"
#include "Arealis/SortedPointRun.h"
#include "Collections/PlainArray.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace Arealis
{

class NodePool;

// The nodes of one topology: one reference-counted record per distinct point, found through
// a B-tree keyed by the point. Records come from a block pool so that large layers need few
// heap allocations. A node whose last reference is released leaves the index and its record
// is reused. GetNode first looks in a small table of the nodes it returned lately, which holds
// the shared vertices of neighbouring polygons while a layer is built.
class NodeSet
{
public:
    explicit NodeSet(std::uint8_t topologyId);
    ~NodeSet();

    NodeSet(const NodeSet&) = delete;
    NodeSet& operator=(const NodeSet&) = delete;

    std::uint8_t GetTopologyId() const noexcept { return m_topologyId; }
    // The step of the grid that the nodes are snapped to (see Precision); set by the
    // topology while the set is empty.
    double GetGridStep() const noexcept { return m_gridStep; }
    void SetGridStep(double step) noexcept { m_gridStep = step; }

    // The node at point (snapped to the node grid) with one more reference: the existing one
    // when there is one, otherwise a new node with one reference.
    Node* GetNode(const Point& point);
    // GetNode for each point, into ppNodes (as long as points): the same nodes and counts as
    // GetNode in turn would give. All or nothing: when it throws, the nodes it took are
    // released again. A long run is looked up in the index's order of its points, so that the
    // index is walked through once instead of searched at random for each point; a short one
    // in turn, with the lookups of a batch loading before the first is made.
    void GetNodes(std::span<const Point> points, std::span<Node*> ppNodes);
    // GetNodes for the points that run was prepared from, in index order, with the same
    // nodes and counts; ppNodes must be as long as the run. The run may have been prepared on
    // another thread, which must be done with it; a run prepared for another grid step throws
    // ArgumentException.
    void GetNodes(const SortedPointRun& run, std::span<Node*> ppNodes);
    void AddReference(Node* pNode);
    // Drops one reference; the node is removed and its record reused at the last one.
    void ReleaseNode(Node* pNode);
    // The node set goes with its topology once the layers are gone: from now on a node's last
    // release leaves it in the index and its record in the pool, where the destructor frees
    // them all at once, instead of taking each out one by one.
    void BeginTeardown() noexcept { m_tearingDown = true; }
    bool IsTearingDown() const noexcept { return m_tearingDown; }
    // Moves pNode to point (snapped). When another node already stands there, that node is
    // returned and pNode stays out of the index (the caller hands its references over);
    // otherwise pNode is returned. Polygons using the node must be out of their layers'
    // indexes first: move nodes of a topology through Topology::MoveNode.
    Node* MoveNode(Node* pNode, const Point& point);
    // Appends the nodes whose point lies in rect (closed), in ascending point order.
    void FindNodes(const Rectangle& rect, Collections::PlainArray<Node*>& result) const;
    // The node exactly at point, or null.
    Node* Find(const Point& point) const;

    // Called by Absorb once the nodes are joined, with each node of the other set that stood
    // at a stored position beside the stored node, ascending by the other's node address: the
    // caller puts the stored node in the place of the other's wherever that is used (the
    // other's record, marked by a topology id of 0 meanwhile, is freed afterwards). Must not
    // throw.
    using ReplaceNodes = std::function<void(std::span<const std::pair<Node*, Node*>>)>;
    // Takes over the nodes of other, a set with the same grid step filled apart (a layer
    // loaded on another thread), in one ordered pass over both indexes instead of a lookup
    // for each node, with other's record blocks: the nodes keep their records, now of this
    // set's topology. A node of other at a stored position gives its references to the
    // stored node and goes (see ReplaceNodes). other is left empty. Throws ArgumentException
    // for other being this set, another grid step, or a set being torn down; the allocations
    // come before either set changes, so that both are as they were when one fails.
    void Absorb(NodeSet& other, const ReplaceNodes& replace);

    // Gives back the spare node records and the working room of large lookups: for the end of
    // a layer's loading, after which few nodes are made.
    void ReleaseUnusedRoom() noexcept;

    // Nodes in the index.
    std::int32_t Count() const;
    // Blocks of node records the pool holds.
    std::int32_t GetBlockCount() const;

private:
    // A slot of the table of recent nodes, chosen by a hash of the point. The point is kept
    // next to the node so that a slot holding another point is passed over without reading
    // that node's record.
    struct RecentNode
    {
        Point Position;
        Node* pNode = nullptr;
    };
    static constexpr std::size_t RecentSlots = std::size_t{1} << 13;

    // Working room of the lookups in index order, kept from call to call.
    struct KeyOrderScratch;

    void CheckNode(const Node* pNode) const;
    // GetNode in turn for points[taken ..] into ppNodes; taken counts on as each node is
    // handed out, so that it tells how far it came when it throws.
    void GetNodesInTurn(std::span<const Point> points, std::span<Node*> ppNodes,
                        std::size_t& taken);
    // GetNodes for a run in the index's order of its points; false, with nothing changed, when
    // a point has a coordinate that is not finite (which has no place in that order).
    bool GetNodesInKeyOrder(std::span<const Point> points, std::span<Node*> ppNodes);
    KeyOrderScratch& KeyOrder();
    // Puts the distinct positions of the run into the index in their order, each as a new
    // record or as the node that stands there, into the scratch's nodes of the groups; undoes
    // every change when it throws.
    void InsertInKeyOrder(const SortedPointRun::State& run, KeyOrderScratch& scratch);
    static std::size_t RecentSlot(const Point& position) noexcept;
    // A record for a new node at position, with no references: a spare one when there is one,
    // otherwise one from the pool.
    Node* MakeRecord(const Point& position);
    // Keeps the records that a key-order lookup made for points the index held already for
    // the lookups to come, as many as the room reserved for them takes (the rest go back to
    // the pool). Does not throw: the room is reserved before the index changes.
    void KeepSpareRecords(std::span<Node* const> records, std::span<Node* const> nodes) noexcept;
    // Room for count more spares, up to MaxSpareRecords in all.
    void ReserveSpareRecords(std::size_t count);
    void ReleaseSpareRecords() noexcept;

    // GetNode for a point already snapped, whose recent slot is given.
    Node* GetSnappedNode(const Point& position, RecentNode& recent);
    void ForgetRecent(const Node* pNode) noexcept;

    std::unique_ptr<NodePool> m_pool;
    NodesPtrSet m_index;
    // Every node held here is in the index: a node leaves the table before it is released
    // or moved.
    std::unique_ptr<RecentNode[]> m_recent;
    std::unique_ptr<KeyOrderScratch> m_keyOrder;
    // Records made by key-order lookups for points that were in the index already, handed
    // out again by the next lookups. A record given back to the pool goes to the head of its
    // free list, whose links are read one after the other, each a cache miss where the
    // records lie scattered; a lookup of a result's vertices, most of them stored already,
    // would otherwise spend as long on the pool as on the index.
    std::vector<Node*> m_spareRecords;
    static constexpr std::size_t MaxSpareRecords = std::size_t{1} << 16;
    // Whether the next key-order lookup makes records only for positions not stored yet.
    bool m_recordsOnDemand = false;
    std::uint8_t m_topologyId;
    double m_gridStep = DefaultNodeGridStep;
    bool m_tearingDown = false;
};

} // namespace Arealis
