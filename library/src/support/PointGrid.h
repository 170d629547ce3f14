#pragma once

#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"
#include "support/LinearBuckets.h"

#include <cstdint>
#include <memory_resource>
#include <vector>

namespace Arealis::Detail
{

// A uniform grid over a set of points, about one point per cell, for finding the points near
// a segment without scanning all points in the segment's x range: a long slanted edge among
// many points (the spikes of crossing stars) passes only the cells along it. The cell of a
// value is a monotone function of it, so the cells of an interval are those from the cell of
// its low end to the cell of its high end, whatever the rounding.
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
        Layout(bounds, count);
        // A counting sort of the points by cell.
        m_starts.assign(m_x.Buckets.Count() * m_y.Buckets.Count() + 1, 0);
        for (std::size_t i = 0; i < count; ++i)
        {
            ++m_starts[CellOf(pointOf(i)) + 1];
        }
        for (std::size_t c = 1; c < m_starts.size(); ++c)
        {
            m_starts[c] += m_starts[c - 1];
        }
        m_entries.resize(count);
        std::pmr::vector<std::uint32_t> next(m_starts.begin(), m_starts.end() - 1, pMemory);
        for (std::size_t i = 0; i < count; ++i)
        {
            m_entries[next[CellOf(pointOf(i))]++] = static_cast<std::int32_t>(i);
        }
    }

    // Appends to found the indices of at least every point within reach of the segment in
    // both coordinates (a point q of the segment with |q.X - p.X| <= reach and
    // |q.Y - p.Y| <= reach), each once, in no particular order. Farther points may come too.
    void CollectNearSegment(const Point& start, const Point& end, double reach,
                            std::pmr::vector<std::int32_t>& found) const;

private:
    // The cells of one axis and their bounds.
    struct Axis
    {
        double Low = 0.0;
        double High = 0.0;
        double Width = 0.0; // of one cell
        LinearBuckets Buckets{0.0, 0.0, 1};

        // The cell of any value: those beyond the ends go to the end cells.
        std::size_t CellOf(double value) const noexcept
        {
            if (!(value > Low))
            {
                return 0;
            }
            return value < High ? Buckets(value) : Buckets.Count() - 1;
        }

        // The values that can lie in cell c, widened by slack on both sides; the end cells
        // take everything beyond them.
        double CellLow(std::size_t c, double slack) const noexcept;
        double CellHigh(std::size_t c, double slack) const noexcept;
    };

    static Axis MakeAxis(double low, double high, std::size_t count) noexcept;
    void Layout(const Rectangle& bounds, std::size_t count) noexcept;
    std::size_t CellOf(const Point& p) const noexcept
    {
        return m_y.CellOf(p.Y) * m_x.Buckets.Count() + m_x.CellOf(p.X);
    }
    void CollectCells(std::size_t row, std::size_t firstColumn, std::size_t lastColumn,
                      std::pmr::vector<std::int32_t>& found) const;

    Axis m_x;
    Axis m_y;
    // Rounding slack of the coordinates' magnitude, added to every reach.
    double m_slack = 0.0;
    // The points of cell c are m_entries[m_starts[c]] .. m_entries[m_starts[c + 1] - 1].
    std::pmr::vector<std::uint32_t> m_starts;
    std::pmr::vector<std::int32_t> m_entries;
};

} // namespace Arealis::Detail
