#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "Arealis/Topology.h"
#include "intersection/ActiveEdgeCells.h"
#include "intersection/EdgePairTest.h"
#include "intersection/RingClearance.h"
#include "intersection/SweepStatus.h"
#include "model/LayerThreads.h"
#include "support/LinearBuckets.h"
#include "support/ParallelWork.h"
#include "support/ReusedBuffer.h"
#include "support/UninitialisedAllocator.h"
#include "support/WorkAhead.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <future>
#include <limits>
#include <memory>
#include <span>
#include <system_error>
#include <vector>

namespace Arealis
{

namespace Detail
{

// The end points of an edge in sweep order.
struct SweepEnds
{
    Point Left;
    Point Right;

    double MinY() const noexcept { return std::min(Left.Y, Right.Y); }
    double MaxY() const noexcept { return std::max(Left.Y, Right.Y); }
};

// The x and y ranges of an edge: all that a check needs of its end points, without putting
// them in sweep order.
struct EdgeBox
{
    double MinX = 0.0;
    double MaxX = 0.0;
    double MinY = 0.0;
    double MaxY = 0.0;
};

// One coordinate of an end point and its edge: the sorts compare x here and read y from the
// edge's end points only when the x values are equal.
struct SweepKey
{
    double X = 0.0;
    std::uint32_t Edge = 0;
};

// An active edge waiting for the sweep to pass its right end; its minimum y finds it again in
// its interval set.
struct ActiveEdge
{
    Point Right;
    double MinY = 0.0;
    std::uint32_t Edge = 0;
    StatusSlot Slot = StatusSlot::FirstIntervals;
};

} // namespace Detail

// Edges are numbered through both lists, the first list's first; the arrays are indexed by
// that number. In ring mode there are no lists: edge i runs from node i of the ring to the
// next node, as in the list that a ring's own search would otherwise build.
struct SweepLineIntersectionAlgorithm::WorkingData
{
    const EdgeList* pFirst = nullptr;
    const EdgeList* pSecond = nullptr;
    Ring* pRing = nullptr;
    // The tolerance of the current precision, read when a call starts.
    double Tolerance = DefaultIntersectionTolerance;
    // The bound ring's nodes: every edge of a ring has valid end indices, so they are read
    // without the checks of Ring::GetNode.
    std::span<Node* const> RingNodes;
    std::uint32_t FirstCount = 0;
    bool SameList = false;

    // The edges in the order of their left end points.
    std::vector<Detail::SweepKey> LeftOrder;
    // The edge numbers of a check, bucketed by the x of their left end points, and the ends
    // of the buckets; each bucket is sorted only when the sweep reaches it, with the help of
    // BucketKeys. Written in full before they are read, so they are not zeroed.
    std::vector<std::uint32_t, Detail::UninitialisedAllocator<std::uint32_t>> CheckOrder;
    std::vector<std::uint32_t> BucketEnds;
    std::vector<Detail::SweepKey> BucketKeys;
    std::size_t SortedBuckets = 0;
    // Min-heap of the active edges by their right end points.
    std::vector<Detail::ActiveEdge> Active;
    // The edges that leave the status before the current event.
    std::vector<Detail::ActiveEdge> Retiring;
    // The active edges of a check while they are few enough to scan.
    std::vector<Detail::ScannedEdge> Scanned;
    // The same, filed by y while they are many.
    Detail::ActiveEdgeCells Cells;
    // The check of a whole ring by vertex clearance and the order of its edges, for rings whose
    // edges crowd in x.
    Detail::RingClearance Clearance;
    // The place of every edge in the order of right end points; computed only when two
    // overflow edges with equal right end points retire together.
    std::vector<std::uint32_t> RightRanks;
    // One status per input list; in self mode the first serves both.
    std::array<Detail::SweepStatus, 2> Statuses;

    // Empties the working data. Buffers of up to RetainedBytes stay allocated for the next
    // call: layer operations search many middle-sized pairs, and fresh memory for each would
    // cost a page fault per page; larger buffers go back.
    void Clear() noexcept
    {
        pFirst = nullptr;
        pSecond = nullptr;
        pRing = nullptr;
        RingNodes = {};
        FirstCount = 0;
        SameList = false;
        const bool keep = BufferBytes() <= RetainedBytes;
        Detail::ResetBuffer(LeftOrder, keep);
        Detail::ResetBuffer(CheckOrder, keep);
        Detail::ResetBuffer(BucketEnds, keep);
        Detail::ResetBuffer(BucketKeys, keep);
        SortedBuckets = 0;
        Detail::ResetBuffer(Active, keep);
        Detail::ResetBuffer(Retiring, keep);
        Detail::ResetBuffer(Scanned, keep);
        Cells.Clear(keep);
        Clearance.Clear(keep);
        Detail::ResetBuffer(RightRanks, keep);
        for (Detail::SweepStatus& status : Statuses)
        {
            status.Clear();
        }
    }

    static constexpr std::size_t RetainedBytes = std::size_t{16} << 20;

    std::size_t BufferBytes() const noexcept
    {
        return (LeftOrder.capacity() + BucketKeys.capacity()) * sizeof(Detail::SweepKey) +
               (Active.capacity() + Retiring.capacity()) * sizeof(Detail::ActiveEdge) +
               Scanned.capacity() * sizeof(Detail::ScannedEdge) + Cells.BufferBytes() +
               Clearance.BufferBytes() +
               (RightRanks.capacity() + BucketEnds.capacity() + CheckOrder.capacity()) *
                   sizeof(std::uint32_t);
    }

