#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Collections/PlainArray.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace Arealis
{

class PolygonLayer;
namespace Detail
{
class RingBoundsIndex;
}

// An area bounded by one or more exterior rings (clockwise), each with its holes
// (counter-clockwise rings). The polygon object is itself a ring (its own node list is used as
// its first ring once CreateRing has been called); further rings are linked to it in a circle
// through Next. Organise puts the circle into canonical order: exterior rings by decreasing
// area, each followed by the holes it directly encloses (flagged Assigned).
//
// The Ring operations that the polygon redefines (GetBounds, IsConvex, Validate, Clean, ...)
// are hidden, not overridden: called through a Ring pointer they apply to the polygon's own
// ring only.
class Polygon : public Ring
{
public:
    struct PolygonFlags
    {
        static constexpr std::uint8_t CountOverflow = 0x01;
        static constexpr std::uint8_t OwnRingUsed = 0x02;
        static constexpr std::uint8_t Editing = 0x04;
        static constexpr std::uint8_t Modified = 0x08;
        static constexpr std::uint8_t Unchecked = 0x10;
        static constexpr std::uint8_t Valid = 0x20;
    };

    // A polygon of pOwner (which owns it), or a free polygon owned by the caller when null.
    explicit Polygon(PolygonLayer* pOwner);
    ~Polygon() override;

    // --- Structure --------------------------------------------------------------------------

    // A new empty ring of the polygon (the polygon's own ring first).
    Ring* CreateRing();
    void RemoveRing(Ring* pRing);
    // The head of the ring circle; null for a polygon without rings.
    Ring* GetFirstRing() const;
    RingEnumerator GetRings(int mode = RingEnumerator::AllRings) const
    {
        return RingEnumerator(GetFirstRing(), mode);
    }
    // The holes directly enclosed by an exterior ring of the polygon (organising it first when
    // it changed).
    RingEnumerator GetInteriorRings(Ring* pExterior);
    std::int32_t GetRingCount() const;
    std::int32_t GetNodeCount() const;
    bool IsEmpty() const { return GetNodeCount() == 0; }

    // --- Geometry ---------------------------------------------------------------------------

    Rectangle GetBounds() const;
    // Even-odd rule over all rings.
    bool ContainsPoint(const Point& point) const;
    bool ContainsNode(const Node* pNode) const;
    // Only a polygon of exactly one convex ring is convex.
    bool IsConvex() const;
    // Whether the two areas have a common part (their intersection has nodes).
    bool Overlaps(const Polygon* pOther) const;
    // Same number of rings and each ring equal (Ring::AreEqual) to a distinct ring of pOther.
    bool IsEqual(const Polygon* pOther, double dToleranceDistance) const;
    // Nearest node within the tolerance over all rings. Writes the ring and the node index
    // (null and -1 when none) and, when found and pDistance is not null, the distance.
    bool FindNode(const Point& point, double dToleranceDistance, Ring** ppRing,
                  std::int32_t* pNodeIndex, double* pDistance) const;
    // Nearest edge within the tolerance; writes its ring and edge number like FindNode.
    bool FindEdge(const Point& point, double dToleranceDistance, Ring** ppRing,
                  std::int32_t* pEdgeIndex, double* pDistance) const;
    void GetEdgesInRectangle(const Rectangle& rect,
                             Collections::PlainArray<LinearEdge>& edges) const;
    void SetUseSpatialIndex(bool on);

    // --- Repair, organisation and validation ----------------------------------------------

    // Cleans every ring and removes rings left with fewer than 3 nodes; with split, rings are
    // also cut at their self-intersections.
    void Clean(bool split);
    void Organise();
    // Throws InvalidPolygonException (or a ring exception with validateRings) describing the
    // first problem found; does nothing for a polygon validated since its last change.
    void Validate(bool validateRings);
    // Validates when needed and reports the outcome instead of throwing.
    bool IsValid();

    void SetModified(bool on);
    bool IsModified() const;
    bool NeedsValidation() const;
    std::uint8_t GetPolygonFlags() const noexcept { return m_polygonFlags; }
    bool HasPolygonFlag(std::uint8_t flag) const noexcept { return (m_polygonFlags & flag) != 0; }

    // --- Layer membership -----------------------------------------------------------------

    PolygonLayer* GetLayer() const noexcept { return GetOwner(); }
    // Out of the layer's spatial index, in its edit list (always true for a free polygon).
    bool IsEditing() const noexcept { return HasPolygonFlag(PolygonFlags::Editing); }
    // Asks the layer to take the polygon out of its index unless it is being edited.
    void RemoveFromIndex();
    // Asks the layer to prepare and commit the polygon when it is being edited.
    void AddToIndex();
    // Flags the polygon and all its rings as being edited, or as committed.
    void MarkEditing();
    void ClearEditing();

    // --- Use counting (Parents collections naming this polygon) -------------------------

    void AddUse();
    void ReleaseUse();
    bool IsUsed() const noexcept
    {
        return HasPolygonFlag(PolygonFlags::CountOverflow) || m_useCount > 0;
    }
    std::uint8_t GetUseCount() const noexcept { return m_useCount; }

private:
    friend class Detail::RingBoundsIndex;

    void SetPolygonFlag(std::uint8_t flag, bool on) noexcept
    {
        m_polygonFlags = on ? static_cast<std::uint8_t>(m_polygonFlags | flag)
                            : static_cast<std::uint8_t>(m_polygonFlags & ~flag);
    }
    // Sets or clears a ring flag on the own ring and on every ring of the circle.
    void SetRingFlag(std::uint8_t flag, bool on);
    Ring* FindPredecessor(const Ring* pRing) const;
    // The ring before the head, found without walking the circle when the last created ring
    // still stands there.
    Ring* FindLastRing(Ring* pHead) const;
    void ValidateStructure(bool validateRings);
    // Forgets the index of the ring bounds: the rings are about to change.
    void DropRingIndex() noexcept;

    // The ring that CreateRing appended last; forgotten whenever a ring is removed, so that it
    // always names a live ring of the circle (or nothing).
    Ring* m_lastCreated = nullptr;
    // The index of the ring bounds of a committed polygon of many rings, built on demand by
    // RingBoundsIndex::Of; the state tells whether it was looked for since the last edit.
    mutable std::unique_ptr<Detail::RingBoundsIndex> m_ringIndex;
    std::uint8_t m_useCount = 0;
    std::uint8_t m_polygonFlags;
    mutable std::atomic<std::uint8_t> m_ringIndexState{0};
};

} // namespace Arealis
