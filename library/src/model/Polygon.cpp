#include "Arealis/Polygon.h"

#include "Arealis/Geometry.h"
#include "Arealis/PolygonLayer.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"
#include "model/RayCrossings.h"
#include "model/RingBoundsIndex.h"

#include <cmath>
#include <memory>
#include <vector>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "Polygon";
constexpr int InteriorRingsNullLine = 225;
constexpr int InteriorRingsInteriorLine = 228;
constexpr int InteriorRingsForeignLine = 239;
constexpr int RemoveRingNullLine = 428;
constexpr int RemoveRingNoRingsLine = 438;
constexpr int RemoveRingForeignLine = 482;
constexpr int FindEdgeToleranceLine = 561;
constexpr int FindEdgeRingOutLine = 564;
constexpr int FindEdgeIndexOutLine = 567;
constexpr int FindNodeToleranceLine = 616;
constexpr int FindNodeRingOutLine = 619;
constexpr int FindNodeIndexOutLine = 622;
constexpr int IsEqualNullLine = 705;

constexpr std::uint8_t MaxUseCount = 255;

[[noreturn]] void ThrowArgument(const char* message, int line)
{
    throw Exceptions::ArgumentException(message, Exceptions::MakeLocation(Unit, line));
}

} // namespace

Polygon::Polygon(PolygonLayer* pOwner)
    : Ring(pOwner, true), m_polygonFlags(PolygonFlags::Editing | PolygonFlags::Unchecked)
{
}

Polygon::~Polygon()
{
    // The polygon owns every ring of its circle except its own.
    std::vector<Ring*> rings;
    if (Ring* start = GetNext())
    {
        Ring* ring = start;
        do
        {
            if (ring != this)
            {
                rings.push_back(ring);
            }
            ring = ring->GetNext();
        } while (ring != nullptr && ring != start);
    }
    for (Ring* ring : rings)
    {
        std::unique_ptr<Ring> owned(ring);
    }
    SetNext(nullptr);
}

// --- Structure ------------------------------------------------------------------------------

Ring* Polygon::GetFirstRing() const
{
    if (HasPolygonFlag(PolygonFlags::OwnRingUsed) && HasFlag(Flags::IsFirst))
    {
        return const_cast<Polygon*>(this);
    }
    Ring* start = GetNext();
    if (start == nullptr)
    {
        return nullptr;
    }
    Ring* ring = start;
    do
    {
        if (ring->HasFlag(Flags::IsFirst))
        {
            return ring;
        }
        ring = ring->GetNext();
    } while (ring != nullptr && ring != start);
    return start;
}

Ring* Polygon::FindPredecessor(const Ring* pRing) const
{
    Ring* head = GetFirstRing();
    if (head == nullptr)
    {
        return nullptr;
    }
    Ring* ring = head;
    do
    {
        if (ring->GetNext() == pRing)
        {
            return ring;
        }
        ring = ring->GetNext();
    } while (ring != nullptr && ring != head);
    return nullptr;
}

Ring* Polygon::FindLastRing(Ring* pHead) const
{
    // Exactly one ring of the circle links to the head.
    if (m_lastCreated != nullptr && m_lastCreated->GetNext() == pHead)
    {
        return m_lastCreated;
    }
    return FindPredecessor(pHead);
}

Ring* Polygon::CreateRing()
{
    RemoveFromIndex();
    Ring* created = nullptr;
    if (!HasPolygonFlag(PolygonFlags::OwnRingUsed))
    {
        SetPolygonFlag(PolygonFlags::OwnRingUsed, true);
        if (Ring* linked = GetNext())
        {
            SetNext(linked->GetNext());
            linked->SetNext(this);
            SetFlag(Flags::IsFirst, false);
        }
        else
        {
            SetNext(this);
            SetFlag(Flags::IsFirst, true);
        }
        created = this;
    }
    else
    {
        Ring* head = GetFirstRing();
        Ring* last = FindLastRing(head);
        auto ring = std::make_unique<Ring>(GetOwner(), false);
        ring->SetNext(head);
        last->SetNext(ring.get());
        created = ring.release(); // owned through the circle from now on
        m_lastCreated = created;
    }
    created->SetFlag(Flags::Modified | Flags::Unchecked, true);
    if (IsEditing())
    {
        created->SetFlag(Flags::Editing, true);
    }
    SetPolygonFlag(PolygonFlags::Modified | PolygonFlags::Unchecked, true);
    return created;
}