    bool IsEmpty() const noexcept
    {
        return LeftOrder.empty() && CheckOrder.empty() && BucketEnds.empty() &&
               BucketKeys.empty() && Active.empty() && Retiring.empty() && Scanned.empty() &&
               Cells.IsEmpty() && Clearance.IsEmpty() && RightRanks.empty() && !SameList && pFirst == nullptr &&
               pRing == nullptr;
    }

    // The number of edges of the call.
    std::uint32_t EdgeCount() const noexcept
    {
        if (pRing != nullptr)
        {
            return FirstCount;
        }
        return FirstCount + (SameList ? 0U : static_cast<std::uint32_t>(pSecond->Count()));
    }

    bool IsFromFirst(std::uint32_t edge) const noexcept { return SameList || edge < FirstCount; }

    // In ring mode, the node where edge ends: the next one, or the first for the last edge.
    std::uint32_t NextRingNode(std::uint32_t edge) const noexcept
    {
        return edge + 1 < FirstCount ? edge + 1 : 0;
    }

    LinearEdge EdgeAt(std::uint32_t edge) const
    {
        const auto index = static_cast<std::int32_t>(edge);
        if (pRing != nullptr)
        {
            return LinearEdge{pRing, index, static_cast<std::int32_t>(NextRingNode(edge))};
        }
        return edge < FirstCount ? (*pFirst)[index]
                                 : (*pSecond)[index - static_cast<std::int32_t>(FirstCount)];
    }

    // The end points are read from the nodes whenever needed instead of being copied for
    // every edge: the nodes of a ring lie close together, while a copy is fresh memory to
    // fault in.
    Detail::SweepEnds EndsOf(std::uint32_t edge) const
    {
        // The ring's nodes directly, as LinearEdge::Start and End read them, without the calls.
        Point left;
        Point right;
        if (pRing != nullptr)
        {
            left = RingNodes[edge]->Position;
            right = RingNodes[NextRingNode(edge)]->Position;
        }
        else
        {
            const LinearEdge linear = EdgeAt(edge);
            left = linear.Ring->GetNode(linear.StartIndex)->Position;
            right = linear.Ring->GetNode(linear.EndIndex)->Position;
        }
        if (right < left)
        {
            std::swap(left, right);
        }
        return {left, right};
    }

    // The ranges of an edge; MinX and MaxX are the x of its left and right end points.
    Detail::EdgeBox BoxOf(std::uint32_t edge) const
    {
        if (pRing != nullptr)
        {
            const Point& a = RingNodes[edge]->Position;
            const Point& b = RingNodes[NextRingNode(edge)]->Position;
            return {std::min(a.X, b.X), std::max(a.X, b.X), std::min(a.Y, b.Y), std::max(a.Y, b.Y)};
        }
        const Detail::SweepEnds ends = EndsOf(edge);
        return {ends.Left.X, ends.Right.X, ends.MinY(), ends.MaxY()};
    }

    // The x of an edge's left end point.
    double LeftXOf(std::uint32_t edge) const
    {
        if (pRing != nullptr)
        {
            return std::min(RingNodes[edge]->Position.X, RingNodes[NextRingNode(edge)]->Position.X);
        }
        return EndsOf(edge).Left.X;
    }

    Detail::SweepStatus& OwnStatus(std::uint32_t edge) noexcept
    {
        return Statuses[IsFromFirst(edge) ? 0 : 1];
    }

