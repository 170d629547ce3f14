#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Arealis/Precision.h"
#include "Arealis/Rectangle.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <utility>

namespace Arealis
{

class NodeSet;
class Polygon;
class PolygonLayer;
struct TopologyState;

// A set of polygon layers whose rings share their vertices: every ring vertex of a layer of
// the topology is a reference-counted node of the topology's node set, one node per point.
// Moving a node moves the boundary of every polygon that uses it.
//
// Topologies live in a process-wide registry of 255 slots that gives each one its identifier
// (1 to 255); nodes carry that identifier. A handle with one pointer to its state; made by
// Create and destroyed by Delete, together with its layers, polygons and nodes.
class Topology
{
public:
    // Throws InvalidOperationException when 255 topologies exist.
    static Topology* Create();
    // Refuses a topology whose polygons are parents of polygons of other topologies.
    static void Delete(Topology* pTopology);
    // The live topology with this identifier, or null.
    static Topology* FromId(std::uint8_t id) noexcept;

    Topology(const Topology&) = delete;
    Topology& operator=(const Topology&) = delete;

    PolygonLayer* CreatePolygonLayer(bool allowOverlap);
    // Takes over pLayer, the one layer of other, with its polygons and nodes: for a layer
    // loaded into a topology of its own on another thread, to be joined to this one's layers
    // afterwards so that the two share their nodes. The nodes are joined in one ordered pass
    // over both node indexes (see NodeSet::Absorb); a node of pLayer at a position this
    // topology holds already gives way to the stored node in pLayer's rings. other is left
    // without layers and nodes, still to be deleted by the caller. Throws ArgumentException,
    // with neither topology changed, when pLayer is null or not other's only layer, other is
    // this topology, the precisions differ, or a Parents collection of either topology names
    // a polygon of pLayer or pLayer records parents; an allocation that fails leaves both as
    // they were too.
    void AdoptLayer(Topology& other, PolygonLayer* pLayer);
    std::int32_t GetLayerCount() const;
    // Throws ArgumentOutOfRangeException outside 0 .. GetLayerCount()-1.
    PolygonLayer* GetLayer(std::int32_t i) const;

    // The node grid and the overlay tolerance of the topology (see Precision): every snap,
    // validation and operation on its layers uses them. The defaults fit projected
    // coordinates; Precision::Geographic() fits degrees. SetPrecision throws ArgumentException
    // for values that CheckPrecision refuses, and InvalidOperationException when the grid
    // step changes while the topology holds nodes (they would lie off the new grid); the
    // tolerance alone may change at any time and applies to the next commits and operations.
    // Operations whose operand layers or polygons lie in topologies of different precision
    // (the result's topology included) throw ArgumentException.
    const Precision& GetPrecision() const noexcept;
    void SetPrecision(const Precision& precision);

    // Union of the layers' bounds; the empty rectangle without layers.
    Rectangle GetBounds() const;
    // The area that moving pNode affects, over all layers.
    Rectangle GetNodeBounds(Node* pNode) const;
    // The nearest node within the tolerance, or null.
    Node* FindNode(const Point& point, double dToleranceDistance) const;
    // Moves pNode and the boundary of every polygon using it; merges it with a node already
    // standing at point. Returns the node now at point.
    Node* MoveNode(Node* pNode, const Point& point);
    // Commits every layer; reports invalid polygons before overlapping ones.
    void Commit();

    // Layer set operations: each creates a new layer in this topology and fills it from the
    // operand layers, which stay unchanged (the union commits the larger one first). A null
    // operand throws ArgumentException. progress, when given, is called with (work done, work
    // total) as the operation advances. Only the committed polygons of the operands take part:
    // those a commit refused as invalid, or that are being edited, are left out (a layer's
    // GetEditingCount tells whether there are any), so that no result comes from polygons
    // that were never validated.
    using LayerProgress = std::function<void(std::int64_t done, std::int64_t total)>;
    // The number of threads the layer operations split their work over; 0, the default, uses
    // every core the process may run on, but one for operands of fewer than 131,072 nodes
    // together, one of them of fewer than 4,096 polygons (more threads would cost them more
    // memory than they save time).
    // Overlay::UnitePolygons into a layer of this topology (or of free polygons, the first of
    // which belongs to one) uses it too, and so do the commits of long edit lists (with one
    // thread, a commit starts no thread). The results are the same for every count. A
    // negative count throws ArgumentOutOfRangeException.
    void SetLayerThreads(std::int32_t nThreads);
    std::int32_t GetLayerThreads() const;
    // The threads that a count given to SetLayerThreads stands for: nThreads itself, or for
    // 0 (or less) the cores the process may run on; for callers that split their own work
    // the same way.
    static unsigned ResolveLayerThreads(std::int32_t nThreads) noexcept;
    // Overlapping polygons of A and B dissolved into one; never records parents. Each group of
    // polygons that overlap one another, directly or through others, becomes one polygon in
    // the place of its first member (the larger layer's polygons first, then the other's);
    // overlapping polygons of the larger layer that no polygon of the other links stay apart.
    PolygonLayer* Union(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                        const LayerProgress& progress = {});
    // Every common part of a polygon of A and a polygon of B.
    PolygonLayer* Intersection(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                               const LayerProgress& progress = {});
    // Every polygon of A without the parts covered by polygons of B.
    PolygonLayer* Substract(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                            const LayerProgress& progress = {});
    // The common parts and the parts of either layer outside the other.
    PolygonLayer* Join(PolygonLayer* pA, PolygonLayer* pB, bool recordParents,
                       const LayerProgress& progress = {});

    std::uint8_t GetId() const;
    NodeSet& GetNodeSet();
    const NodeSet& GetNodeSet() const;

    // Polygons of this topology recorded as parents of polygons of other topologies (kept by
    // the layers' Parents collections).
    std::int32_t GetForeignParentCount() const;
    void AddForeignParentUse();
    void ReleaseForeignParentUse();

private:
    explicit Topology(std::uint8_t id);
    ~Topology();

    void CheckNode(const Node* pNode, int nullLine, int topologyLine) const;
    // Puts each stored node in the place of the node of another topology beside it in the
    // polygons' rings (see AdoptLayer).
    static void ReplaceNodes(std::span<Polygon* const> polygons,
                             std::span<const std::pair<Node*, Node*>> stored) noexcept;

    std::unique_ptr<TopologyState> m_state;
};

} // namespace Arealis
