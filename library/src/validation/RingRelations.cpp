// The ring operations that rest on segment intersection and on the polygon overlay.

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"
#include "intersection/EdgePairTest.h"
#include "model/OperandPrecision.h"
#include "validation/RingAreas.h"
#include "validation/RingWidth.h"

#include <algorithm>
#include <array>
#include <vector>

namespace Arealis
{

namespace
{

constexpr const char* Unit = "Ring";
constexpr int SelfIntersectionOutLine = 700;
constexpr int ContainsNullLine = 760;
constexpr int OverlapsNullLine = 797;
constexpr int SplitNullLine = 1100;
constexpr int ValidateZeroAreaLine = 1188;
constexpr int ValidateSelfIntersectingLine = 1191;

[[noreturn]] void ThrowInvalidPointer(int line)
{
    throw Exceptions::ArgumentException(Exceptions::Messages::InvalidPointer,
                                        Exceptions::MakeLocation(Unit, line));
}

// Rings of up to this many edges have their edges read onto the stack for the self-intersection
// check (when the cost rule picks brute force for them, as it does for all of them); rings of
// up to SmallStackEdgeCount edges, the most common, use a smaller array that is quicker to set
// up.
constexpr std::int32_t StackEdgeCount = 32;
constexpr std::int32_t SmallStackEdgeCount = 8;

bool FitsOnStack(std::int32_t edgeCount)
{
    // The cost rule's choice for each count that fits, asked once: it takes a logarithm.
    static const std::array<bool, StackEdgeCount + 1> bruteForceChosen = []
    {
        std::array<bool, StackEdgeCount + 1> chosen{};
        for (std::int32_t count = 0; count <= StackEdgeCount; ++count)
        {
            chosen[static_cast<std::size_t>(count)] =
                &ChooseIntersectionAlgorithm(count, count) == &BruteForceAlgorithm::Instance();
        }
        return chosen;
    }();
    return edgeCount >= 0 && edgeCount <= StackEdgeCount &&
           bruteForceChosen[static_cast<std::size_t>(edgeCount)];
}

// The brute-force search of a ring's edges against each other for the first meeting: the same
// pairs in the same order (i before j, neighbours and the first edge with the last left out)
// through the same pair test, with the edges on the stack instead of in lists, since committing
// a layer checks every one of its small rings.
template <std::int32_t Capacity>
void FindFirstMeetingOnStack(const Ring& ring, IntersectionList& intersections)
{
    const std::int32_t n = ring.Count();
    if (n < 4)
    {
        return; // every pair of edges is a pair of neighbours
    }
    std::array<Detail::EdgeSnapshot, Capacity> edges;
    Ring* self = const_cast<Ring*>(&ring); // edges are read-only views of the ring
    // The snapshots the edge constructor would make, with each node read once: the end of
    // one edge is the start of the next.
    const Node* start = ring.GetNode(0);
    for (std::int32_t i = 0; i < n; ++i)
    {
        const std::int32_t next = i + 1 < n ? i + 1 : 0;
        const Node* end = ring.GetNode(next);
        Detail::EdgeSnapshot& edge = edges[static_cast<std::size_t>(i)];
        edge.Edge = LinearEdge{self, i, next};
        edge.StartNode = start;
        edge.EndNode = end;
        edge.Bounds = Rectangle(start->Position, end->Position);
        start = end;
    }
    for (std::int32_t i = 0; i + 1 < n; ++i)
    {
        const Detail::EdgeSnapshot& a = edges[static_cast<std::size_t>(i)];
        for (std::int32_t j = i + 2; j < n; ++j)
        {
            if (i == 0 && j == n - 1)
            {
                continue;
            }
            const Detail::EdgeSnapshot& b = edges[static_cast<std::size_t>(j)];
            if (a.Bounds.Intersects(b.Bounds) &&
                Detail::TestAndRecordPair(a, b, true, intersections))
            {
                return;
            }
        }
    }
}

} // namespace

bool Ring::IsSelfIntersecting(std::int32_t* pEdge1, std::int32_t* pEdge2, Point* pPoint) const
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    if (pPoint != nullptr && (pEdge1 == nullptr || pEdge2 == nullptr))
    {
        ThrowInvalidPointer(SelfIntersectionOutLine);
    }
    const std::int32_t n = Count();
    IntersectionList intersections;
    if (FitsOnStack(n))
    {
        if (n <= SmallStackEdgeCount)
        {
            FindFirstMeetingOnStack<SmallStackEdgeCount>(*this, intersections);
        }
        else
        {
            FindFirstMeetingOnStack<StackEdgeCount>(*this, intersections);
        }
    }
    else if (&ChooseIntersectionAlgorithm(n, n) == &SweepLineIntersectionAlgorithm::Instance())
    {
        // Large rings: the sweep reads the edges straight from the ring, since a list of them
        // would be as much fresh memory as the rest of the check together.
        SweepLineIntersectionAlgorithm::Instance().FindFirstRingMeeting(*this, intersections);
    }
    else
    {
        EdgeList edges;
        edges.Reserve(n);
        Ring* self = const_cast<Ring*>(this); // edges are read-only views of the ring
        for (std::int32_t i = 0; i < n; ++i)
        {
            edges.Append(LinearEdge{self, i, (i + 1) % n});
        }
        SelectIntersectionAlgorithm(edges, edges, intersections, true);
    }
    if (intersections.Count() == 0)
    {
        return false;
    }
    if (pPoint != nullptr)
    {
        const EdgeIntersection& first = intersections[0];
        *pEdge1 = first.FirstEdge.EdgeNumber();
        *pEdge2 = first.SecondEdge.EdgeNumber();
        *pPoint = first.Location;
    }
    return true;
}

