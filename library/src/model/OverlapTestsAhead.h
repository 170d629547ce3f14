#pragma once

#include "Arealis/PolygonTable.h"
#include "Arealis/PolygonsSet.h"
#include "Arealis/Rectangle.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

namespace Arealis
{
class Polygon;
}

namespace Arealis::Detail
{

// The overlap tests of a commit into a layer whose polygons must not overlap, made on several
// threads before the polygons are filed. The filing stays on one thread, in commit order:
// which polygons a polygon is tested against (those committed by its turn) depends on the
// outcome of the tests before it. Ahead of it, each polygon is tested against its
// candidates: the polygons committed before the commit and the earlier ones of the commit
// whose bounds meet its bounds, the committed ones first, the others in commit order. A
// polygon's tests stop at the first one that does not find the two apart (an overlap or an
// exception): the polygon so found may itself be refused by the filing, which then makes the
// tests it finds missing itself. The filing so gets the outcomes the tests would have had on
// one thread, exceptions included, in its own order.
class OverlapTestsAhead
{
public:
    // Room for count polygons.
    explicit OverlapTestsAhead(std::size_t count);

    // The next polygon in commit order, prepared, with the bounds it is filed under.
    void Add(Polygon* pPolygon, const Rectangle& bounds);

    std::size_t Count() const noexcept { return m_polygons.size(); }
    const Rectangle& BoundsOf(std::size_t k) const noexcept { return m_bounds[k]; }

    // Makes the tests on the given number of threads. committed is the layer's index, which
    // must not change until the filing has asked for its last outcome. When the tests cannot
    // be made (no thread or no memory to be had), none is kept and the filing makes each.
    void Run(const PolygonsSet& committed, unsigned threads) noexcept;

    // Whether each polygon was tested against every candidate and found apart from each:
    // filed in turn into an empty index, every polygon is then committed.
    bool AllApart() const noexcept;

    // Gives the empty index the one that filing every polygon in turn into it makes.
    void FileAllInto(PolygonsSet& empty) noexcept { empty = std::move(m_index); }

    // Whether polygon k overlaps pCommitted (a candidate of it), as Polygon::Overlaps
    // answers: the outcome of the test made ahead, its exception rethrown, or of the test
    // made now when none was made.
    bool Overlaps(std::size_t k, const Polygon* pCommitted) const;

private:
    struct Outcome
    {
        const Polygon* pOther = nullptr;
        bool Overlap = false;
        std::exception_ptr Error;
    };
    struct Outcomes
    {
        std::vector<Outcome> Tests; // by pOther
        bool Complete = false;      // every candidate tested and found apart
    };

    // The candidates of polygon k in the order it is tested against them.
    std::vector<const Polygon*> CandidatesOf(const PolygonsSet& committed, std::size_t k) const;
    Outcomes Test(std::size_t k, const std::vector<const Polygon*>& candidates) const;

    std::vector<Polygon*> m_polygons;
    std::vector<Rectangle> m_bounds;
    PolygonTable<std::uint32_t> m_order; // the position of each polygon in m_polygons
    PolygonsSet m_index;                 // the polygons in commit order
    std::vector<Outcomes> m_outcomes;    // empty when no test was made ahead
};

} // namespace Arealis::Detail
