#pragma once

#include "Arealis/LinearEdge.h"
#include "Arealis/Point.h"
#include "Arealis/Precision.h"
#include "Collections/PlainArray.h"

#include <cstdint>
#include <memory>

namespace Arealis
{

// One point where an edge of the first list meets an edge of the second list.
struct EdgeIntersection
{
    LinearEdge FirstEdge;
    LinearEdge SecondEdge;
    Point Location;
};

using EdgeList = Collections::PlainArray<LinearEdge>;
using IntersectionList = Collections::PlainArray<EdgeIntersection>;

// How an end point is matched against another edge. Tolerant: nearer than the current
// precision's tolerance to the edge's interior (and farther than that from its ends), or within
// the probe square, one grid step wide. Exact: only the probe square. Both accept an exact hit
// of an end point. See Precision.h.
enum class ProximityMode
{
    Tolerant,
    Exact
};

// How two edges meet. The values are stored in reports and logs, so they are fixed.
enum class IntersectionKind : std::int32_t
{
    None = 0,
    Crossing = 1,
    Touching = 3,
    Overlapping = 4,
    Identical = 12
};

// Classification of one pair of edges A and B.
struct SegmentsIntersection
{
    IntersectionKind Kind = IntersectionKind::None;
    // The meeting point for crossings and touches; the first point found for overlaps.
    Point Location;
    // The two ends of the common part of overlapping edges.
    Point OverlapStart;
    Point OverlapEnd;

    // End points of B against A first, then those of A against B; a crossing is looked for
    // only when no end point lies on the other edge.
    static SegmentsIntersection Classify(const Point& aStart, const Point& aEnd,
                                         const Point& bStart, const Point& bEnd,
                                         ProximityMode mode) noexcept;
};

// Whether p lies on the edge start-end in the given mode.
bool IsPointOnSegment(const Point& p, const Point& start, const Point& end,
                      ProximityMode mode) noexcept;

// Crossing test of two edges, end points included; parallel and degenerate edges never cross,
// nor do edges whose determinant lies within its rounding error (collinear edges). On success
// the crossing point is written to *pPoint when pPoint is not null.
bool FindSegmentsCrossing(const Point& aStart, const Point& aEnd, const Point& bStart,
                          const Point& bEnd, Point* pPoint) noexcept;

// Finds the points where edges meet. Self mode when both lists are the same object: the edges
// of one ring against each other, never pairing neighbours. Otherwise the edges of the first
// list against those of the second, each entry naming the first list's edge first.
class SegmentsIntersectionAlgorithm
{
public:
    virtual ~SegmentsIntersectionAlgorithm() = default;

    // Appends one entry per meeting point. With bOneIntersection the search stops after the
    // first pair of edges that meet. Throws ArgumentOutOfRangeException for an edge whose
    // indices lie outside its ring; the entries appended before stay.
    virtual void FindIntersections(const EdgeList& first, const EdgeList& second,
                                   IntersectionList& result, bool bOneIntersection) = 0;

protected:
    SegmentsIntersectionAlgorithm() = default;
    SegmentsIntersectionAlgorithm(const SegmentsIntersectionAlgorithm&) = default;
    SegmentsIntersectionAlgorithm& operator=(const SegmentsIntersectionAlgorithm&) = default;
};

// Tests every pair of edges behind a rectangle filter. One instance per process.
class BruteForceAlgorithm final : public SegmentsIntersectionAlgorithm
{
public:
    static BruteForceAlgorithm& Instance();

    void FindIntersections(const EdgeList& first, const EdgeList& second, IntersectionList& result,
                           bool bOneIntersection) override;

private:
    BruteForceAlgorithm() = default;
};

// Plane sweep in x with interval sets in y. One instance per thread; it keeps its working
// data between the start and the end of a call, so calls on one instance must not overlap.
// A large ring's check may run on a second thread for the duration of the call.
class SweepLineIntersectionAlgorithm final : public SegmentsIntersectionAlgorithm
{
public:
    static SweepLineIntersectionAlgorithm& Instance();

    ~SweepLineIntersectionAlgorithm() override;
    SweepLineIntersectionAlgorithm(const SweepLineIntersectionAlgorithm&) = delete;
    SweepLineIntersectionAlgorithm& operator=(const SweepLineIntersectionAlgorithm&) = delete;

    void FindIntersections(const EdgeList& first, const EdgeList& second, IntersectionList& result,
                           bool bOneIntersection) override;

    // Appends what FindIntersections(edges, edges, result, true) appends for the list of the
    // ring's edges, node i to node (i + 1) mod n in that order, without making the list.
    void FindFirstRingMeeting(const Ring& ring, IntersectionList& result);

    // True while no call holds working data; for checks that a call cleans up after itself.
    bool HoldsNoWorkingData() const noexcept;

    // The edges, their sorted end points and the status structures of one call; defined with
    // the algorithm.
    struct WorkingData;

private:
    SweepLineIntersectionAlgorithm();

    std::unique_ptr<WorkingData> m_data;
    // The later half of a large ring's check, which runs on a second thread.
    std::unique_ptr<WorkingData> m_laterHalf;
};

// The algorithm the cost rule picks for lists of the given lengths (equal lengths in self
// mode): the sweep when (1.17 ln n + 11.4) n < p with n = a + b and p = a b, brute force
// otherwise.
SegmentsIntersectionAlgorithm& ChooseIntersectionAlgorithm(std::int64_t firstCount,
                                                           std::int64_t secondCount);

// The entry point of all callers: finds the intersections with the algorithm that the cost
// rule picks. Self mode when &first == &second.
void SelectIntersectionAlgorithm(const EdgeList& first, const EdgeList& second,
                                 IntersectionList& result, bool bOneIntersection);

} // namespace Arealis