bool Ring::SplitSelfIntersections(Polygon* pPolygon)
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    if (pPolygon == nullptr)
    {
        ThrowInvalidPointer(SplitNullLine);
    }
    std::int32_t edge1 = 0;
    std::int32_t edge2 = 0;
    Point point;
    const auto needsSplit = [&edge1, &edge2, &point](const Ring* ring)
    { return ring->Count() > 3 && ring->IsSelfIntersecting(&edge1, &edge2, &point); };
    // Most rings have no loop: they are let go before the list of pending rings is made.
    if (!needsSplit(this))
    {
        return false;
    }
    // Each ring that loses a loop is examined again after the loop itself, as a recursive
    // split would do, but without growing the call stack with the number of loops.
    std::vector<Ring*> pending{this};
    std::vector<Ring*> pieces{this}; // the rings the split leaves
    bool splitAny = false;
    bool examined = true; // the meeting of the ring at the back is already known
    while (!pending.empty())
    {
        Ring* ring = pending.back();
        pending.pop_back();
        if (!examined && !needsSplit(ring))
        {
            continue;
        }
        examined = false;
        std::int32_t lo = std::min(edge1, edge2);
        std::int32_t hi = std::max(edge1, edge2);
        std::int32_t first = 0;
        std::int32_t second = 0;
        if (ring->InsertNodeOnEdge(lo, point.X, point.Y, &first))
        {
            ++hi;
        }
        ring->InsertNodeOnEdge(hi, point.X, point.Y, &second);
        const std::int32_t a = std::min(first, second);
        const std::int32_t b = std::max(first, second);
        if (a == b)
        {
            continue; // nothing lies between the two copies of the point: no loop to cut off
        }
        Ring* loop = pPolygon->CreateRing();
        for (std::int32_t k = 0; k < b - a; ++k)
        {
            loop->AddNode(ring->GetNode(a));
            ring->RemoveNode(a);
        }
        splitAny = true;
        const bool keepRing = ring->Count() >= 3;
        if (keepRing)
        {
            pending.push_back(ring);
        }
        else
        {
            pieces.erase(std::find(pieces.begin(), pieces.end(), ring));
            pPolygon->RemoveRing(ring);
        }
        if (loop->Count() >= 3)
        {
            pending.push_back(loop);
            pieces.push_back(loop);
        }
        else
        {
            pPolygon->RemoveRing(loop);
        }
    }
    // A split where the ring only came within the tolerance of itself (a spike folded back onto
    // itself) can cut off slivers thinner than the node grid: dropped when a piece keeps area.
    Detail::DropRingsWithoutClearArea(*pPolygon, pieces);
    return splitAny;
}

void Ring::Validate()
{
    const PrecisionScope precisionScope(Detail::WorkingPrecision(*this));
    SetFlag(Flags::Unchecked, false);
    const std::int32_t n = Count();
    if (n < 3)
    {
        throw InvalidRingException(Exceptions::Messages::RingZeroArea,
                                   Exceptions::MakeLocation(Unit, ValidateZeroAreaLine));
    }
    if (n > 3 && IsSelfIntersecting(nullptr, nullptr, nullptr))
    {
        throw SelfIntersectingRingException(
            Exceptions::Messages::RingSelfIntersecting,
            Exceptions::MakeLocation(Unit, ValidateSelfIntersectingLine), this);
    }
}

bool Ring::Contains(const Ring* pOther) const
{
    if (pOther == nullptr)
    {
        ThrowInvalidPointer(ContainsNullLine);
    }
    return Detail::RingAreaRelations().Contains(*this, *pOther);
}

bool Ring::Overlaps(const Ring* pOther) const
{
    if (pOther == nullptr)
    {
        ThrowInvalidPointer(OverlapsNullLine);
    }
    return Detail::RingAreaRelations().Overlaps(*this, *pOther);
}

} // namespace Arealis
