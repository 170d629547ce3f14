#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "EdgePairTest.h"
#include "SweepStatus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
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

// An active edge of a check that scans all active edges at every event.
struct ScannedEdge
{
    double MinY = 0.0;
    double MaxY = 0.0;
    double RightX = 0.0;
    std::uint32_t Edge = 0;
};

} // namespace Detail

// Edges are numbered through both lists, the first list's first; the arrays are indexed by
// that number.
struct SweepLineIntersectionAlgorithm::WorkingData
{
    const EdgeList* pFirst = nullptr;
    const EdgeList* pSecond = nullptr;
    std::uint32_t FirstCount = 0;
    bool SameList = false;

    // The edges in the order of their left end points.
    std::vector<Detail::SweepKey> LeftOrder;
    // The other half of the bucket sort of a check, and the ends of its buckets.
    std::vector<Detail::SweepKey> SortBuffer;
    std::vector<std::uint32_t> BucketEnds;
    // Min-heap of the active edges by their right end points.
    std::vector<Detail::ActiveEdge> Active;
    // The edges that leave the status before the current event.
    std::vector<Detail::ActiveEdge> Retiring;
    // The active edges of a check while they are few enough to scan.
    std::vector<Detail::ScannedEdge> Scanned;
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
        FirstCount = 0;
        SameList = false;
        const bool keep = BufferBytes() <= RetainedBytes;
        Reset(LeftOrder, keep);
        Reset(SortBuffer, keep);
        Reset(BucketEnds, keep);
        Reset(Active, keep);
        Reset(Retiring, keep);
        Reset(Scanned, keep);
        Reset(RightRanks, keep);
        for (Detail::SweepStatus& status : Statuses)
        {
            status.Clear();
        }
    }

    static constexpr std::size_t RetainedBytes = std::size_t{16} << 20;

    std::size_t BufferBytes() const noexcept
    {
        return (LeftOrder.capacity() + SortBuffer.capacity()) * sizeof(Detail::SweepKey) +
               (Active.capacity() + Retiring.capacity()) * sizeof(Detail::ActiveEdge) +
               Scanned.capacity() * sizeof(Detail::ScannedEdge) +
               (RightRanks.capacity() + BucketEnds.capacity()) * sizeof(std::uint32_t);
    }

    template <class T>
    static void Reset(std::vector<T>& buffer, bool keep) noexcept
    {
        if (keep)
        {
            buffer.clear();
        }
        else
        {
            std::vector<T>().swap(buffer);
        }
    }

    bool IsEmpty() const noexcept
    {
        return LeftOrder.empty() && SortBuffer.empty() && BucketEnds.empty() && Active.empty() &&
               Retiring.empty() && Scanned.empty() && RightRanks.empty() && !SameList &&
               pFirst == nullptr;
    }

    bool IsFromFirst(std::uint32_t edge) const noexcept { return SameList || edge < FirstCount; }

    const LinearEdge& EdgeAt(std::uint32_t edge) const
    {
        const auto index = static_cast<std::int32_t>(edge);
        return edge < FirstCount ? (*pFirst)[index]
                                 : (*pSecond)[index - static_cast<std::int32_t>(FirstCount)];
    }

    // The end points are read from the nodes whenever needed instead of being copied for
    // every edge: the nodes of a ring lie close together, while a copy is fresh memory to
    // fault in.
    Detail::SweepEnds EndsOf(std::uint32_t edge) const
    {
        // The ring's nodes directly, as LinearEdge::Start and End read them, without the calls.
        const LinearEdge& linear = EdgeAt(edge);
        Point left = linear.Ring->GetNode(linear.StartIndex)->Position;
        Point right = linear.Ring->GetNode(linear.EndIndex)->Position;
        if (right < left)
        {
            std::swap(left, right);
        }
        return {left, right};
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
    explicit WorkingDataScope(WorkingData& data) noexcept : m_data(data) { m_data.Clear(); }
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
constexpr double CandidateTolerance =
    Purpose == SweepPurpose::Check ? 2 * IntersectionTolerance : IntersectionTolerance;

} // namespace

SweepLineIntersectionAlgorithm::SweepLineIntersectionAlgorithm()
    : m_data(std::make_unique<WorkingData>())
{
}

SweepLineIntersectionAlgorithm::~SweepLineIntersectionAlgorithm() = default;

SweepLineIntersectionAlgorithm& SweepLineIntersectionAlgorithm::Instance()
{
    static SweepLineIntersectionAlgorithm instance;
    return instance;
}

