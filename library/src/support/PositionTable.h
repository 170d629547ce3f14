#pragma once

#include "Arealis/Point.h"
#include "support/PositionHash.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

namespace Arealis::Detail
{

// A hash table of indices into the caller's own array of positions (linear probing, at most
// half full). The table keeps indices only; positionOf(index) gives the position an index
// stands for, so the positions stay where the caller keeps them.
class PositionTable
{
public:
    explicit PositionTable(std::pmr::memory_resource* pMemory = std::pmr::get_default_resource())
        : m_slots(pMemory)
    {
    }

    // Room for count indices without growing on the way.
    void Reserve(std::size_t count)
    {
        if (m_count == 0 && 2 * count > m_slots.size())
        {
            m_slots.assign(std::bit_ceil(std::max(2 * count, InitialSlots)), -1);
        }
    }

    // The index stored for position, or -1.
    template <class PositionOf>
    std::int32_t Find(const Point& position, const PositionOf& positionOf) const
    {
        if (m_slots.empty())
        {
            return -1;
        }
        for (std::size_t slot = FirstSlot(position);; slot = NextSlot(slot))
        {
            const std::int32_t index = m_slots[slot];
            if (index < 0 || positionOf(index) == position)
            {
                return index;
            }
        }
    }

    // The index stored for position; when there is none, index is stored and returned.
    template <class PositionOf>
    std::int32_t FindOrInsert(const Point& position, std::int32_t index,
                              const PositionOf& positionOf)
    {
        if (2 * (m_count + 1) > m_slots.size())
        {
            Grow(positionOf);
        }
        std::size_t slot = FirstSlot(position);
        for (; m_slots[slot] >= 0; slot = NextSlot(slot))
        {
            if (positionOf(m_slots[slot]) == position)
            {
                return m_slots[slot];
            }
        }
        m_slots[slot] = index;
        ++m_count;
        return index;
    }

private:
    static constexpr std::size_t InitialSlots = 16;

    std::size_t FirstSlot(const Point& position) const noexcept
    {
        return static_cast<std::size_t>(HashOfPosition(position)) & (m_slots.size() - 1);
    }
    std::size_t NextSlot(std::size_t slot) const noexcept
    {
        return (slot + 1) & (m_slots.size() - 1);
    }

    template <class PositionOf>
    void Grow(const PositionOf& positionOf)
    {
        std::pmr::vector<std::int32_t> old(m_slots.get_allocator());
        old.swap(m_slots);
        m_slots.assign(old.empty() ? InitialSlots : 2 * old.size(), -1);
        for (const std::int32_t index : old)
        {
            if (index >= 0)
            {
                std::size_t slot = FirstSlot(positionOf(index));
                while (m_slots[slot] >= 0)
                {
                    slot = NextSlot(slot);
                }
                m_slots[slot] = index;
            }
        }
    }

    std::pmr::vector<std::int32_t> m_slots;
    std::size_t m_count = 0;
};

} // namespace Arealis::Detail
