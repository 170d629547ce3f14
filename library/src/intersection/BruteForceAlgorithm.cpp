#include "Arealis/SegmentIntersection.h"
#include "intersection/EdgePairTest.h"
#include "support/ReusedBuffer.h"

#include <cstddef>
#include <span>
#include <vector>

namespace Arealis
{

namespace
{

// The edges' snapshots of one call, in buffers that each thread keeps from call to call:
// brute force serves the many small overlays of a layer operation, for which allocating two
// vectors a call was a large part of the allocator's work. A buffer that a long list grew
// beyond KeptSnapshots is released after the call instead of holding its memory.
constexpr std::size_t KeptSnapshots = 4096;

class SnapshotBuffer
{
public:
    SnapshotBuffer() = default;
    SnapshotBuffer(const SnapshotBuffer&) = delete;
    SnapshotBuffer& operator=(const SnapshotBuffer&) = delete;

    // The snapshots of edges, valid until the next Read; not reentrant.
    std::span<const Detail::EdgeSnapshot> Read(const EdgeList& edges)
    {
        m_snapshots.clear();
        m_snapshots.reserve(static_cast<std::size_t>(edges.Count()));
        for (const LinearEdge& edge : edges)
        {
            m_snapshots.emplace_back(edge);
        }
        return m_snapshots;
    }

    // Ends a call, also one left by an exception.
    struct Release
    {
        SnapshotBuffer& Buffer;
        ~Release()
        {
            Detail::ResetBuffer(Buffer.m_snapshots, Buffer.m_snapshots.capacity() <= KeptSnapshots);
        }
    };

private:
    std::vector<Detail::EdgeSnapshot> m_snapshots;
};

thread_local SnapshotBuffer t_oneList;    // the edges of one list against each other
thread_local SnapshotBuffer t_secondList; // the second of two lists

// Pairs (i, j) with i + 2 <= j, leaving out the first edge with the last: neighbouring edges
// of a ring always share a node and are never reported.
void FindInOneList(const EdgeList& edges, IntersectionList& result, bool bOneIntersection)
{
    const SnapshotBuffer::Release release{t_oneList};
    const std::span<const Detail::EdgeSnapshot> snapshots = t_oneList.Read(edges);
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

// Each edge of the first list meets the whole second list once, so its snapshot is made on
// the way instead of in a buffer: brute force is chosen when one list is short, and the other
// may be a large polygon's thousands of edges, whose snapshots would take 64 bytes an edge.
void FindBetweenLists(const EdgeList& first, const EdgeList& second, IntersectionList& result,
                      bool bOneIntersection)
{
    const SnapshotBuffer::Release releaseSecond{t_secondList};
    const std::span<const Detail::EdgeSnapshot> secondSnapshots = t_secondList.Read(second);
    const double tolerance = CurrentPrecision().Tolerance;
    for (const LinearEdge& edge : first)
    {
        const Detail::EdgeSnapshot a(edge);
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