bool SweepLineIntersectionAlgorithm::HoldsNoWorkingData() const noexcept
{
    return m_data->IsEmpty();
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

// Reads every edge's end nodes once, in list order, so that an edge outside its ring throws
// before anything is reported, and keys the edges by the x of their left end points. A check
// also learns whether all coordinates are modest (finite among others).
template <SweepPurpose Purpose>
bool ReadEdges(WorkingData& data, std::uint32_t count)
{
    data.LeftOrder.resize(count);
    bool modest = true;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const Detail::SweepEnds ends = data.EndsOf(i);
        if (Purpose == SweepPurpose::Check)
        {
            modest = modest && IsModest(ends.Left) && IsModest(ends.Right);
        }
        data.LeftOrder[i] = Detail::SweepKey{ends.Left.X, i};
    }
    return modest;
}

// Sorts keys with modest x by x, equal x in any order: the keys are distributed over about n / 2
// buckets by a linear map of x, which never puts a smaller x into a later bucket, and each
// bucket, mostly of a few keys, is sorted on its own.
void SortByX(std::vector<Detail::SweepKey>& keys, std::vector<Detail::SweepKey>& buffer,
             std::vector<std::uint32_t>& bucketEnds)
{
    const auto [lowest, highest] = std::minmax_element(
        keys.begin(), keys.end(),
        [](const Detail::SweepKey& a, const Detail::SweepKey& b) { return a.X < b.X; });
    const double low = lowest->X;
    const std::size_t buckets = std::max<std::size_t>(1, keys.size() / 2);
    const double scale = highest->X > low ? static_cast<double>(buckets) / (highest->X - low) : 0.0;
    const auto bucketOf = [low, scale, buckets](double x)
    { return std::min(static_cast<std::size_t>((x - low) * scale), buckets - 1); };

    bucketEnds.assign(buckets, 0);
    for (const Detail::SweepKey& key : keys)
    {
        ++bucketEnds[bucketOf(key.X)];
    }
    std::uint32_t start = 0;
    for (std::uint32_t& end : bucketEnds)
    {
        const std::uint32_t size = end;
        end = start;
        start += size;
    }
    buffer.resize(keys.size());
    for (const Detail::SweepKey& key : keys)
    {
        buffer[bucketEnds[bucketOf(key.X)]++] = key;
    }
    const auto byX = [](const Detail::SweepKey& a, const Detail::SweepKey& b) { return a.X < b.X; };
    std::uint32_t begin = 0;
    for (const std::uint32_t end : bucketEnds)
    {
        if (end - begin > 1)
        {
            std::sort(buffer.begin() + begin, buffer.begin() + end, byX);
        }
        begin = end;
    }
    keys.swap(buffer);
}

