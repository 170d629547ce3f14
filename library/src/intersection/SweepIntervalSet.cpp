#include "intersection/SweepIntervalSet.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace Arealis::Detail
{

void IntervalSet::Clear() noexcept
{
    m_blocks.clear();
}

IntervalSet::Position IntervalSet::LowerBoundInBlocks(double y) const noexcept
{
    // Only a sole block can be empty, and then the search ends past it.
    const auto block = std::partition_point(m_blocks.begin(), m_blocks.end(),
                                            [y](const std::vector<IntervalEntry>& entries)
                                            { return entries.empty() || entries.back().MaxY < y; });
    if (block == m_blocks.end())
    {
        return {m_blocks.size(), 0};
    }
    const auto entry = std::partition_point(block->begin(), block->end(),
                                            [y](const IntervalEntry& e) { return e.MaxY < y; });
    return {static_cast<std::size_t>(block - m_blocks.begin()),
            static_cast<std::size_t>(entry - block->begin())};
}

std::size_t IntervalSet::BlockForMinimum(double y) const noexcept
{
    const auto block = std::partition_point(m_blocks.begin(), m_blocks.end(),
                                            [y](const std::vector<IntervalEntry>& entries)
                                            { return entries.empty() || entries.back().MinY < y; });
    return block == m_blocks.end() ? m_blocks.size() - 1
                                   : static_cast<std::size_t>(block - m_blocks.begin());
}

void IntervalSet::Split(std::size_t block)
{
    std::vector<IntervalEntry>& entries = m_blocks[block];
    const auto middle = entries.begin() + static_cast<std::ptrdiff_t>(entries.size() / 2);
    std::vector<IntervalEntry> upper;
    upper.reserve(MaxBlockSize);
    upper.assign(middle, entries.end());
    entries.erase(middle, entries.end());
    m_blocks.insert(m_blocks.begin() + static_cast<std::ptrdiff_t>(block) + 1, std::move(upper));
}

void IntervalSet::EraseInBlocks(double minY)
{
    if (m_blocks.empty())
    {
        return;
    }
    const std::size_t block = BlockForMinimum(minY);
    std::vector<IntervalEntry>& entries = m_blocks[block];
    const std::size_t index = FirstWithMinimumAtLeast(entries, minY);
    if (index == entries.size() || !(entries[index].MinY == minY))
    {
        return;
    }
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    if (entries.empty() && m_blocks.size() > 1)
    {
        m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(block));
        return;
    }
    MergeIfSmall(block);
}

void IntervalSet::MergeIfSmall(std::size_t block)
{
    if (m_blocks[block].size() >= SmallBlockSize)
    {
        return;
    }
    // Joins the block with its upper neighbour, or the lower neighbour with it.
    std::size_t lower = block;
    if (block + 1 == m_blocks.size())
    {
        if (block == 0)
        {
            return;
        }
        lower = block - 1;
    }
    std::vector<IntervalEntry>& first = m_blocks[lower];
    std::vector<IntervalEntry>& second = m_blocks[lower + 1];
    if (first.size() + second.size() > JoinedBlockSize)
    {
        return;
    }
    first.insert(first.end(), second.begin(), second.end());
    m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(lower) + 1);
}

} // namespace Arealis::Detail
