#include "overlay/NearEdges.h"

#include "Arealis/Precision.h"
#include "Arealis/Ring.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Arealis::Detail
{

namespace
{

// The bounds of an edge widened by a margin on every side.
struct EdgeBox
{
    double MinX = 0.0;
    double MinY = 0.0;
    double MaxX = 0.0;
    double MaxY = 0.0;
};

EdgeBox WidenedBoxOf(const LinearEdge& edge, double margin)
{
    const Point& a = edge.Ring->GetNode(edge.StartIndex)->Position;
    const Point& b = edge.Ring->GetNode(edge.EndIndex)->Position;
    return {std::min(a.X, b.X) - margin, std::min(a.Y, b.Y) - margin,
            std::max(a.X, b.X) + margin, std::max(a.Y, b.Y) + margin};
}

// Whether a coordinate of the box is not a number (or the sum of infinities of both signs,
// which is taken for one as well).
bool HasNaN(const EdgeBox& box) noexcept
{
    return std::isnan(box.MinX + box.MinY + box.MaxX + box.MaxY);
}

// A grid of cells over an area with a mark for every cell. A coordinate goes to its cell by a
// function that never decreases as the coordinate grows (rounded subtraction and
// multiplication by a positive factor, then the integer part clamped to the grid), so two
// boxes that overlap always cover a common cell, also where they overlap outside the area.
class CellGrid
{
public:
    struct Range
    {
        std::size_t Column0 = 0;
        std::size_t Column1 = 0;
        std::size_t Row0 = 0;
        std::size_t Row1 = 0;

        std::size_t Cells() const noexcept { return (Column1 - Column0 + 1) * (Row1 - Row0 + 1); }
    };

    CellGrid(const EdgeBox& area, std::size_t cellCount) : m_area(area)
    {
        const double width = area.MaxX - area.MinX;
        const double height = area.MaxY - area.MinY;
        const auto cells = static_cast<double>(cellCount);
        const double columns = std::clamp(std::round(std::sqrt(cells * width / height)), 1.0, cells);
        m_columns = static_cast<std::size_t>(columns);
        m_rows = std::max<std::size_t>(1, cellCount / m_columns);
        m_perX = static_cast<double>(m_columns) / width;
        m_perY = static_cast<double>(m_rows) / height;
    }

    std::size_t CellCount() const noexcept { return m_columns * m_rows; }
    const EdgeBox& Area() const noexcept { return m_area; }

    Range RangeOf(const EdgeBox& box) const noexcept
    {
        return {Index((box.MinX - m_area.MinX) * m_perX, m_columns),
                Index((box.MaxX - m_area.MinX) * m_perX, m_columns),
                Index((box.MinY - m_area.MinY) * m_perY, m_rows),
                Index((box.MaxY - m_area.MinY) * m_perY, m_rows)};
    }

    // Calls f(cell) for the cells of the range until it returns true; whether one did.
    template <class F>
    bool AnyCell(const Range& range, F f) const
    {
        for (std::size_t row = range.Row0; row <= range.Row1; ++row)
        {
            for (std::size_t column = range.Column0; column <= range.Column1; ++column)
            {
                if (f(row * m_columns + column))
                {
                    return true;
                }
            }
        }
        return false;
    }

private:
    static std::size_t Index(double scaled, std::size_t count) noexcept
    {
        if (!(scaled >= 1.0))
        {
            return 0;
        }
        if (scaled >= static_cast<double>(count))
        {
            return count - 1;
        }
        return static_cast<std::size_t>(scaled);
    }

    EdgeBox m_area;
    std::size_t m_columns = 1;
    std::size_t m_rows = 1;
    double m_perX = 0.0;
    double m_perY = 0.0;
};

// One bit per cell.
class CellMarks
{
public:
    explicit CellMarks(std::vector<std::uint64_t>& bits, std::size_t cells) : m_bits(bits)
    {
        m_bits.assign((cells + 63) / 64, 0);
    }

    void Mark(std::size_t cell) noexcept { m_bits[cell / 64] |= std::uint64_t{1} << (cell % 64); }
    bool IsMarked(std::size_t cell) const noexcept
    {
        return ((m_bits[cell / 64] >> (cell % 64)) & 1U) != 0;
    }

    void MarkRange(const CellGrid& grid, const CellGrid::Range& range)
    {
        grid.AnyCell(range,
                     [this](std::size_t cell)
                     {
                         Mark(cell);
                         return false;
                     });
    }

    bool AnyMarked(const CellGrid& grid, const CellGrid::Range& range) const
    {
        return grid.AnyCell(range, [this](std::size_t cell) { return IsMarked(cell); });
    }

private:
    std::vector<std::uint64_t>& m_bits;
};

// The marks of both lists, kept for the thread's next overlay unless they grew large.
struct ThreadMarks
{
    static constexpr std::size_t KeptWords = std::size_t{1} << 14;

    std::vector<std::uint64_t> Other;
    std::vector<std::uint64_t> Kept;

    void Release() noexcept
    {
        for (std::vector<std::uint64_t>* pBits : {&Other, &Kept})
        {
            if (pBits->capacity() > KeptWords)
            {
                std::vector<std::uint64_t>().swap(*pBits);
            }
        }
    }
};

// Whether the boxes overlap, bounds included.
bool Overlap(const EdgeBox& a, const EdgeBox& b) noexcept
{
    return a.MinX <= b.MaxX && b.MinX <= a.MaxX && a.MinY <= b.MaxY && b.MinY <= a.MaxY;
}

// Keeps the edges whose widened bounds meet the area and cover a marked cell, in their order.
void KeepMarked(EdgeList& edges, const CellGrid& grid, const CellMarks& marks, double margin)
{
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < edges.Count(); ++i)
    {
        const EdgeBox box = WidenedBoxOf(edges[i], margin);
        if (Overlap(box, grid.Area()) && marks.AnyMarked(grid, grid.RangeOf(box)))
        {
            edges[kept++] = edges[i];
        }
    }
    edges.SetCount(kept);
}

} // namespace