void Polygon::RemoveRing(Ring* pRing)
{
    if (pRing == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, RemoveRingNullLine);
    }
    if (GetFirstRing() == nullptr)
    {
        ThrowArgument(Exceptions::Messages::RingNotInPolygon, RemoveRingNoRingsLine);
    }
    Ring* predecessor = FindPredecessor(pRing);
    if (predecessor == nullptr || (pRing == this && !HasPolygonFlag(PolygonFlags::OwnRingUsed)))
    {
        ThrowArgument(Exceptions::Messages::RingNotInPolygon, RemoveRingForeignLine);
    }
    RemoveFromIndex();
    m_lastCreated = nullptr;
    Ring* following = pRing->GetNext() == pRing ? nullptr : pRing->GetNext();
    if (following != nullptr)
    {
        predecessor->SetNext(following);
        if (pRing->HasFlag(Flags::IsFirst))
        {
            following->SetFlag(Flags::IsFirst, true);
        }
    }
    pRing->SetFlag(Flags::IsFirst, false);
    if (pRing == this)
    {
        Clear(false);
        SetPolygonFlag(PolygonFlags::OwnRingUsed, false);
        SetNext(following);
    }
    else
    {
        if (GetNext() == pRing)
        {
            SetNext(following); // the own ring is unused and held the link to this ring
        }
        pRing->SetNext(nullptr);
        std::unique_ptr<Ring> owned(pRing);
    }
    SetPolygonFlag(PolygonFlags::Modified | PolygonFlags::Unchecked, true);
}

RingEnumerator Polygon::GetInteriorRings(Ring* pExterior)
{
    if (pExterior == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, InteriorRingsNullLine);
    }
    if (!pExterior->IsExterior())
    {
        ThrowArgument(Exceptions::Messages::RingMustBeExterior, InteriorRingsInteriorLine);
    }
    if (IsModified())
    {
        Organise();
    }
    RingEnumerator exteriors = GetRings(RingEnumerator::ExteriorRings);
    while (exteriors.MoveNext())
    {
        if (exteriors.Current() == pExterior)
        {
            return RingEnumerator(pExterior->GetNext(), RingEnumerator::AssignedHoles);
        }
    }
    ThrowArgument(Exceptions::Messages::RingNotInPolygon, InteriorRingsForeignLine);
}

std::int32_t Polygon::GetRingCount() const
{
    std::int32_t count = 0;
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        ++count;
    }
    return count;
}

std::int32_t Polygon::GetNodeCount() const
{
    std::int32_t count = 0;
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        count += rings.Current()->Count();
    }
    return count;
}

void Polygon::SetRingFlag(std::uint8_t flag, bool on)
{
    SetFlag(flag, on);
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        rings.Current()->SetFlag(flag, on);
    }
}

// --- Geometry -------------------------------------------------------------------------------

Rectangle Polygon::GetBounds() const
{
    Rectangle bounds;
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        if (ring->Count() > 0)
        {
            bounds.Extend(ring->GetBounds());
        }
    }
    return bounds;
}

bool Polygon::ContainsPoint(const Point& point) const
{
    CheckFinite(point, Unit, __LINE__);
    std::int32_t crossings = 0;
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        crossings += CountRayCrossings(*rings.Current(), point);
    }
    return crossings % 2 == 1;
}

bool Polygon::ContainsNode(const Node* pNode) const
{
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        if (rings.Current()->IndexOf(pNode) != -1)
        {
            return true;
        }
    }
    return false;
}

bool Polygon::IsConvex() const
{
    const Ring* first = GetFirstRing();
    return first != nullptr && GetRingCount() == 1 && first->IsConvex();
}

bool Polygon::IsEqual(const Polygon* pOther, double dToleranceDistance) const
{
    if (pOther == nullptr)
    {
        ThrowArgument(Exceptions::Messages::InvalidPointer, IsEqualNullLine);
    }
    const std::int32_t ringCount = GetRingCount();
    if (ringCount == 0 || ringCount != pOther->GetRingCount())
    {
        return false;
    }
    std::vector<const Ring*> unmatched;
    RingEnumerator others = pOther->GetRings();
    while (others.MoveNext())
    {
        unmatched.push_back(others.Current());
    }
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        bool matched = false;
        for (auto it = unmatched.begin(); it != unmatched.end(); ++it)
        {
            if (Ring::AreEqual(ring, *it, dToleranceDistance))
            {
                unmatched.erase(it);
                matched = true;
                break;
            }
        }
        if (!matched)
        {
            return false;
        }
    }
    return true;
}

bool Polygon::FindNode(const Point& point, double dToleranceDistance, Ring** ppRing,
                       std::int32_t* pNodeIndex, double* pDistance) const
{
    CheckTolerance(dToleranceDistance, Unit, FindNodeToleranceLine);
    CheckFinite(point, Unit, __LINE__);
    if (ppRing == nullptr)
    {
        ThrowArgument(Exceptions::Messages::NullRingOut, FindNodeRingOutLine);
    }
    if (pNodeIndex == nullptr)
    {
        ThrowArgument(Exceptions::Messages::NullNodeIndexOut, FindNodeIndexOutLine);
    }
    const Rectangle box = Rectangle::InflatedAround(point, dToleranceDistance);
    double best = dToleranceDistance * dToleranceDistance;
    Ring* foundRing = nullptr;
    std::int32_t foundIndex = -1;
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        Ring* ring = rings.Current();
        for (std::int32_t i = 0; i < ring->Count(); ++i)
        {
            const Point& position = ring->GetNode(i)->Position;
            if (!box.Contains(position))
            {
                continue;
            }
            const double d = SquaredDistance(point, position);
            if (d < best || (foundRing == nullptr && d == best))
            {
                best = d;
                foundRing = ring;
                foundIndex = i;
            }
        }
    }
    *ppRing = foundRing;
    *pNodeIndex = foundIndex;
    if (foundRing != nullptr && pDistance != nullptr)
    {
        *pDistance = std::sqrt(best);
    }
    return foundRing != nullptr;
}

