#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "support/GridLayout.h"

#include <cstdint>
#include <memory_resource>
#include <vector>

namespace Arealis::Detail
{

// A uniform grid over a set of points, about one point per cell, for finding the points near
// a segment without scanning all points in the segment's x range: a long slanted edge among
// many points (the spikes of crossing stars) passes only the cells along it.
class PointGrid
{
public:
    // Indexes count points, point i at pointOf(i).
    template <typename PointOf>
    PointGrid(std::size_t count, PointOf pointOf, std::pmr::memory_resource* pMemory)
        : m_starts(pMemory), m_entries(pMemory)
    {
        Rectangle bounds;
        for (std::size_t i = 0; i < count; ++i)
        {
            bounds.Extend(pointOf(i));
        }
        m_layout = GridLayout(bounds, count);
        // A counting sort of the points by cell.
        m_starts.assign(m_layout.CellCount() + 1, 0);
        for (std::size_t i = 0; i < count; ++i)
        {
            ++m_starts[m_layout.CellOf(pointOf(i)) + 1];
        }
        for (std::size_t c = 1; c < m_starts.size(); ++c)
        {
            m_starts[c] += m_starts[c - 1];
        }
        m_entries.resize(count);
        std::pmr::vector<std::uint32_t> next(m_starts.begin(), m_starts.end() - 1, pMemory);
        for (std::size_t i = 0; i < count; ++i)
        {
            m_entries[next[m_layout.CellOf(pointOf(i))]++] = static_cast<std::int32_t>(i);
        }
    }

    // Appends to found the indices of at least every point within reach of the segment in
    // both coordinates (a point q of the segment with |q.X - p.X| <= reach and
    // |q.Y - p.Y| <= reach), each once, in no particular order. Farther points may come too.
    void CollectNearSegment(const Point& start, const Point& end, double reach,
                            std::pmr::vector<std::int32_t>& found) const
    {
        if (m_entries.empty())
        {
            return;
        }
        m_layout.ForEachRunNearSegment(
            start, end, reach,
            [&](std::size_t row, std::size_t firstColumn, std::size_t lastColumn)
            {
                const std::size_t first = row * m_layout.Columns() + firstColumn;
                const std::size_t last = row * m_layout.Columns() + lastColumn;
                found.insert(found.end(), m_entries.begin() + m_starts[first],
                             m_entries.begin() + m_starts[last + 1]);
            });
    }

private:
    GridLayout m_layout;
    // The points of cell c are m_entries[m_starts[c]] .. m_entries[m_starts[c + 1] - 1].
    std::pmr::vector<std::uint32_t> m_starts;
    std::pmr::vector<std::int32_t> m_entries;
};

} // namespace Arealis::Detail