    Detail::SweepStatus& OtherStatus(std::uint32_t edge) noexcept
    {
        return Statuses[SameList || !IsFromFirst(edge) ? 0 : 1];
    }
};

namespace
{

using WorkingData = SweepLineIntersectionAlgorithm::WorkingData;

// Clears the working data when a call starts and again when it ends, also by an exception or
// an early stop.
class WorkingDataScope
{
public:
    explicit WorkingDataScope(WorkingData& data) noexcept : m_data(data)
    {
        m_data.Clear();
        m_data.Tolerance = CurrentPrecision().Tolerance;
    }
    ~WorkingDataScope() { m_data.Clear(); }
    WorkingDataScope(const WorkingDataScope&) = delete;
    WorkingDataScope& operator=(const WorkingDataScope&) = delete;

private:
    WorkingData& m_data;
};

bool PrecedesBySweepOrder(const Point& a, const Point& b) noexcept
{
    return a < b;
}

// What a sweep is for. Report: find the meetings in the order that callers rely on, which
// depends on the order in which std::sort leaves equal end points and on the order in which
// edges retire. Check: only whether a ring's edges meet at all. For that it is enough that
// every pair of active edges that the report would test is tested, whatever the order of
// events with equal x and of retirements: the check tests every pair of active edges whose y
// intervals lie nearer than twice the tolerance, which with modest coordinates includes
// every pair nearer than the tolerance, rounded either way.
enum class SweepPurpose
{
    Report,
    Check
};

template <SweepPurpose Purpose>
double CandidateTolerance(const WorkingData& data) noexcept
{
    return Purpose == SweepPurpose::Check ? 2 * data.Tolerance : data.Tolerance;
}

} // namespace

SweepLineIntersectionAlgorithm::SweepLineIntersectionAlgorithm()
    : m_data(std::make_unique<WorkingData>()), m_laterHalf(std::make_unique<WorkingData>())
{
}

SweepLineIntersectionAlgorithm::~SweepLineIntersectionAlgorithm() = default;

SweepLineIntersectionAlgorithm& SweepLineIntersectionAlgorithm::Instance()
{
    // One per thread: a call keeps its working data until it ends, and the layer operations
    // run overlays on several threads at once.
    thread_local SweepLineIntersectionAlgorithm instance;
    return instance;
}

bool SweepLineIntersectionAlgorithm::HoldsNoWorkingData() const noexcept
{
    return m_data->IsEmpty() && m_laterHalf->IsEmpty();
}

namespace
{

// Sorts edge keys, made in edge number order, by one of the edges' end points with std::sort.
// Edges with equal end points come out in the order that this sort gives for that input, which
// the reported meetings and their order depend on. The keys hold x and the comparison reads y
// from the end points only when the x values are equal, so the comparisons, and with them that
// order, are those of sorting the points themselves.
template <class EndOf>
void SortByEndPoint(std::vector<Detail::SweepKey>& keys, EndOf endOf)
{
    std::sort(keys.begin(), keys.end(),
              [endOf](const Detail::SweepKey& a, const Detail::SweepKey& b) {
                  return a.X < b.X ||
                         (a.X == b.X && PrecedesBySweepOrder(endOf(a.Edge), endOf(b.Edge)));
              });
}

// Coordinates up to this size in absolute value still change when the tolerance is added or
// subtracted, which the check relies on.
constexpr double ModestCoordinate = 1e9;

bool IsModest(const Point& p) noexcept
{
    return std::fabs(p.X) <= ModestCoordinate && std::fabs(p.Y) <= ModestCoordinate;
}

void BindLists(WorkingData& data, const EdgeList& first, const EdgeList& second) noexcept
{
    data.pFirst = &first;
    data.pSecond = &second;
    data.SameList = &first == &second;
    data.FirstCount = static_cast<std::uint32_t>(first.Count());
}

void BindRing(WorkingData& data, Ring& ring) noexcept
{
    data.pRing = &ring;
    data.RingNodes = ring.GetNodes();
    data.SameList = true;
    data.FirstCount = static_cast<std::uint32_t>(ring.Count());
}

void StartStatuses(WorkingData& data, std::uint32_t count) noexcept
{
    for (Detail::SweepStatus& status : data.Statuses)
    {
        status.Start(count);
    }
}

// Reads every edge's end nodes once, in list order, so that an edge outside its ring throws
// before anything is reported, keys the edges by the x of their left end points and sorts
// them by their left end points.
void CreateReportEvents(WorkingData& data)
{
    const std::uint32_t count = data.EdgeCount();
    // Appended rather than resized: every key is written once, without zeroing it before.
    data.LeftOrder.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        data.LeftOrder.push_back(Detail::SweepKey{data.EndsOf(i).Left.X, i});
    }
    StartStatuses(data, count);
    SortByEndPoint(data.LeftOrder, [&data](std::uint32_t edge) { return data.EndsOf(edge).Left; });
}

// Calls f(edge, x) with the x of every edge's left end point, in edge order. The edges of a
// ring share their end nodes, so each node is read once.
template <class F>
void ForEachLeftX(const WorkingData& data, std::uint32_t count, F f)
{
    if (data.pRing == nullptr)
    {
        for (std::uint32_t i = 0; i < count; ++i)
        {
            f(i, data.EndsOf(i).Left.X);
        }
        return;
    }
    const std::span<Node* const> nodes = data.RingNodes;
    const double firstX = nodes[0]->Position.X;
    double startX = firstX;
    for (std::uint32_t i = 0; i + 1 < count; ++i)
    {
        const double endX = nodes[i + 1]->Position.X;
        f(i, std::min(startX, endX));
        startX = endX;
    }
    f(count - 1, std::min(startX, firstX));
}

// Distributes the edge numbers of a check over about n / 2 buckets by a linear map of the x of
// their left end points, which never puts a smaller x into a later bucket; low and high bound
// those x. Only the edge numbers are kept, 4 bytes per edge: x is read from the nodes again
// when a bucket is sorted.
void BucketByX(WorkingData& data, std::uint32_t count, double low, double high)
{
    const Detail::LinearBuckets bucketOf(low, high, count / 2);
    std::vector<std::uint32_t>& ends = data.BucketEnds;
    ends.assign(bucketOf.Count(), 0);
    ForEachLeftX(data, count, [&](std::uint32_t /*edge*/, double x) { ++ends[bucketOf(x)]; });
    Detail::CountsToStarts(ends);
    data.CheckOrder.resize(count);
    ForEachLeftX(data, count,
                 [&](std::uint32_t edge, double x)
                 { data.CheckOrder[ends[bucketOf(x)]++] = edge; });
    data.SortedBuckets = 0;
}

// Whether every coordinate is modest, finite among others; also the least and the greatest x.
// Reads every edge's end nodes once, in edge order, so that an edge outside its ring throws
// before anything is tested; a ring's nodes are read once each.
bool ReadCheckBounds(const WorkingData& data, std::uint32_t count, double& low, double& high)
{
    bool modest = true;
    low = 0.0;
    high = 0.0;
    const auto add = [&modest, &low, &high](const Point& p, bool first)
    {
        modest = modest && IsModest(p);
        low = first ? p.X : std::min(low, p.X);
        high = first ? p.X : std::max(high, p.X);
    };
    for (std::uint32_t i = 0; i < count; ++i)
    {
        if (data.pRing != nullptr)
        {
            add(data.RingNodes[i]->Position, i == 0);
        }
        else
        {
            const Detail::SweepEnds ends = data.EndsOf(i);
            add(ends.Left, i == 0);
            add(ends.Right, false);
        }
    }
    return modest;
}

// Buckets the edges of a check by x. Returns false, with nothing prepared, when there are no
// edges or the check cannot rely on the coordinates.
bool PrepareCheck(WorkingData& data)
{
    const std::uint32_t count = data.EdgeCount();
    double low = 0.0;
    double high = 0.0;
    if (!ReadCheckBounds(data, count, low, high) || count == 0)
    {
        return false;
    }
    StartStatuses(data, count);
    BucketByX(data, count, low, high);
    return true;
}

// Sorts one bucket of a check by x, equal x in any order. Most buckets hold two or three edges:
// those are sorted by insertion on the stack.
void SortBucket(WorkingData& data, std::uint32_t begin, std::uint32_t end)
{
    constexpr std::uint32_t SmallBucket = 16;
    if (end - begin <= SmallBucket)
    {
        // Keys without initialisers: each is written before it is read.
        struct StackKey
        {
            double X;
            std::uint32_t Edge;
        };
        std::array<StackKey, SmallBucket> keys;
        const std::uint32_t size = end - begin;
        for (std::uint32_t i = 0; i < size; ++i)
        {
            const std::uint32_t edge = data.CheckOrder[begin + i];
            const StackKey key{data.LeftXOf(edge), edge};
            std::uint32_t at = i;
            for (; at > 0 && key.X < keys[at - 1].X; --at)
            {
                keys[at] = keys[at - 1];
            }
            keys[at] = key;
        }
        for (std::uint32_t i = 0; i < size; ++i)
        {
            data.CheckOrder[begin + i] = keys[i].Edge;
        }
        return;
    }
    std::vector<Detail::SweepKey>& keys = data.BucketKeys;
    keys.clear();
    for (std::uint32_t i = begin; i < end; ++i)
    {
        const std::uint32_t edge = data.CheckOrder[i];
        keys.push_back(Detail::SweepKey{data.LeftXOf(edge), edge});
    }
    std::sort(keys.begin(), keys.end(),
              [](const Detail::SweepKey& a, const Detail::SweepKey& b) { return a.X < b.X; });
    for (std::uint32_t i = begin; i < end; ++i)
    {
        data.CheckOrder[i] = keys[i - begin].Edge;
    }
}

// Calls visit(edge) for the edges of a check in the order of the x of their left end
// points, equal x in any order; stops as soon as visit returns false, and then returns false.
// A bucket is sorted when it is first reached: the nodes that its sort reads are then still at
// hand for the events.
template <class F>
bool VisitInXOrder(WorkingData& data, F visit)
{
    std::uint32_t begin = 0;
    for (std::size_t bucket = 0; bucket < data.BucketEnds.size(); ++bucket)
    {
        const std::uint32_t end = data.BucketEnds[bucket];
        if (bucket >= data.SortedBuckets)
        {
            if (end - begin > 1)
            {
                SortBucket(data, begin, end);
            }
            data.SortedBuckets = bucket + 1;
        }
        for (std::uint32_t i = begin; i < end; ++i)
        {
            const std::uint32_t edge = data.CheckOrder[i];
            if (!visit(edge))
            {
                return false;
            }
        }
        begin = end;
    }
    return true;
}

// The order of right end points with std::sort, as the order of left end points.
void RankRightEnds(WorkingData& data)
{
    std::vector<Detail::SweepKey> sorted(data.LeftOrder.size());
    for (std::uint32_t i = 0; i < sorted.size(); ++i)
    {
        sorted[i] = Detail::SweepKey{data.EndsOf(i).Right.X, i};
    }
    SortByEndPoint(sorted, [&data](std::uint32_t edge) { return data.EndsOf(edge).Right; });
    data.RightRanks.resize(sorted.size());
    for (std::size_t i = 0; i < sorted.size(); ++i)
    {
        data.RightRanks[sorted[i].Edge] = static_cast<std::uint32_t>(i);
    }
}

// The order of the heap of active edges; a function object, so that the heap operations
// inline the comparison.
struct RetiresLater
{
    bool operator()(const Detail::ActiveEdge& a, const Detail::ActiveEdge& b) const noexcept
    {
        return PrecedesBySweepOrder(b.Right, a.Right);
    }
};

// Edges with equal right end points retire in the order that sorting all right end points
// gives. Only the overflow notices that order: the sets end up the same either way, but an
// overflow edge leaves its place to the last one. So the order is looked up only for runs
// with two overflow edges or more.
void OrderRunsOfEqualRightEnds(WorkingData& data)
{
    std::vector<Detail::ActiveEdge>& retiring = data.Retiring;
    for (std::size_t begin = 0; begin < retiring.size();)
    {
        std::size_t end = begin + 1;
        std::size_t overflowEdges = retiring[begin].Slot == Detail::StatusSlot::Overflow ? 1 : 0;
        while (end < retiring.size() && retiring[end].Right == retiring[begin].Right)
        {
            overflowEdges += retiring[end].Slot == Detail::StatusSlot::Overflow ? 1 : 0;
            ++end;
        }
        if (overflowEdges > 1)
        {
            if (data.RightRanks.empty())
            {
                RankRightEnds(data);
            }
            std::sort(retiring.begin() + static_cast<std::ptrdiff_t>(begin),
                      retiring.begin() + static_cast<std::ptrdiff_t>(end),
                      [&data](const Detail::ActiveEdge& a, const Detail::ActiveEdge& b)
                      { return data.RightRanks[a.Edge] < data.RightRanks[b.Edge]; });
        }
        begin = end;
    }
}

// Removes the edges whose right end lies more than the tolerance left of x, in the order of
// their right end points.
template <SweepPurpose Purpose>
void RetireEdges(WorkingData& data, double x)
{
    std::vector<Detail::ActiveEdge>& active = data.Active;
    const double tolerance = data.Tolerance;
    if (active.empty() || !(x - active.front().Right.X > tolerance))
    {
        return;
    }
    data.Retiring.clear();
    while (!active.empty() && x - active.front().Right.X > tolerance)
    {
        std::pop_heap(active.begin(), active.end(), RetiresLater{});
        data.Retiring.push_back(active.back());
        active.pop_back();
    }
    if (Purpose == SweepPurpose::Report && data.Retiring.size() > 1)
    {
        OrderRunsOfEqualRightEnds(data);
    }
    for (const Detail::ActiveEdge& edge : data.Retiring)
    {
        data.OwnStatus(edge.Edge).Remove(edge.Edge, edge.MinY, edge.Slot);
    }
}

// Whether the y intervals lie nearer than the check's tolerance.
bool AreNearInY(const Rectangle& a, const Rectangle& b, double tolerance) noexcept
{
    return a.MinY < b.MaxY + tolerance && a.MaxY > b.MinY - tolerance;
}

// Tests the current edge against one active edge; returns whether they meet.
template <SweepPurpose Purpose>
bool TestCandidate(const WorkingData& data, std::uint32_t current, std::uint32_t candidate,
                   bool fromOverflow, IntersectionList& result)
{
    const bool selfMode = data.SameList;
    // The first list's edge, or in self mode the earlier edge, is compared first.
    const bool currentFirst = selfMode ? current < candidate : data.IsFromFirst(current);
    const LinearEdge first = data.EdgeAt(currentFirst ? current : candidate);
    const LinearEdge second = data.EdgeAt(currentFirst ? candidate : current);
    // Most candidates of a ring's own check are the edge's two neighbours, which need no
    // node read at all.
    if (selfMode && Detail::AreRingNeighbours(first, second))
    {
        return false;
    }
    // The end nodes are read again here rather than kept for every edge: an edge meets only
    // a few candidates, and every byte kept per edge is fresh memory to fault in. Every edge's
    // nodes were read once before the sweep, so this cannot throw.
    const Detail::EdgeSnapshot a(first);
    const Detail::EdgeSnapshot b(second);
    if (fromOverflow)
    {
        // A check tests the overflow edges that an interval set would offer, which include
        // every pair whose bounds intersect.
        const bool near =
            Purpose == SweepPurpose::Check
                ? AreNearInY(a.Bounds, b.Bounds, CandidateTolerance<Purpose>(data))
            : selfMode ? a.Bounds.Intersects(b.Bounds)
                       : Detail::AreBoundsNear(a.Bounds, b.Bounds, data.Tolerance);
        if (!near)
        {
            return false;
        }
    }
    return Detail::TestAndRecordPair(a, b, selfMode, result);
}

// The y range of an edge as the overflow filter compares it. An end point whose y is not a
// number may hide in the minimum and maximum (std::min(5, NaN) is 5) while the pair test sees
// it: then the range is not a number either, which no comparison of the filter rejects.
Detail::IntervalEntry OverflowRange(const Detail::SweepEnds& ends, std::uint32_t edge) noexcept
{
    if (std::isnan(ends.Left.Y) || std::isnan(ends.Right.Y))
    {
        constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
        return {notANumber, notANumber, edge};
    }
    return {ends.MinY(), ends.MaxY(), edge};
}

// Whether TestCandidate would find an overflow candidate too far in y, told from the two y
// ranges without reading nodes. Each rule is the y part of the bounds test that TestCandidate
// applies to overflow candidates, on the same values (the ranges hold the minimum and maximum
// of the end points' y, as the bounds do) with the edges in the same order, so a candidate it
// rejects is one that TestCandidate rejects.
template <SweepPurpose Purpose>
bool IsOutOfReachInY(const WorkingData& data, const Detail::IntervalEntry& current,
                     const Detail::IntervalEntry& candidate) noexcept
{
    const bool selfMode = data.SameList;
    const bool currentFirst =
        selfMode ? current.Edge < candidate.Edge : data.IsFromFirst(current.Edge);
    const Detail::IntervalEntry& a = currentFirst ? current : candidate;
    const Detail::IntervalEntry& b = currentFirst ? candidate : current;
    if constexpr (Purpose == SweepPurpose::Check)
    {
        // Not AreNearInY: a.MinY < b.MaxY + tolerance && a.MaxY > b.MinY - tolerance.
        const double tolerance = CandidateTolerance<SweepPurpose::Check>(data);
        return a.MinY >= b.MaxY + tolerance || a.MaxY <= b.MinY - tolerance;
    }
    else if (selfMode)
    {
        // The y part of Rectangle::Intersects.
        return a.MaxY < b.MinY || a.MinY > b.MaxY;
    }
    else
    {
        // The y part of Detail::AreBoundsNear.
        return b.MinY > a.MaxY + data.Tolerance || b.MaxY < a.MinY - data.Tolerance;
    }
}

// One event: retires the edges left behind, tests the edge against the candidates of the other
// list and makes it active. Returns false when it stopped at a meeting for bOneIntersection.
template <SweepPurpose Purpose>
bool AddEdge(WorkingData& data, std::uint32_t current, const Detail::SweepEnds& ends,
             IntersectionList& result, bool bOneIntersection)
{
    RetireEdges<Purpose>(data, ends.Left.X);
    const Detail::IntervalEntry entry{ends.MinY(), ends.MaxY(), current};
    const Detail::IntervalEntry range = OverflowRange(ends, current);
    const bool completed = data.OtherStatus(current).VisitCandidates(
        entry.MinY, entry.MaxY, CandidateTolerance<Purpose>(data),
        [&](std::uint32_t candidate, const Detail::IntervalEntry* overflowRange)
        {
            // An overflow holds edges that overlap others in y, not the current one: most of
            // them lie far from it, and are passed over here without reading their nodes.
            if (overflowRange != nullptr && IsOutOfReachInY<Purpose>(data, range, *overflowRange))
            {
                return true;
            }
            return !(TestCandidate<Purpose>(data, current, candidate, overflowRange != nullptr,
                                            result) &&
                     bOneIntersection);
        });
    if (!completed)
    {
        return false;
    }
    const Detail::StatusSlot slot = data.OwnStatus(current).Insert(entry, range);
    data.Active.push_back(Detail::ActiveEdge{ends.Right, entry.MinY, current, slot});
    std::push_heap(data.Active.begin(), data.Active.end(), RetiresLater{});
    return true;
}

// Runs the events in the reporting order; returns false when it stopped at a meeting for
// bOneIntersection.
bool SweepToReport(WorkingData& data, IntersectionList& result, bool bOneIntersection)
{
    for (const Detail::SweepKey& key : data.LeftOrder)
    {
        if (!AddEdge<SweepPurpose::Report>(data, key.Edge, data.EndsOf(key.Edge), result,
                                           bOneIntersection))
        {
            return false;
        }
    }
    return true;
}

// Runs the events of a check; returns false when it found a meeting.
bool SweepToCheck(WorkingData& data, IntersectionList& found)
{
    return VisitInXOrder(
        data, [&data, &found](std::uint32_t current)
        { return AddEdge<SweepPurpose::Check>(data, current, data.EndsOf(current), found, true); });
}

enum class ScanOutcome
{
    NoMeeting,
    Meeting,
    TooManyActive
};

// A check first scans the active edges near each event, retiring edges on the way, which beats
// the interval sets and the heap while they are few, as along most rings. When the edges and
// cells looked at exceed this many per event of the whole sweep, it gives up, and the check
// starts again with the interval sets: a scan costs at most a few times the sweep that follows.
constexpr std::size_t MaxScannedPerEvent = 24;

// Whether two edges of a bound ring are neighbours, which the pair test leaves out (see
// Detail::AreRingNeighbours): most candidates of a scan are, and they are told apart here from
// their numbers alone. Always false for bound lists.
bool AreBoundRingNeighbours(const WorkingData& data, std::uint32_t a, std::uint32_t b) noexcept
{
    return data.pRing != nullptr && Detail::AreNeighbourEdgeNumbers(a, b, data.FirstCount);
}

// The scan files its active edges by y (see Detail::ActiveEdgeCells) once more than this many
// are active at an event, and takes them back into its list once fewer than MinFiled are
// live: an event costs more with the cells than a scan of a short list.
constexpr std::size_t MaxScannedInList = 64;
constexpr std::size_t MinFiled = 24;

// The check with every active edge scanned at every event, or, while they are many, the
// active edges filed in the cells that the event's y interval touches: the edges whose y
// intervals lie nearer than the check's tolerance are tested, which are the pairs that the
// interval sets would offer and more. An edge whose right end lies more than the tolerance left
// of the event leaves, as it has left the interval sets; in the list, its place goes to the
// last edge, which is looked at next, since the order of the list does not matter to the check.
ScanOutcome ScanForMeeting(WorkingData& data, IntersectionList& found)
{
    const double tolerance = CandidateTolerance<SweepPurpose::Check>(data);
    const double retireTolerance = data.Tolerance;
    std::vector<Detail::ScannedEdge>& active = data.Scanned;
    Detail::ActiveEdgeCells& cells = data.Cells;
    active.clear();
    std::size_t allowed = MaxScannedPerEvent * data.EdgeCount();
    ScanOutcome outcome = ScanOutcome::NoMeeting;
    VisitInXOrder(
        data,
        [&](std::uint32_t current)
        {
            const Detail::EdgeBox box = data.BoxOf(current);
            const double x = box.MinX;
            const double low = box.MinY - tolerance;
            const double high = box.MaxY + tolerance;
            const auto meets = [&data, &found, current](std::uint32_t candidate)
            {
                return !AreBoundRingNeighbours(data, current, candidate) &&
                       TestCandidate<SweepPurpose::Check>(data, current, candidate, false, found);
            };
            const Detail::ScannedEdge edge{box.MinY, box.MaxY, box.MaxX, current};
            if (cells.IsStarted())
            {
                std::size_t work = 0;
                if (cells.FindNear(x, low, high, work, meets))
                {
                    outcome = ScanOutcome::Meeting;
                    return false;
                }
                if (cells.IsDueForCollection())
                {
                    const std::span<const Detail::ScannedEdge> live = cells.CollectLive(x, work);
                    if (live.size() < MinFiled)
                    {
                        active.assign(live.begin(), live.end());
                        cells.Stop();
                    }
                    else
                    {
                        cells.FileAnew(live);
                    }
                }
                if (cells.IsStarted())
                {
                    cells.Insert(edge, work);
                }
                else
                {
                    active.push_back(edge);
                }
                if (work > allowed)
                {
                    outcome = ScanOutcome::TooManyActive;
                    return false;
                }
                allowed -= work;
                return true;
            }
            std::size_t size = active.size();
            if (size > allowed)
            {
                outcome = ScanOutcome::TooManyActive;
                return false;
            }
            allowed -= size;
            Detail::ScannedEdge* const edges = active.data();
            for (std::size_t i = 0; i < size;)
            {
                Detail::ScannedEdge& candidate = edges[i];
                if (x - candidate.RightX > retireTolerance)
                {
                    candidate = edges[--size];
                    continue;
                }
                if (candidate.MinY < high && candidate.MaxY > low && meets(candidate.Edge))
                {
                    outcome = ScanOutcome::Meeting;
                    return false;
                }
                ++i;
            }
            active.resize(size);
            active.push_back(edge);
            if (active.size() > MaxScannedInList)
            {
                cells.Start(active, retireTolerance);
                active.clear();
            }
            return true;
        });
    return outcome;
}

// How near the clearance check lets a vertex come to an edge. The pair test of a ring's own
// edges is exact: it finds a meeting only where they cross, touch or overlap, or where an end
// point's probe square, one grid step wide, meets the other edge, which lies within 0.71 grid
// steps of it. A whole grid step keeps every such pair; the clearance check adds the slack
// for the rounding of its distances.
double ClearanceReach() noexcept
{
    return CurrentPrecision().GridStep;
}

// Whether the edges that data has bucketed, one list or a whole ring, meet nowhere: the scan,
// and when it gives up, for a ring the clearance check, which answers at n log n where many
// long edges overlap in x, and when that cannot tell, the sweep.
bool BucketsHoldNoMeeting(WorkingData& data)
{
    IntersectionList found;
    switch (ScanForMeeting(data, found))
    {
    case ScanOutcome::NoMeeting:
        return true;
    case ScanOutcome::Meeting:
        return false;
    case ScanOutcome::TooManyActive:
        break;
    }
    if (data.pRing != nullptr && data.Clearance.IsClear(data.RingNodes, ClearanceReach()))
    {
        return true;
    }
    return SweepToCheck(data, found);
}

// Whether a check of the bound edges (one list, or a ring) finds no meeting. A check tests
// every pair that the reporting sweep tests, and more, and classifies each pair alike, so when
// it finds nothing the reporting sweep finds nothing either. It skips the sort that keeps equal
// end points in std::sort's order and the ranking of right ends.
bool CheckFindsNoMeeting(WorkingData& data)
{
    return PrepareCheck(data) && BucketsHoldNoMeeting(data);
}

// A ring of this many edges or more is checked in two halves at once when the machine has a
// second core: the check is most of the cost of committing a large polygon.
constexpr std::uint32_t HalvedCheckEdges = std::uint32_t{1} << 16;

// Where a bucketed check splits into halves of about equal size: the first bucket of the
// later half; 0 when one bucket holds half of the edges or more.
std::size_t LaterHalfStart(const WorkingData& data)
{
    const std::vector<std::uint32_t>& ends = data.BucketEnds;
    const auto later = std::upper_bound(ends.begin(), ends.end(), data.EdgeCount() / 2);
    if (later == ends.begin() || later == ends.end() || *(later - 1) == 0)
    {
        return 0;
    }
    return static_cast<std::size_t>(later - ends.begin());
}

// Makes later the check of the edges in data's buckets from the one that starts at begin on,
// preceded by a bucket of the earlier edges whose right ends reach within the tolerance of the
// least x of those later edges. The linear map of x onto buckets never puts a smaller x into a
// later bucket, so the earlier edges are those whose left x lies below that least x. The whole
// check tests an earlier edge against a later one only while the earlier has not retired at the
// later one's left end, which lies at that least x or beyond: so the earlier half, which keeps
// the buckets before begin, and this later half together test every pair that the whole check
// tests, and nothing that it would not. Runs on the later half's thread. The caller has copied
// into later the bucket ends from begin on, less begin and after a leading 0, before the halves
// started: data's bucket ends are not read here, as the caller shortens them meanwhile.
void FillLaterHalf(const WorkingData& data, WorkingData& later, std::uint32_t begin)
{
    const std::uint32_t count = data.EdgeCount();
    double leastX = std::numeric_limits<double>::infinity();
    for (std::uint32_t i = begin; i < begin + later.BucketEnds[1]; ++i)
    {
        leastX = std::min(leastX, data.LeftXOf(data.CheckOrder[i]));
    }
    auto& order = later.CheckOrder;
    order.reserve(count - begin);
    for (std::uint32_t edge = 0; edge < count; ++edge)
    {
        const Detail::EdgeBox box = data.BoxOf(edge);
        if (box.MinX < leastX && !(leastX - box.MaxX > data.Tolerance))
        {
            order.push_back(edge);
        }
    }
    const auto reaching = static_cast<std::uint32_t>(order.size());
    order.insert(order.end(), data.CheckOrder.begin() + begin, data.CheckOrder.begin() + count);
    for (std::uint32_t& end : later.BucketEnds)
    {
        end += reaching;
    }
    later.BucketEnds.front() = reaching;
}

// Runs the sweeps of the halves whose scans gave up, bEarlier for data's, bLater for later's;
// both at once on two threads when both did. Returns whether neither found a meeting.
bool SweepHalvesThatGaveUp(WorkingData& data, WorkingData& later, bool bEarlier, bool bLater)
{
    IntersectionList found;
    if (!bLater)
    {
        return SweepToCheck(data, found);
    }
    if (!bEarlier)
    {
        return SweepToCheck(later, found);
    }
    std::future<bool> laterClear;
    try
    {
        laterClear = std::async(std::launch::async,
                                [&later, precision = CurrentPrecision()]
                                {
                                    const PrecisionScope precisionScope(precision);
                                    IntersectionList laterFound;
                                    return SweepToCheck(later, laterFound);
                                });
    }
    catch (const std::system_error&) // no thread to be had: one after the other on this one
    {
        return SweepToCheck(data, found) && SweepToCheck(later, found);
    }
    const bool earlierClear = SweepToCheck(data, found);
    return laterClear.get() && earlierClear;
}

// Whether a ring's check, bucketed in data, finds no meeting, with the later half of the
// buckets scanned on a second thread in later (bound to the same ring). Both threads only read
// the ring's nodes, and each writes its own working data. When a scan gives up, the clearance
// check of the whole ring answers first, and only when it cannot tell do the sweeps of the
// halves that gave up run.
bool HalvesHoldNoMeeting(WorkingData& data, WorkingData& later)
{
    const std::size_t split = LaterHalfStart(data);
    if (split == 0)
    {
        return BucketsHoldNoMeeting(data);
    }
    const std::uint32_t begin = data.BucketEnds[split - 1];
    later.BucketEnds.assign(1, 0);
    for (std::size_t bucket = split; bucket < data.BucketEnds.size(); ++bucket)
    {
        later.BucketEnds.push_back(data.BucketEnds[bucket] - begin);
    }
    StartStatuses(later, data.EdgeCount());
    std::future<ScanOutcome> laterScan;
    try
    {
        // The pair tests on the second thread read the precision of this one.
        laterScan = std::async(std::launch::async,
                               [&data, &later, begin, precision = CurrentPrecision()]
                               {
                                   const PrecisionScope precisionScope(precision);
                                   FillLaterHalf(data, later, begin);
                                   IntersectionList found;
                                   return ScanForMeeting(later, found);
                               });
    }
    catch (const std::system_error&) // no thread to be had: the whole check on this one
    {
        return BucketsHoldNoMeeting(data);
    }
    data.BucketEnds.resize(split);
    IntersectionList found;
    const ScanOutcome earlier = ScanForMeeting(data, found);
    const ScanOutcome laterOutcome = laterScan.get();
    if (earlier == ScanOutcome::Meeting || laterOutcome == ScanOutcome::Meeting)
    {
        return false;
    }
    if (earlier == ScanOutcome::NoMeeting && laterOutcome == ScanOutcome::NoMeeting)
    {
        return true;
    }
    if (data.Clearance.IsClear(data.RingNodes, ClearanceReach()))
    {
        return true;
    }
    return SweepHalvesThatGaveUp(data, later, earlier == ScanOutcome::TooManyActive,
                                 laterOutcome == ScanOutcome::TooManyActive);
}

// Whether the check of a ring may start a second thread: when a second core is there, and the
// ring's topology, if it has one, allows its layer work two threads or more (with one, its
// commits start no thread).
bool MayCheckOnSecondThread(const Ring& ring)
{
    if (!Detail::HasSecondCore())
    {
        return false;
    }
    const Topology* topology = Topology::FromId(ring.GetTopologyId());
    return topology == nullptr || Detail::LayerThreadsOf(*topology) >= 2;
}

// The check of a ring, in halves on two threads when the ring is large and a second thread is
// allowed.
bool RingCheckFindsNoMeeting(WorkingData& data, WorkingData& later)
{
    if (!PrepareCheck(data))
    {
        return false;
    }
    if (data.EdgeCount() < HalvedCheckEdges || !MayCheckOnSecondThread(*data.pRing))
    {
        return BucketsHoldNoMeeting(data);
    }
    const WorkingDataScope scope(later);
    BindRing(later, *data.pRing);
    return HalvesHoldNoMeeting(data, later);
}

} // namespace

