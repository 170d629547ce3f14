#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Arealis::Detail
{

// An active edge of a check: its y interval, the x of its right end and its number.
struct ScannedEdge
{
    double MinY = 0.0;
    double MaxY = 0.0;
    double RightX = 0.0;
    std::uint32_t Edge = 0;
};

// The active edges of a check filed by y, for a sweep where many edges overlap in x at once
// but few of them come near each other in y (long edges side by side, as in a comb or a
// spiral, or the steep stretches of a large wavy ring). The plane is cut into horizontal cells of
// one height, derived from the edges' mean y extent; cell k holds y from k times the height up to
// the next cell. An edge is entered in every cell that its y interval touches, and an event looks
// only into the cells that its widened y interval touches. The cells share a power-of-two number of
// buckets by their index modulo that number, so that neighbouring cells never share one; a bucket
// is a list of entries linked through a pool that serves all buckets, without memory of its own.
//
// Edges that the sweep has passed leave lazily: when a scan meets one of their entries, or
// when the live edges are collected, which the owner does after as many insertions as there
// were live edges at the last filing, to file them anew with a cell height and a number of
// buckets fitted to them, or to take them back into a plain list. An edge that would take more
// than MaxCellsPerEdge cells is kept in a short list of tall edges, scanned at every event.
//
// The coordinates must be finite and at most 1e9 in absolute value, as a check requires of
// its ring.
class ActiveEdgeCells
{
public:
    // Files the given live edges; edges leave once the sweep lies more than retireTolerance
    // right of their right end.
    void Start(std::span<const ScannedEdge> edges, double retireTolerance);

    bool IsStarted() const noexcept { return !m_heads.empty(); }

    // Whether there were as many insertions since the last filing as there were edges then.
    bool IsDueForCollection() const noexcept { return m_insertions >= m_collectAfter; }

    // The edges that are still live with the sweep at x, each once; valid until the next call
    // of a non-const method. Adds the entries looked at to work.
    std::span<const ScannedEdge> CollectLive(double x, std::size_t& work);

    // Files the edges anew, dropping all others; they may be those of CollectLive.
    void FileAnew(std::span<const ScannedEdge> edges);

    // Drops every edge; IsStarted is false until the next Start.
    void Stop() noexcept;

    // Calls test(edge number) once for every edge of the set whose y interval meets the open
    // interval (low, high), that is MinY < high and MaxY > low, and whose right end lies at
    // most the retire tolerance left of x; stops as soon as test returns true, and then returns
    // true. The edges left behind by x go. Adds the entries and buckets looked at to work.
    template <class F>
    bool FindNear(double x, double low, double high, std::size_t& work, F test);

    // Enters an edge; adds the entries written to work.
    void Insert(const ScannedEdge& edge, std::size_t& work);

    // Empties the set; keep says whether its buffers stay allocated for the next call.
    void Clear(bool keep) noexcept;
    bool IsEmpty() const noexcept;
    std::size_t BufferBytes() const noexcept;

    static constexpr std::int64_t MaxCellsPerEdge = 16;

private:
    static constexpr std::uint32_t NoEntry = UINT32_MAX;

    // One edge in one cell: the edge's data and the next entry of the bucket.
    struct Entry
    {
        double MinY = 0.0;
        double MaxY = 0.0;
        double RightX = 0.0;
        std::uint32_t Edge = 0;
        std::uint32_t Next = NoEntry;
    };

    // Monotonic in y, so that the cells of an interval are the ones between those of its ends.
    // The clamp keeps the conversion defined; modest coordinates never reach it.
    std::int64_t CellOf(double y) const noexcept
    {
        constexpr double limit = 4e15;
        return static_cast<std::int64_t>(
            std::floor(std::clamp(y * m_inverseHeight, -limit, limit)));
    }

    std::uint32_t BucketOf(std::int64_t cell) const noexcept
    {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(cell) & m_mask);
    }

    bool HasPassed(double x, double rightX) const noexcept
    {
        return x - rightX > m_retireTolerance;
    }

    template <class F>
    bool ScanBucket(std::uint32_t bucket, std::int64_t firstCell, double x, double low, double high,
                    std::size_t& work, F& test);
    void Enter(const ScannedEdge& edge);
    std::uint32_t NewEntry();

    std::vector<std::uint32_t> m_heads;
    std::vector<Entry> m_entries;
    std::vector<ScannedEdge> m_tall;
    // The live edges while they are filed anew.
    std::vector<ScannedEdge> m_live;
    std::uint32_t m_free = NoEntry;
    std::size_t m_insertions = 0;
    std::size_t m_collectAfter = 0;
    std::uint64_t m_mask = 0;
    double m_inverseHeight = 1.0;
    double m_retireTolerance = 0.0;
};

template <class F>
bool ActiveEdgeCells::ScanBucket(std::uint32_t bucket, std::int64_t firstCell, double x, double low,
                                 double high, std::size_t& work, F& test)
{
    std::uint32_t* link = &m_heads[bucket];
    while (*link != NoEntry)
    {
        const std::uint32_t index = *link;
        Entry& entry = m_entries[index];
        ++work;
        if (HasPassed(x, entry.RightX))
        {
            *link = entry.Next;
            entry.Next = m_free;
            m_free = index;
            continue;
        }
        // An edge near the interval shares a cell with it, the first shared one being the
        // later of the two first cells: it is tested in that cell's bucket only.
        if (entry.MinY < high && entry.MaxY > low &&
            BucketOf(std::max(CellOf(entry.MinY), firstCell)) == bucket && test(entry.Edge))
        {
            return true;
        }
        link = &entry.Next;
    }
    return false;
}

template <class F>
bool ActiveEdgeCells::FindNear(double x, double low, double high, std::size_t& work, F test)
{
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_tall.size(); ++i)
    {
        const ScannedEdge edge = m_tall[i];
        ++work;
        if (HasPassed(x, edge.RightX))
        {
            continue;
        }
        m_tall[kept++] = edge;
        if (edge.MinY < high && edge.MaxY > low && test(edge.Edge))
        {
            // The edges not yet looked at stay.
            for (++i; i < m_tall.size(); ++i)
            {
                m_tall[kept++] = m_tall[i];
            }
            m_tall.resize(kept);
            return true;
        }
    }
    m_tall.resize(kept);

    const std::int64_t firstCell = CellOf(low);
    const std::int64_t lastCell = CellOf(high);
    const std::uint64_t buckets = m_heads.size();
    if (static_cast<std::uint64_t>(lastCell - firstCell) >= buckets - 1)
    {
        // The interval's cells reach every bucket: each is scanned once.
        work += buckets;
        for (std::uint32_t bucket = 0; bucket < buckets; ++bucket)
        {
            if (ScanBucket(bucket, firstCell, x, low, high, work, test))
            {
                return true;
            }
        }
        return false;
    }
    work += static_cast<std::size_t>(lastCell - firstCell) + 1;
    for (std::int64_t cell = firstCell; cell <= lastCell; ++cell)
    {
        if (ScanBucket(BucketOf(cell), firstCell, x, low, high, work, test))
        {
            return true;
        }
    }
    return false;
}

} // namespace Arealis::Detail
