#pragma once

#include "Arealis/Polygon.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace Arealis::LayerOperations
{

// The position of each polygon of a list, found by the polygon: an open-addressed table
// (linear probing, at most half full) of positions only, four bytes a slot, whose keys are
// read from the list itself. A parallel join looks up every candidate of every polygon in
// the list of the other layer; a table of keys and values grown step by step took four times
// the room, and on that serial path the first touch of each page of fresh memory cost more
// than the lookups.
class PolygonPositions
{
public:
    static constexpr std::uint32_t None = std::numeric_limits<std::uint32_t>::max();

    // The list must outlive the table and name each polygon once.
    explicit PolygonPositions(const std::vector<Polygon*>& polygons) : m_polygons(polygons)
    {
        if (polygons.size() >= None)
        {
            throw std::length_error("PolygonPositions: 2^32 - 1 polygons or more");
        }
        const std::size_t slots = std::bit_ceil(std::max<std::size_t>(2 * polygons.size(), 64));
        m_shift = std::countr_zero(slots);
        m_slots.assign(slots, None);
        for (std::size_t k = 0; k < polygons.size(); ++k)
        {
            std::size_t slot = Home(polygons[k]);
            while (m_slots[slot] != None)
            {
                slot = (slot + 1) & (slots - 1);
            }
            m_slots[slot] = static_cast<std::uint32_t>(k);
        }
    }

    // The polygon's position in the list; None when it is not in it.
    std::uint32_t Find(const Polygon* pPolygon) const noexcept
    {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t slot = Home(pPolygon);; slot = (slot + 1) & mask)
        {
            const std::uint32_t k = m_slots[slot];
            if (k == None || m_polygons[k] == pPolygon)
            {
                return k;
            }
        }
    }

private:
    std::size_t Home(const Polygon* pPolygon) const noexcept
    {
        // Polygons are heap objects: the low bits of their addresses carry no information,
        // so the top bits of the product choose the slot.
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pPolygon));
        return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ULL) >> (64 - m_shift));
    }

    const std::vector<Polygon*>& m_polygons;
    std::vector<std::uint32_t> m_slots; // positions in the list; None: empty
    int m_shift = 0;                    // log2 of the slot count
};

} // namespace Arealis::LayerOperations
