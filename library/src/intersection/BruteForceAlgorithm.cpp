#include "Arealis/SegmentIntersection.h"
#include "intersection/EdgePairTest.h"

#include <vector>

namespace Arealis
{

namespace
{

std::vector<Detail::EdgeSnapshot> ReadEdges(const EdgeList& edges)
{
    std::vector<Detail::EdgeSnapshot> snapshots;
    snapshots.reserve(static_cast<std::size_t>(edges.Count()));
    for (const LinearEdge& edge : edges)
    {
        snapshots.emplace_back(edge);
    }
    return snapshots;
}

// Pairs (i, j) with i + 2 <= j, leaving out the first edge with the last: neighbouring edges
// of a ring always share a node and are never reported.
void FindInOneList(const EdgeList& edges, IntersectionList& result, bool bOneIntersection)
{
    const std::vector<Detail::EdgeSnapshot> snapshots = ReadEdges(edges);
    const std::size_t n = snapshots.size();
    for (std::size_t i = 0; i + 1 < n; ++i)
    {
        for (std::size_t j = i + 2; j < n; ++j)
        {
            if (i == 0 && j == n - 1)
            {
                continue;
            }
            if (!snapshots[i].Bounds.Intersects(snapshots[j].Bounds))
            {
                continue;
            }
            if (Detail::TestAndRecordPair(snapshots[i], snapshots[j], true, result) &&
                bOneIntersection)
            {
                return;
            }
        }
    }
}

void FindBetweenLists(const EdgeList& first, const EdgeList& second, IntersectionList& result,
                      bool bOneIntersection)
{
    const std::vector<Detail::EdgeSnapshot> firstSnapshots = ReadEdges(first);
    const std::vector<Detail::EdgeSnapshot> secondSnapshots = ReadEdges(second);
    const double tolerance = CurrentPrecision().Tolerance;
    for (const Detail::EdgeSnapshot& a : firstSnapshots)
    {
        for (const Detail::EdgeSnapshot& b : secondSnapshots)
        {
            if (!Detail::AreBoundsNear(a.Bounds, b.Bounds, tolerance))
            {
                continue;
            }
            if (Detail::TestAndRecordPair(a, b, false, result) && bOneIntersection)
            {
                return;
            }
        }
    }
}

} // namespace

BruteForceAlgorithm& BruteForceAlgorithm::Instance()
{
    static BruteForceAlgorithm instance;
    return instance;
}

void BruteForceAlgorithm::FindIntersections(const EdgeList& first, const EdgeList& second,
                                            IntersectionList& result, bool bOneIntersection)
{
    if (&first == &second)
    {
        FindInOneList(first, result, bOneIntersection);
    }
    else
    {
        FindBetweenLists(first, second, result, bOneIntersection);
    }
}

} // namespace Arealis