void SweepLineIntersectionAlgorithm::FindIntersections(const EdgeList& first,
                                                       const EdgeList& second,
                                                       IntersectionList& result,
                                                       bool bOneIntersection)
{
    WorkingData& data = *m_data;
    const WorkingDataScope scope(data);
    // A ring's own check for a first meeting mostly finds none: then a check that does not
    // keep the reporting order answers alone, and otherwise the reporting sweep finds the
    // same first meeting as always.
    if (&first == &second && bOneIntersection)
    {
        BindLists(data, first, second);
        if (CheckFindsNoMeeting(data))
        {
            return;
        }
        data.Clear();
    }
    BindLists(data, first, second);
    CreateReportEvents(data);
    SweepToReport(data, result, bOneIntersection);
}

void SweepLineIntersectionAlgorithm::FindFirstRingMeeting(const Ring& ring,
                                                          IntersectionList& result)
{
    WorkingData& data = *m_data;
    const WorkingDataScope scope(data);
    // The ring's edges are made from its nodes when needed: they are the edges that the list
    // would hold, in its order, so every step, and with it every report, is that of the list.
    Ring* edgesRing = const_cast<Ring*>(&ring); // edges are read-only views of the ring
    BindRing(data, *edgesRing);
    if (RingCheckFindsNoMeeting(data, *m_laterHalf))
    {
        return;
    }
    data.Clear();
    BindRing(data, *edgesRing);
    CreateReportEvents(data);
    SweepToReport(data, result, true);
}

SegmentsIntersectionAlgorithm& ChooseIntersectionAlgorithm(std::int64_t firstCount,
                                                           std::int64_t secondCount)
{
    const double n = static_cast<double>(firstCount + secondCount);
    const double p = static_cast<double>(firstCount) * static_cast<double>(secondCount);
    // With n = 0 the logarithm is -infinity and the product NaN: the comparison fails and
    // brute force is used, as for every other small input.
    if ((1.17 * std::log(n) + 11.4) * n < p)
    {
        return SweepLineIntersectionAlgorithm::Instance();
    }
    return BruteForceAlgorithm::Instance();
}

void SelectIntersectionAlgorithm(const EdgeList& first, const EdgeList& second,
                                 IntersectionList& result, bool bOneIntersection)
{
    ChooseIntersectionAlgorithm(first.Count(), second.Count())
        .FindIntersections(first, second, result, bOneIntersection);
}

} // namespace Arealis
