#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Arealis::Detail
{

// The y interval of an active edge of the sweep and the edge's number.
struct IntervalEntry
{
    double MinY = 0.0;
    double MaxY = 0.0;
    std::uint32_t Edge = 0;
};

// Entries with pairwise disjoint y intervals (bounds included), in ascending order; such
// intervals ascend in their minimum and in their maximum alike, so a y value can be searched
// against the maxima. The entries lie in sorted blocks of limited size: the few entries of the
// usual set are one contiguous block, and a large set still inserts and erases by moving at
// most one block's entries.
class IntervalSet
{
public:
    IntervalSet() = default;

    void Clear() noexcept;

    // Adds the entry unless its interval meets one of the set's, bounds included; returns
    // whether it was added.
    bool InsertIfDisjoint(const IntervalEntry& entry)
    {
        // The first interval reaching up to the entry's minimum is the only one that can
        // overlap it from below, and the intervals after it start above that minimum: the
        // entry either overlaps this interval or belongs right before it.
        const Position at = LowerBound(entry.MinY);
        if (at.Block < m_blocks.size() && m_blocks[at.Block][at.Index].MinY <= entry.MaxY)
        {
            return false;
        }
        InsertAt(at, entry);
        return true;
    }

    // Removes the entry with this minimum; nothing when there is none.
    void Erase(double minY)
    {
        // The sets of a sweep are mostly a few entries in one block, which is never joined
        // with another nor dropped.
        if (m_blocks.size() != 1)
        {
            EraseInBlocks(minY);
            return;
        }
        std::vector<IntervalEntry>& entries = m_blocks.front();
        const std::size_t index = FirstWithMinimumAtLeast(entries, minY);
        if (index < entries.size() && entries[index].MinY == minY)
        {
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }

    // Calls visit(edge) for the entries whose interval meets [minY - tolerance, maxY +
    // tolerance]: first upwards from the first entry reaching minY, then downwards from the
    // entry below it. Stops as soon as visit returns false, and then returns false.
    template <class F>
    bool VisitNear(double minY, double maxY, double tolerance, F& visit) const
    {
        const Position start = LowerBound(minY);
        return VisitUpwards(start, maxY + tolerance, visit) &&
               VisitDownwards(start, minY - tolerance, visit);
    }

    static constexpr std::size_t MaxBlockSize = 128;

private:
    struct Position
    {
        std::size_t Block = 0;
        std::size_t Index = 0;
    };

    // Below this size a block is joined with a neighbour when both fit into one block with
    // room to spare, so that removals cannot leave a long row of nearly empty blocks.
    static constexpr std::size_t SmallBlockSize = MaxBlockSize / 4;
    static constexpr std::size_t JoinedBlockSize = MaxBlockSize * 3 / 4;

    // The first entry whose maximum is at least y; past the end when there is none.
    Position LowerBound(double y) const noexcept
    {
        if (m_blocks.size() != 1)
        {
            return LowerBoundInBlocks(y);
        }
        const std::vector<IntervalEntry>& entries = m_blocks.front();
        // A sole block may be empty, and then the search ends past it.
        if (entries.empty() || entries.back().MaxY < y)
        {
            return {1, 0};
        }
        return {0, FirstWithMaximumAtLeast(entries, y)};
    }

    static std::size_t FirstWithMaximumAtLeast(const std::vector<IntervalEntry>& entries, double y)
    {
        const auto it = std::partition_point(entries.begin(), entries.end(),
                                             [y](const IntervalEntry& e) { return e.MaxY < y; });
        return static_cast<std::size_t>(it - entries.begin());
    }

    static std::size_t FirstWithMinimumAtLeast(const std::vector<IntervalEntry>& entries, double y)
    {
        const auto it = std::partition_point(entries.begin(), entries.end(),
                                             [y](const IntervalEntry& e) { return e.MinY < y; });
        return static_cast<std::size_t>(it - entries.begin());
    }

    Position LowerBoundInBlocks(double y) const noexcept;
    // Inserts the entry at this place, which may be past the end.
    void InsertAt(Position at, const IntervalEntry& entry)
    {
        if (at.Block >= m_blocks.size())
        {
            if (m_blocks.empty())
            {
                m_blocks.emplace_back().reserve(MaxBlockSize);
            }
            at = {m_blocks.size() - 1, m_blocks.back().size()};
        }
        std::vector<IntervalEntry>& entries = m_blocks[at.Block];
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at.Index), entry);
        if (entries.size() > MaxBlockSize)
        {
            Split(at.Block);
        }
    }
    void EraseInBlocks(double minY);
    // The block that holds the first entry whose minimum is at least y, or the last block.
    std::size_t BlockForMinimum(double y) const noexcept;
    // Moves the upper half of a full block into a new block after it.
    void Split(std::size_t block);
    void MergeIfSmall(std::size_t block);

    // Visits the entries from 'from' upwards while their minimum lies below high.
    template <class F>
    bool VisitUpwards(Position from, double high, F& visit) const
    {
        for (std::size_t block = from.Block, index = from.Index; block < m_blocks.size();
             ++block, index = 0)
        {
            const std::vector<IntervalEntry>& entries = m_blocks[block];
            for (; index < entries.size(); ++index)
            {
                if (!(entries[index].MinY < high))
                {
                    return true;
                }
                if (!visit(entries[index].Edge))
                {
                    return false;
                }
            }
        }
        return true;
    }

    // Visits the entries below 'from' downwards while their maximum lies above low.
    template <class F>
    bool VisitDownwards(Position from, double low, F& visit) const
    {
        std::size_t block = from.Block;
        std::size_t index = from.Index;
        while (index > 0 || block > 0)
        {
            if (index == 0)
            {
                --block;
                index = m_blocks[block].size();
                continue;
            }
            --index;
            const IntervalEntry& entry = m_blocks[block][index];
            if (!(entry.MaxY > low))
            {
                return true;
            }
            if (!visit(entry.Edge))
            {
                return false;
            }
        }
        return true;
    }

    // No block is empty, except a sole block kept for the next insertion.
    std::vector<std::vector<IntervalEntry>> m_blocks;
};

} // namespace Arealis::Detail
