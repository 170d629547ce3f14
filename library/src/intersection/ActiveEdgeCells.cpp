#include "intersection/ActiveEdgeCells.h"

#include "support/ReusedBuffer.h"

#include <bit>

namespace Arealis::Detail
{

namespace
{

// Never fewer buckets than an edge may take cells, so that the cells of one edge lie in
// different buckets.
constexpr std::size_t MinBuckets = 64;
static_assert(MinBuckets > ActiveEdgeCells::MaxCellsPerEdge);

// Cells below this height would be narrower than the distance within which a check tests
// edges, so that every event would look into several.
constexpr double MinCellHeight = 1e-3;

// The live edges are collected after at least this many insertions.
constexpr std::size_t MinCollectAfter = 64;

} // namespace

void ActiveEdgeCells::Start(std::span<const ScannedEdge> edges, double retireTolerance)
{
    m_retireTolerance = retireTolerance;
    FileAnew(edges);
}

void ActiveEdgeCells::FileAnew(std::span<const ScannedEdge> edges)
{
    // Cells as high as an edge on average: an edge then takes two cells or so, and an event
    // looks into two or three.
    double extents = 0.0;
    for (const ScannedEdge& edge : edges)
    {
        extents += edge.MaxY - edge.MinY;
    }
    const double mean = edges.empty() ? 0.0 : extents / static_cast<double>(edges.size());
    m_inverseHeight = 1.0 / std::max(mean, MinCellHeight);

    // About two buckets per edge, so that most buckets hold one entry or none.
    const std::size_t buckets = std::bit_ceil(std::max(MinBuckets, 2 * edges.size()));
    m_heads.assign(buckets, NoEntry);
    m_mask = buckets - 1;
    m_entries.clear();
    m_free = NoEntry;
    m_tall.clear();
    for (const ScannedEdge& edge : edges)
    {
        Enter(edge);
    }
    // Collecting costs about as much as the entries and buckets: after as many insertions, it
    // costs a constant per insertion.
    m_insertions = 0;
    m_collectAfter = std::max(MinCollectAfter, edges.size());
}

void ActiveEdgeCells::Enter(const ScannedEdge& edge)
{
    const std::int64_t firstCell = CellOf(edge.MinY);
    const std::int64_t lastCell = CellOf(edge.MaxY);
    if (lastCell - firstCell >= MaxCellsPerEdge)
    {
        m_tall.push_back(edge);
        return;
    }
    for (std::int64_t cell = firstCell; cell <= lastCell; ++cell)
    {
        const std::uint32_t index = NewEntry();
        std::uint32_t& head = m_heads[BucketOf(cell)];
        m_entries[index] = Entry{edge.MinY, edge.MaxY, edge.RightX, edge.Edge, head};
        head = index;
    }
}

std::uint32_t ActiveEdgeCells::NewEntry()
{
    if (m_free != NoEntry)
    {
        const std::uint32_t index = m_free;
        m_free = m_entries[index].Next;
        return index;
    }
    m_entries.emplace_back();
    return static_cast<std::uint32_t>(m_entries.size() - 1);
}

void ActiveEdgeCells::Insert(const ScannedEdge& edge, std::size_t& work)
{
    const std::size_t before = m_entries.size();
    Enter(edge);
    ++m_insertions;
    work += 1 + (m_entries.size() - before);
}

std::span<const ScannedEdge> ActiveEdgeCells::CollectLive(double x, std::size_t& work)
{
    m_live.clear();
    for (const ScannedEdge& edge : m_tall)
    {
        if (!HasPassed(x, edge.RightX))
        {
            m_live.push_back(edge);
        }
    }
    for (std::uint32_t bucket = 0; bucket < m_heads.size(); ++bucket)
    {
        for (std::uint32_t index = m_heads[bucket]; index != NoEntry;)
        {
            const Entry& entry = m_entries[index];
            // An edge is taken from the bucket of its first cell only.
            if (!HasPassed(x, entry.RightX) && BucketOf(CellOf(entry.MinY)) == bucket)
            {
                m_live.push_back(ScannedEdge{entry.MinY, entry.MaxY, entry.RightX, entry.Edge});
            }
            index = entry.Next;
        }
    }
    work += m_heads.size() + m_entries.size() + m_tall.size();
    return m_live;
}

void ActiveEdgeCells::Stop() noexcept
{
    m_heads.clear();
    m_entries.clear();
    m_tall.clear();
    m_live.clear();
    m_free = NoEntry;
}

void ActiveEdgeCells::Clear(bool keep) noexcept
{
    ResetBuffer(m_heads, keep);
    ResetBuffer(m_entries, keep);
    ResetBuffer(m_tall, keep);
    ResetBuffer(m_live, keep);
    m_free = NoEntry;
    m_insertions = 0;
    m_collectAfter = 0;
    m_mask = 0;
}

bool ActiveEdgeCells::IsEmpty() const noexcept
{
    return m_heads.empty() && m_entries.empty() && m_tall.empty() && m_live.empty();
}

std::size_t ActiveEdgeCells::BufferBytes() const noexcept
{
    return m_heads.capacity() * sizeof(std::uint32_t) + m_entries.capacity() * sizeof(Entry) +
           (m_tall.capacity() + m_live.capacity()) * sizeof(ScannedEdge);
}

} // namespace Arealis::Detail
