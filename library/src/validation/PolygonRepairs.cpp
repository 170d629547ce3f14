// The repairs of a polygon before its validation (Polygon::Clean), and the read-only check
// that tells whether they would change anything. Both live here so that a new repair is
// added to the check in the same place.

#include "validation/PolygonRepairs.h"

#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Precision.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Collections/InlineArray.h"
#include "model/OperandPrecision.h"
#include "validation/RingWidth.h"

#include <algorithm>
#include <cstddef>
#include <span>

namespace Arealis
{

namespace
{

// The rings of a polygon, most often one or two, kept without a heap block up to this many.
using RingList = Collections::InlineArray<Ring*, 4>;

RingList CollectRingList(RingEnumerator rings)
{
    RingList result;
    while (rings.MoveNext())
    {
        result.push_back(rings.Current());
    }
    return result;
}

// The rings of a polygon of two rings or more that have an area; none for a lone ring, whose
// lack of clear area is the polygon's failure, not a repair. A ring of no area at all is left
// out: no reader takes it as valid, so validation reports it.
RingList RingsWithArea(const Polygon& polygon)
{
    RingList withArea;
    if (polygon.GetRingCount() < 2)
    {
        return withArea;
    }
    for (Ring* ring : CollectRingList(polygon.GetRings()))
    {
        if (ring->GetSignedArea() != 0.0)
        {
            withArea.push_back(ring);
        }
    }
    return withArea;
}

// A small hole that the node grid leaves thinner than one step (as a buffer by zero of a ring
// touching itself can leave) has an area in the input, so simple-features readers take the
// polygon as valid; kept, it would make validation refuse the whole polygon.
void DropRingsThinnerThanTheGrid(Polygon& polygon)
{
    const RingList withArea = RingsWithArea(polygon);
    Detail::DropRingsWithoutClearArea(polygon,
                                      std::span<Ring* const>(withArea.data(), withArea.size()));
}

// Whether the polygon has two rings or more and one of them, with an area, is thinner than the
// node grid: then the repairs drop it.
bool HasRingThinnerThanTheGrid(const Polygon& polygon)
{
    const RingList withArea = RingsWithArea(polygon);
    return std::any_of(withArea.begin(), withArea.end(),
                       [](const Ring* ring)
                       { return Detail::IsThinnerThanNodeGrid(*ring, ring->GetSignedArea()); });
}

// Whether Ring::Clean would remove a node: a node the same vertex as the one before it, or
// as the one two before it (a spike), around the closed ring as its walk reads them.
bool HasRepeatOrSpike(const Ring& ring)
{
    const std::span<Node* const> nodes = ring.GetNodes();
    const std::size_t n = nodes.size();
    const Node* twoBack = nodes[n - 2];
    const Node* previous = nodes[n - 1];
    for (const Node* current : nodes)
    {
        if (IsSameVertex(*current, *twoBack) || IsSameVertex(*current, *previous))
        {
            return true;
        }
        twoBack = previous;
        previous = current;
    }
    return false;
}

} // namespace

void Polygon::Clean(bool split)
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    for (Ring* ring : CollectRingList(GetRings()))
    {
        ring->Clean();
        if (ring->Count() < 3)
        {
            RemoveRing(ring);
        }
        else if (split)
        {
            ring->SplitSelfIntersections(this);
        }
    }
    // Detail::NeedsRepair below answers from the same decisions read-only: a new repair here
    // must be known there too.
    DropRingsThinnerThanTheGrid(*this);
}

namespace Detail
{

// The same decisions as Polygon::Clean(true) takes ring by ring: a ring that keeps all its
// nodes is split only when it meets itself, and a ring left alone changes no other ring; then
// the polygon-wide one, a ring thinner than the node grid beside others.
bool NeedsRepair(const Polygon& polygon)
{
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring& ring = *rings.Current();
        if (ring.Count() < 3 || HasRepeatOrSpike(ring) ||
            (ring.Count() > 3 && ring.IsSelfIntersecting(nullptr, nullptr, nullptr)))
        {
            return true;
        }
    }
    const PrecisionScope precisionScope(WorkingPrecision(polygon));
    return HasRingThinnerThanTheGrid(polygon);
}

} // namespace Detail

} // namespace Arealis
