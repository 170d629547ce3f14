#include "Arealis/SegmentIntersection.h"
#include "EdgePairTest.h"
#include "SweepStatus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace Arealis
{

struct SweepLineIntersectionAlgorithm::WorkingData
{
    // Every edge of both lists; reserved up front so that the references below stay valid.
    std::vector<Detail::SweepEvent> Events;
    std::vector<Detail::SweepEvent*> LeftEnds;
    std::vector<Detail::SweepEvent*> RightEnds;
    // One status per input list; in self mode the first serves both.
    std::array<Detail::SweepStatus, 2> Statuses;
    bool SameList = false;

    void Clear() noexcept
    {
        // Swapping with empty vectors gives the memory back between calls.
        std::vector<Detail::SweepEvent>().swap(Events);
        std::vector<Detail::SweepEvent*>().swap(LeftEnds);
        std::vector<Detail::SweepEvent*>().swap(RightEnds);
        for (Detail::SweepStatus& status : Statuses)
        {
            status.Clear();
        }
        SameList = false;
    }

    bool IsEmpty() const noexcept
    {
        return Events.empty() && LeftEnds.empty() && RightEnds.empty() && !SameList;
    }

    Detail::SweepStatus& OwnStatus(const Detail::SweepEvent& event) noexcept
    {
        return Statuses[SameList || event.FromFirst ? 0 : 1];
    }

    Detail::SweepStatus& OtherStatus(const Detail::SweepEvent& event) noexcept
    {
        return Statuses[SameList || !event.FromFirst ? 0 : 1];
    }
};

namespace
{

// Clears the working data when a call starts and again when it ends, also by an exception or
// an early stop.
class WorkingDataScope
{
public:
    explicit WorkingDataScope(SweepLineIntersectionAlgorithm::WorkingData& data) noexcept
        : m_data(data)
    {
        m_data.Clear();
    }
    ~WorkingDataScope() { m_data.Clear(); }
    WorkingDataScope(const WorkingDataScope&) = delete;
    WorkingDataScope& operator=(const WorkingDataScope&) = delete;

private:
    SweepLineIntersectionAlgorithm::WorkingData& m_data;
};

bool PrecedesBySweepOrder(const Point& a, const Point& b) noexcept
{
    return a < b;
}

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

// An end point of an edge with its event, so that sorting reads the points in place instead
// of through the event pointers.
struct EndPoint
{
    Point At;
    Detail::SweepEvent* Event;
};

// Sorts the events by one of their end points into order. The keys go through the same sort
// with the same comparisons as the events themselves would, so edges with equal end points
// keep the order that sorting the events gives.
void SortByEndPoint(std::vector<Detail::SweepEvent>& events, bool left,
                    std::vector<EndPoint>& scratch, std::vector<Detail::SweepEvent*>& sorted)
{
    scratch.clear();
    for (Detail::SweepEvent& event : events)
    {
        scratch.push_back(EndPoint{left ? event.Left : event.Right, &event});
    }
    std::sort(scratch.begin(), scratch.end(),
              [](const EndPoint& a, const EndPoint& b)
              { return PrecedesBySweepOrder(a.At, b.At); });
    sorted.reserve(scratch.size());
    for (const EndPoint& end : scratch)
    {
        sorted.push_back(end.Event);
    }
}

void CreateEvents(SweepLineIntersectionAlgorithm::WorkingData& data, const EdgeList& first,
                  const EdgeList& second)
{
    const std::size_t total = static_cast<std::size_t>(first.Count()) +
                              (data.SameList ? 0U : static_cast<std::size_t>(second.Count()));
    data.Events.reserve(total);
    for (std::int32_t i = 0; i < first.Count(); ++i)
    {
        data.Events.emplace_back(first[i], true, i);
    }
    if (!data.SameList)
    {
        for (std::int32_t i = 0; i < second.Count(); ++i)
        {
            data.Events.emplace_back(second[i], false, i);
        }
    }
    std::vector<EndPoint> scratch;
    scratch.reserve(total);
    SortByEndPoint(data.Events, true, scratch, data.LeftEnds);
    SortByEndPoint(data.Events, false, scratch, data.RightEnds);
}

// Tests the current edge against one active edge; returns whether they meet.
bool TestCandidate(const Detail::SweepEvent& current, const Detail::SweepEvent& candidate,
                   bool fromOverflow, bool selfMode, IntersectionList& result)
{
    // The first list's edge, or in self mode the earlier edge, is compared first.
    const bool currentFirst = selfMode ? current.Position < candidate.Position : current.FromFirst;
    const Detail::EdgeSnapshot& a = currentFirst ? current.Snapshot : candidate.Snapshot;
    const Detail::EdgeSnapshot& b = currentFirst ? candidate.Snapshot : current.Snapshot;
    if (selfMode && Detail::AreRingNeighbours(a.Edge, b.Edge))
    {
        return false;
    }
    if (fromOverflow)
    {
        const bool near =
            selfMode ? a.Bounds.Intersects(b.Bounds) : Detail::AreBoundsNear(a.Bounds, b.Bounds);
        if (!near)
        {
            return false;
        }
    }
    return Detail::TestAndRecordPair(a, b, selfMode, result);
}

} // namespace

void SweepLineIntersectionAlgorithm::FindIntersections(const EdgeList& first,
                                                       const EdgeList& second,
                                                       IntersectionList& result,
                                                       bool bOneIntersection)
{
    WorkingData& data = *m_data;
    const WorkingDataScope scope(data);
    data.SameList = &first == &second;
    CreateEvents(data, first, second);

    std::size_t nextRight = 0;
    for (Detail::SweepEvent* pCurrent : data.LeftEnds)
    {
        const Point& left = pCurrent->Left;
        while (nextRight < data.RightEnds.size() &&
               left.X - data.RightEnds[nextRight]->Right.X > IntersectionTolerance)
        {
            Detail::SweepEvent* pRetired = data.RightEnds[nextRight];
            data.OwnStatus(*pRetired).Remove(pRetired);
            ++nextRight;
        }
        const bool completed = data.OtherStatus(*pCurrent).VisitCandidates(
            *pCurrent,
            [&](const Detail::SweepEvent& candidate, bool fromOverflow)
            {
                return !(TestCandidate(*pCurrent, candidate, fromOverflow, data.SameList, result) &&
                         bOneIntersection);
            });
        if (!completed)
        {
            return;
        }
        data.OwnStatus(*pCurrent).Insert(pCurrent);
    }
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
