#pragma once

#include "Arealis/Polygon.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Arealis::LayerOperations
{

// For the polygons of one operand layer, the part not yet covered by the polygons of the
// other layer processed so far. A polygon without an entry is still whole. The remainders are
// free polygons owned by the map: deleted when replaced and with the map.
//
// The entries sit in one open-addressed table (linear probing, at most half full): every
// candidate pair looks its polygon up, and one probe into a flat array costs far less than a
// node-based map's bucket and node, which also took a heap allocation per polygon.
class RemainderMap
{
public:
    // The remainder of the polygon, or the polygon itself while it has none.
    Polygon& Get(Polygon& polygon) const
    {
        if (m_slots.empty())
        {
            return polygon;
        }
        const Slot& slot = m_slots[SlotOf(&polygon)];
        return slot.pKey == nullptr ? polygon : *slot.pRemainder;
    }

    void Replace(const Polygon& polygon, std::unique_ptr<Polygon> remainder)
    {
        if (2 * (m_count + 1) > m_slots.size())
        {
            Grow();
        }
        Slot& slot = m_slots[SlotOf(&polygon)];
        if (slot.pKey == nullptr)
        {
            slot.pKey = &polygon;
            ++m_count;
        }
        slot.pRemainder = std::move(remainder);
    }

private:
    struct Slot
    {
        const Polygon* pKey = nullptr;
        std::unique_ptr<Polygon> pRemainder;
    };

    static constexpr std::size_t InitialSlots = 64;

    // The slot holding key, or the empty slot where it would go.
    std::size_t SlotOf(const Polygon* pKey) const noexcept
    {
        const std::size_t mask = m_slots.size() - 1;
        // Polygons are heap objects: the low bits of their addresses carry no information.
        const auto bits = reinterpret_cast<std::uintptr_t>(pKey);
        std::size_t slot =
            static_cast<std::size_t>((static_cast<std::uint64_t>(bits) * 0x9E3779B97F4A7C15ULL) >>
                                     (64 - m_shift)) &
            mask;
        while (m_slots[slot].pKey != nullptr && m_slots[slot].pKey != pKey)
        {
            slot = (slot + 1) & mask;
        }
        return slot;
    }

    void Grow()
    {
        std::vector<Slot> old(m_slots.empty() ? InitialSlots : 2 * m_slots.size());
        old.swap(m_slots);
        m_shift = std::countr_zero(m_slots.size());
        for (Slot& entry : old)
        {
            if (entry.pKey != nullptr)
            {
                m_slots[SlotOf(entry.pKey)] = std::move(entry);
            }
        }
    }

    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
    int m_shift = 0; // log2 of the slot count: the hash's top bits choose the slot
};

} // namespace Arealis::LayerOperations
