#pragma once

#include "Arealis/Node.h"
#include "Arealis/ParentTable.h"
#include "Arealis/Point.h"
#include "Arealis/PolygonEnumerator.h"
#include "Arealis/Rectangle.h"
#include "Collections/PlainArray.h"

#include <cstdint>
#include <memory>
#include <span>

namespace Arealis
{

class Polygon;
class PolygonsSet;
class Topology;
struct PolygonLayerState;

// One collection of polygons inside a topology. The layer owns its polygons; committed ones
// (validated and, unless the layer allows overlap, not overlapping each other) are kept in a
// spatial index, the others in an edit list. A polygon leaves the index for the edit list
// whenever it changes and comes back when it is committed again. The layer also keeps each
// polygon's Parents collection: the polygons it was derived from, which stay pinned (neither
// editable nor deletable) while a collection names them.
//
// A handle with one pointer to the layer's state; topologies create layers.
class PolygonLayer
{
public:
    PolygonLayer(Topology* pTopology, bool allowOverlap);
    ~PolygonLayer();

    PolygonLayer(const PolygonLayer&) = delete;
    PolygonLayer& operator=(const PolygonLayer&) = delete;

    // --- Polygons ---------------------------------------------------------------------------

    // A new empty polygon of the layer, in the edit list.
    Polygon* CreatePolygon();
    // Room in the edit list for count more polygons: a caller about to add many saves the
    // list's many small growth steps (each a copy of the whole list).
    void ReserveEditing(std::int32_t count);
    // Reorders the end of the edit list in one pass: the polygon at position order[k] moves to
    // position first + k. order names each position from first to the end of the list once;
    // otherwise nothing changes and ArgumentException is thrown. An operation that makes its
    // polygons in another order than the one it delivers them in puts them in place with it.
    void ReorderEditing(std::int32_t first, std::span<const std::int32_t> order);
    // A copy of pSource (any layer, topology or a free polygon) whose nodes are this layer's
    // topology nodes; in the edit list.
    Polygon* AddPolygon(const Polygon* pSource);
    // Removes and destroys a polygon of this layer that no Parents collection names.
    void DeletePolygon(Polygon* pPolygon);
    // DeletePolygon for many polygons at once, in time linear in the layer's edit list and the
    // count; nothing is deleted when one of them may not be.
    void DeletePolygons(std::span<Polygon* const> polygons);
    // Takes a committed polygon out of the index into the edit list (the polygon's change
    // operations call it).
    void BeginEdit(Polygon* pPolygon);
    // Prepares and commits a polygon of the edit list; throws when it is invalid or overlaps
    // a committed polygon, leaving it in the edit list.
    void EndEdit(Polygon* pPolygon);
    // Commits every polygon of the edit list (last first). Those that fail stay in the list;
    // afterwards invalid polygons are reported before overlapping ones. A long list is
    // prepared, and tested for overlaps, on the topology's layer threads, with the same
    // outcome as on one.
    void Commit();

    // --- Queries ----------------------------------------------------------------------------

    // Queries find their polygons when they are made: changing, committing or adding
    // polygons while a query's enumerator is in use changes neither what it enumerates nor
    // its order. A polygon deleted meanwhile must not be used through it.
    //
    // The polygons whose bounds intersect rect: committed ones first, then those being
    // edited. relation must be 0 (bounds overlap).
    PolygonEnumerator GetPolygons(const Rectangle& rect, int relation = 0) const;
    // Every polygon: committed ones first, then those being edited.
    PolygonEnumerator GetPolygons() const;
    std::int32_t GetPolygonCount() const;
    std::int32_t GetCommittedCount() const;
    std::int32_t GetEditingCount() const;
    // The index's stored bounds extended by the bounds of the polygons being edited.
    Rectangle GetBounds() const;
    // The polygons whose bounds hold the node's point.
    PolygonEnumerator GetPolygonsAt(const Node* pNode) const;
    // Appends the polygons that have pNode in one of their rings.
    void CollectPolygonsUsingNode(const Node* pNode,
                                  Collections::PlainArray<Polygon*>& polygons) const;
    // The area that moving pNode affects: the node with its neighbours in every ring using it.
    Rectangle GetNodeBounds(const Node* pNode) const;
    // The first polygon containing point, otherwise the one whose boundary is nearest within
    // the tolerance; null when none.
    Polygon* FindPolygon(const Point& point, double dToleranceDistance) const;
    // The committed polygons.
    const PolygonsSet& GetIndex() const;

    // --- Set operations of two polygons, result in this layer ------------------------------

    Polygon* Union(Polygon* pA, Polygon* pB, bool recordParents);
    Polygon* Intersection(Polygon* pA, Polygon* pB, bool recordParents);
    Polygon* Substract(Polygon* pA, Polygon* pB, bool recordParents);

    // --- Parents collections ----------------------------------------------------------------

    // Stores a copy of pParents as the Parents collection of pPolygon (a polygon of this
    // layer), replacing any previous one; every parent (a polygon of some layer) gains a use.
    void SetParents(Polygon* pPolygon, const Collections::PlainArray<Polygon*>& parents);
    PolygonEnumerator GetParents(Polygon* pPolygon) const;
    // The parents of each of the polygons, found in one pass over the layer's parent records
    // rather than a search per polygon: writers ask for those of every result polygon.
    ParentTable GetParentTable(std::span<Polygon* const> polygons) const;
    void ClearParents(Polygon* pPolygon);
    // Clears the Parents collection of every polygon of the layer at once.
    void ClearAllParents();
    // Use counts beyond a polygon's own counter (the polygon's use counting calls these).
    std::int32_t IncrementOverflow(Polygon* pPolygon);
    std::int32_t DecrementOverflow(Polygon* pPolygon);
    // Entries of Parents collections of other layers that name a polygon of this layer.
    std::int32_t GetForeignParentUses() const;

    bool AllowsOverlap() const;
    Topology* GetTopology() const;

private:
    friend struct PolygonLayerState;
    friend class Topology;

    // Whether a polygon of the layer has a Parents collection.
    bool RecordsParents() const noexcept;
    // The layer now belongs to pTopology, which took over its nodes (Topology::AdoptLayer).
    void MoveToTopology(Topology* pTopology) noexcept;

    // Throws unless the polygon is one of this layer that no Parents collection names.
    void CheckDeletable(const Polygon* pPolygon) const;
    // Takes a polygon being deleted out of the index (unless it came from the edit list),
    // drops its parent links and destroys it.
    void Discard(Polygon* pPolygon, bool takenFromEditList);

    std::unique_ptr<PolygonLayerState> m_state;
};

} // namespace Arealis