// Prepares the events; returns false, with nothing prepared beyond reading the edges, when a
// check cannot rely on the coordinates.
template <SweepPurpose Purpose>
bool CreateEvents(WorkingData& data, const EdgeList& first, const EdgeList& second)
{
    data.pFirst = &first;
    data.pSecond = &second;
    data.SameList = &first == &second;
    data.FirstCount = static_cast<std::uint32_t>(first.Count());
    const std::size_t total = static_cast<std::size_t>(first.Count()) +
                              (data.SameList ? 0U : static_cast<std::size_t>(second.Count()));
    const bool modest = ReadEdges<Purpose>(data, static_cast<std::uint32_t>(total));
    if (Purpose == SweepPurpose::Check && (!modest || total == 0))
    {
        return false;
    }
    for (Detail::SweepStatus& status : data.Statuses)
    {
        status.Start(total);
    }
    if (Purpose == SweepPurpose::Check)
    {
        SortByX(data.LeftOrder, data.SortBuffer, data.BucketEnds);
    }
    else
    {
        SortByEndPoint(data.LeftOrder,
                       [&data](std::uint32_t edge) { return data.EndsOf(edge).Left; });
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
    if (active.empty() || !(x - active.front().Right.X > IntersectionTolerance))
    {
        return;
    }
    data.Retiring.clear();
    while (!active.empty() && x - active.front().Right.X > IntersectionTolerance)
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
bool AreNearInY(const Rectangle& a, const Rectangle& b) noexcept
{
    constexpr double tolerance = CandidateTolerance<SweepPurpose::Check>;
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
    const LinearEdge& first = data.EdgeAt(currentFirst ? current : candidate);
    const LinearEdge& second = data.EdgeAt(currentFirst ? candidate : current);
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
        const bool near = Purpose == SweepPurpose::Check ? AreNearInY(a.Bounds, b.Bounds)
                          : selfMode                     ? a.Bounds.Intersects(b.Bounds)
                                     : Detail::AreBoundsNear(a.Bounds, b.Bounds);
        if (!near)
        {
            return false;
        }
    }
    return Detail::TestAndRecordPair(a, b, selfMode, result);
}

// Runs the events; returns false when it stopped at a meeting for bOneIntersection.
template <SweepPurpose Purpose>
bool Sweep(WorkingData& data, IntersectionList& result, bool bOneIntersection)
{
    for (const Detail::SweepKey& key : data.LeftOrder)
    {
        const std::uint32_t current = key.Edge;
        RetireEdges<Purpose>(data, key.X);
        const Detail::SweepEnds ends = data.EndsOf(current);
        const Detail::IntervalEntry entry{ends.MinY(), ends.MaxY(), current};
        const bool completed = data.OtherStatus(current).VisitCandidates(
            entry.MinY, entry.MaxY, CandidateTolerance<Purpose>,
            [&](std::uint32_t candidate, bool fromOverflow)
            {
                return !(TestCandidate<Purpose>(data, current, candidate, fromOverflow, result) &&
                         bOneIntersection);
            });
        if (!completed)
        {
            return false;
        }
        const Detail::StatusSlot slot = data.OwnStatus(current).Insert(entry);
        data.Active.push_back(Detail::ActiveEdge{ends.Right, entry.MinY, current, slot});
        std::push_heap(data.Active.begin(), data.Active.end(), RetiresLater{});
    }
    return true;
}

enum class ScanOutcome
{
    NoMeeting,
    Meeting,
    TooManyActive
};

// A check first scans all active edges at every event, retiring edges on the way, which beats
// the interval sets and the heap while they are few, as along most rings. When the edges
// scanned exceed this many per event of the whole sweep, it gives up, and the check starts
// again with the interval sets: a scan costs at most a few times the sweep that follows.
constexpr std::size_t MaxScannedPerEvent = 24;

// The check with every active edge scanned at every event: the edges whose y intervals lie
// nearer than the check's tolerance are tested, which are the pairs that the interval sets
// would offer and more.
ScanOutcome ScanForMeeting(WorkingData& data, IntersectionList& found)
{
    constexpr double tolerance = CandidateTolerance<SweepPurpose::Check>;
    std::vector<Detail::ScannedEdge>& active = data.Scanned;
    active.clear();
    std::size_t allowed = MaxScannedPerEvent * data.LeftOrder.size();
    for (const Detail::SweepKey& key : data.LeftOrder)
    {
        if (active.size() > allowed)
        {
            return ScanOutcome::TooManyActive;
        }
        allowed -= active.size();
        const std::uint32_t current = key.Edge;
        const Detail::SweepEnds ends = data.EndsOf(current);
        const double minY = ends.MinY();
        const double maxY = ends.MaxY();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < active.size(); ++i)
        {
            const Detail::ScannedEdge& candidate = active[i];
            if (key.X - candidate.RightX > IntersectionTolerance)
            {
                continue;
            }
            // Edges move down only over retired ones.
            if (kept != i)
            {
                active[kept] = candidate;
            }
            ++kept;
            if (candidate.MinY < maxY + tolerance && candidate.MaxY > minY - tolerance &&
                TestCandidate<SweepPurpose::Check>(data, current, candidate.Edge, false, found))
            {
                return ScanOutcome::Meeting;
            }
        }
        active.resize(kept);
        active.push_back(Detail::ScannedEdge{minY, maxY, ends.Right.X, current});
    }
    return ScanOutcome::NoMeeting;
}

// Whether a check of one list's edges finds no meeting. A check tests every pair that the
// reporting sweep tests, and more, and classifies each pair alike, so when it finds nothing
// the reporting sweep finds nothing either. It skips the sort that keeps equal end points in
// std::sort's order and the ranking of right ends.
bool CheckFindsNoMeeting(WorkingData& data, const EdgeList& edges)
{
    if (!CreateEvents<SweepPurpose::Check>(data, edges, edges))
    {
        return false;
    }
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
    return Sweep<SweepPurpose::Check>(data, found, true);
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
        if (CheckFindsNoMeeting(data, first))
        {
            return;
        }
        data.Clear();
    }
    CreateEvents<SweepPurpose::Report>(data, first, second);
    Sweep<SweepPurpose::Report>(data, result, bOneIntersection);
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
