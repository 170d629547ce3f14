#pragma once

#include "Arealis/Polygon.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Arealis
{

// A value of TValue for each polygon that has one, in one open-addressed table (linear probing,
// at most half full): the layer operations look a polygon up for every candidate pair, and
// writers look up the record of every result piece's parents; one probe into a flat array
// costs far less than a node-based map's bucket and node, which also took a heap allocation per
// polygon. Entries are never removed.
template <class TValue>
class PolygonTable
{
public:
    // The polygon's value, or null when it has none.
    const TValue* Find(const Polygon* pPolygon) const
    {
        if (m_slots.empty())
        {
            return nullptr;
        }
        const Slot& slot = m_slots[SlotOf(pPolygon)];
        return slot.pKey == nullptr ? nullptr : &slot.Value;
    }

    TValue* Find(const Polygon* pPolygon)
    {
        return const_cast<TValue*>(std::as_const(*this).Find(pPolygon));
    }

    // The polygon's value, a default one when it had none.
    TValue& operator[](const Polygon* pPolygon)
    {
        if (2 * (m_count + 1) > m_slots.size())
        {
            Grow();
        }
        Slot& slot = m_slots[SlotOf(pPolygon)];
        if (slot.pKey == nullptr)
        {
            slot.pKey = pPolygon;
            ++m_count;
        }
        return slot.Value;
    }

    // Makes room for count polygons in all, so that adding them moves no entry: a table
    // filled with many polygons at once otherwise rehashes every entry at each doubling.
    void Reserve(std::size_t count)
    {
        std::size_t slots = m_slots.empty() ? InitialSlots : m_slots.size();
        while (2 * count > slots)
        {
            slots *= 2;
        }
        if (slots > m_slots.size())
        {
            Rehash(slots);
        }
    }

private:
    struct Slot
    {
        const Polygon* pKey = nullptr;
        TValue Value{};
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

    void Grow() { Rehash(m_slots.empty() ? InitialSlots : 2 * m_slots.size()); }

    void Rehash(std::size_t slots)
    {
        std::vector<Slot> old(slots);
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

} // namespace Arealis
