#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Arealis
{
class Polygon;
}

namespace ArealisCli
{

// The record each polygon of a layer came from, in one flat table with open addressing:
// writers look up the parents of every result piece, and a lookup here touches one slot where
// a node-based map touches a bucket and a node elsewhere in memory.
class RecordIndex
{
public:
    void Insert(const Arealis::Polygon* pPolygon, std::int64_t record)
    {
        if (2 * (m_count + 1) > m_slots.size())
        {
            Grow();
        }
        Slot& slot = m_slots[IndexOf(pPolygon)];
        if (slot.Polygon == nullptr)
        {
            slot.Polygon = pPolygon;
            ++m_count;
        }
        slot.Record = record;
    }

    // The polygon's record, -1 for a polygon that has none.
    std::int64_t Find(const Arealis::Polygon* pPolygon) const
    {
        if (m_slots.empty())
        {
            return -1;
        }
        const Slot& slot = m_slots[IndexOf(pPolygon)];
        return slot.Polygon == nullptr ? -1 : slot.Record;
    }

private:
    struct Slot
    {
        const Arealis::Polygon* Polygon = nullptr;
        std::int64_t Record = -1;
    };

    // The polygon's slot, or the empty slot where it belongs (the table is never full).
    std::size_t IndexOf(const Arealis::Polygon* pPolygon) const
    {
        const std::size_t mask = m_slots.size() - 1;
        // Fibonacci hashing of the address: allocations differ in their middle bits.
        std::size_t i =
            static_cast<std::size_t>(
                (reinterpret_cast<std::uintptr_t>(pPolygon) * 0x9E3779B97F4A7C15ULL) >> m_shift) &
            mask;
        while (m_slots[i].Polygon != nullptr && m_slots[i].Polygon != pPolygon)
        {
            i = (i + 1) & mask;
        }
        return i;
    }

    void Grow()
    {
        std::vector<Slot> old(std::max<std::size_t>(16, 2 * m_slots.size()));
        old.swap(m_slots);
        m_shift = 64 - static_cast<unsigned>(std::countr_zero(m_slots.size()));
        for (const Slot& slot : old)
        {
            if (slot.Polygon != nullptr)
            {
                m_slots[IndexOf(slot.Polygon)] = slot;
            }
        }
    }

    std::vector<Slot> m_slots; // a power of two, at most half full
    std::size_t m_count = 0;
    unsigned m_shift = 64;
};

} // namespace ArealisCli