bool Polygon::FindEdge(const Point& point, double dToleranceDistance, Ring** ppRing,
                       std::int32_t* pEdgeIndex, double* pDistance) const
{
    CheckTolerance(dToleranceDistance, Unit, FindEdgeToleranceLine);
    CheckFinite(point, Unit, __LINE__);
    if (ppRing == nullptr)
    {
        ThrowArgument(Exceptions::Messages::NullRingOut, FindEdgeRingOutLine);
    }
    if (pEdgeIndex == nullptr)
    {
        ThrowArgument(Exceptions::Messages::NullEdgeIndexOut, FindEdgeIndexOutLine);
    }
    Collections::PlainArray<LinearEdge> candidates;
    GetEdgesInRectangle(Rectangle::InflatedAround(point, dToleranceDistance), candidates);
    double best = dToleranceDistance * dToleranceDistance;
    const LinearEdge* found = nullptr;
    for (const LinearEdge& edge : candidates)
    {
        const double d = edge.SquaredDistanceTo(point);
        if (d < best || (found == nullptr && d == best))
        {
            best = d;
            found = &edge;
        }
    }
    *ppRing = found != nullptr ? found->Ring : nullptr;
    *pEdgeIndex = found != nullptr ? found->EdgeNumber() : -1;
    if (found != nullptr && pDistance != nullptr)
    {
        *pDistance = std::sqrt(best);
    }
    return found != nullptr;
}

void Polygon::GetEdgesInRectangle(const Rectangle& rect,
                                  Collections::PlainArray<LinearEdge>& edges) const
{
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        rings.Current()->GetEdgesInRectangle(rect, edges);
    }
}

void Polygon::SetUseSpatialIndex(bool on)
{
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        rings.Current()->SetUseSpatialIndex(on);
    }
}

// --- Flags ----------------------------------------------------------------------------------

void Polygon::SetModified(bool on)
{
    SetPolygonFlag(PolygonFlags::Modified, on);
    SetRingFlag(Flags::Modified, on);
}

bool Polygon::IsModified() const
{
    if (HasPolygonFlag(PolygonFlags::Modified))
    {
        return true;
    }
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        if (rings.Current()->HasFlag(Flags::Modified))
        {
            return true;
        }
    }
    return false;
}

bool Polygon::NeedsValidation() const
{
    if (HasPolygonFlag(PolygonFlags::Unchecked))
    {
        return true;
    }
    RingEnumerator rings = GetRings();
    while (rings.MoveNext())
    {
        if (rings.Current()->HasFlag(Flags::Unchecked))
        {
            return true;
        }
    }
    return false;
}

// --- Layer membership -----------------------------------------------------------------------

void Polygon::RemoveFromIndex()
{
    if (!IsEditing() && GetLayer() != nullptr)
    {
        GetLayer()->BeginEdit(this);
    }
}

void Polygon::AddToIndex()
{
    if (IsEditing() && GetLayer() != nullptr)
    {
        GetLayer()->EndEdit(this);
    }
}

void Polygon::MarkEditing()
{
    DropRingIndex();
    SetPolygonFlag(PolygonFlags::Editing, true);
    SetRingFlag(Flags::Editing, true);
}

void Polygon::DropRingIndex() noexcept
{
    m_ringIndex.reset();
    m_ringIndexState.store(0, std::memory_order_relaxed);
}

void Polygon::ClearEditing()
{
    SetPolygonFlag(PolygonFlags::Editing, false);
    SetRingFlag(Flags::Editing, false);
}

// --- Use counting ---------------------------------------------------------------------------

void Polygon::AddUse()
{
    if (m_useCount < MaxUseCount)
    {
        ++m_useCount;
        return;
    }
    if (GetLayer() == nullptr)
    {
        return; // a free polygon has no counter map: it stays pinned at the highest count
    }
    GetLayer()->IncrementOverflow(this);
    SetPolygonFlag(PolygonFlags::CountOverflow, true);
    m_useCount = 0;
}

void Polygon::ReleaseUse()
{
    if (m_useCount > 0)
    {
        --m_useCount;
        return;
    }
    if (!HasPolygonFlag(PolygonFlags::CountOverflow) || GetLayer() == nullptr)
    {
        return;
    }
    m_useCount = MaxUseCount;
    if (GetLayer()->DecrementOverflow(this) == 0)
    {
        SetPolygonFlag(PolygonFlags::CountOverflow, false);
    }
}

} // namespace Arealis