void KeepEdgesNearOtherList(EdgeList& first, EdgeList& second, const Rectangle& firstBounds,
                            const Rectangle& secondBounds)
{
    const auto total =
        static_cast<std::size_t>(first.Count()) + static_cast<std::size_t>(second.Count());
    if (total < ThinnedFromEdges || first.Count() == 0 || second.Count() == 0)
    {
        return;
    }
    // The search tests pairs whose bounds lie within the tolerance; the node grid's step is
    // added for the rounding of those comparisons.
    const Precision& precision = CurrentPrecision();
    const double margin = precision.Tolerance + precision.GridStep;
    // Where both lists' widened bounds overlap: an edge whose widened bounds miss it misses
    // every widened edge of the other list.
    const EdgeBox area{std::max(firstBounds.MinX, secondBounds.MinX) - margin,
                       std::max(firstBounds.MinY, secondBounds.MinY) - margin,
                       std::min(firstBounds.MaxX, secondBounds.MaxX) + margin,
                       std::min(firstBounds.MaxY, secondBounds.MaxY) + margin};
    if (HasNaN(area) || std::isinf(area.MinX) || std::isinf(area.MinY) ||
        std::isinf(area.MaxX) || std::isinf(area.MaxY))
    {
        return;
    }
    if (!(area.MinX < area.MaxX && area.MinY < area.MaxY))
    {
        first.SetCount(0); // no edge comes near the other list's edges
        second.SetCount(0);
        return;
    }
    // About two cells per edge: a boundary's edges then mostly cover one cell or two each,
    // and boundaries that run apart cover different cells.
    constexpr std::size_t MaxCells = std::size_t{1} << 22;
    const CellGrid grid(area, std::min(2 * total, MaxCells));
    // Long edges cover many cells: past this many cell visits the lists stay as they are.
    std::size_t budget = 16 * (grid.CellCount() + total);
    thread_local ThreadMarks threadMarks;
    struct Releasing
    {
        ThreadMarks& Marks;
        ~Releasing() { Marks.Release(); }
    } const releasing{threadMarks};
    CellMarks other(threadMarks.Other, grid.CellCount());
    for (const LinearEdge& edge : second)
    {
        const EdgeBox box = WidenedBoxOf(edge, margin);
        if (HasNaN(box))
        {
            return; // the search's tests of such an edge are left as they are
        }
        if (!Overlap(box, area))
        {
            continue;
        }
        const CellGrid::Range range = grid.RangeOf(box);
        if (range.Cells() > budget)
        {
            return;
        }
        budget -= range.Cells();
        other.MarkRange(grid, range);
    }
    // The first list's edges that stay mark their cells for the second list's thinning. Once
    // the budget is spent, an edge is not a number, or a quarter of the list shows that few
    // edges go (boundaries that run together, as of neighbours being united), the rest of the
    // first list and the whole second list stay.
    const std::int32_t sampled = first.Count() / 4;
    CellMarks kept(threadMarks.Kept, grid.CellCount());
    bool thinning = true;
    std::int32_t count = 0;
    for (std::int32_t i = 0; i < first.Count(); ++i)
    {
        if (thinning && i == sampled && 8 * count > 7 * i)
        {
            thinning = false;
        }
        if (!thinning)
        {
            first[count++] = first[i];
            continue;
        }
        const EdgeBox box = WidenedBoxOf(first[i], margin);
        if (HasNaN(box))
        {
            thinning = false;
            first[count++] = first[i];
            continue;
        }
        if (!Overlap(box, area))
        {
            continue;
        }
        const CellGrid::Range range = grid.RangeOf(box);
        if (range.Cells() > budget)
        {
            thinning = false;
            first[count++] = first[i];
            continue;
        }
        budget -= range.Cells();
        if (other.AnyMarked(grid, range))
        {
            kept.MarkRange(grid, range);
            first[count++] = first[i];
        }
    }
    first.SetCount(count);
    if (thinning)
    {
        KeepMarked(second, grid, kept, margin);
    }
}

} // namespace Arealis::Detail
