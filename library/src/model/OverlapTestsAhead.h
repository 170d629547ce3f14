#pragma once

#include "Arealis/PolygonTable.h"
#include "Arealis/PolygonsSet.h"
#include "Arealis/Rectangle.h"

#include <cstddef>
#include <cstdint>
#include <atomic>
#include <exception>
#include <functional>
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
// candidates, the polygons whose bounds meet its bounds among those committed before the
// commit and the earlier ones of the commit. A polygon's tests stop at the first one that
// does not find the two apart (an overlap or an exception): the polygon so found may itself
// be refused by the filing, which then makes the tests it finds missing itself. The filing so
// gets the outcomes the tests would have had on one thread, exceptions included, in its own
// order. The tests of a block of polygons start as soon as the block has been added, while
// the calling thread adds the next ones: adding them (the search for each one's candidates)
// is serial, and the tests following it made it most of the commit's time on two threads.
// A polygon of very many candidates has them tested in parts on all the threads, each part
// in turn; the first part with a stop gives the one the polygon's tests in turn would give.
// The candidates kept are bounded by a number per polygon: polygons that overlap many
// others (a layer of copies of one polygon) would otherwise take memory and time quadratic in
// their number, where the filing, which meets only the committed ones, takes linear. The
// polygons beyond the bound are left to the filing.
class OverlapTestsAhead
{
public:
    // Room for count polygons; committed is the layer's index, which must not change until
    // the filing has asked for its last outcome.
    OverlapTestsAhead(const PolygonsSet& committed, std::size_t count);

    // The next polygon in commit order, prepared, with the bounds it is filed under; called
    // by addAll of AddAndTest only, at most count times. Either the polygon is added or, when
    // this throws, nothing changed but the candidates' cached values.
    void Add(Polygon* pPolygon, const Rectangle& bounds);

    std::size_t Count() const noexcept { return m_added; }
    const Rectangle& BoundsOf(std::size_t k) const noexcept { return m_bounds[k]; }

    // Calls addAll on the calling thread, which adds the polygons, and makes the tests of
    // those added on the given number of threads (the calling one among them), each block of
    // polygons as soon as it is added. When the tests cannot be made (no thread or no memory
    // to be had), none is kept and the filing makes each. What addAll throws is rethrown once
    // the threads have ended.
    void AddAndTest(unsigned threads, const std::function<void()>& addAll);

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
    // The test that ended a polygon's tests without finding the two apart.
    struct Stop
    {
        const Polygon* pOther = nullptr; // null: every candidate found apart
        bool Overlap = false;
        std::exception_ptr Error;
    };

    // Tests the polygons of a block that were added.
    void TestBlock(std::size_t block) noexcept;

    // Tests polygon k against its candidates in turn, until one does not find them apart;
    // the candidates found apart are then sorted by address, for the filing's look-ups.
    void Test(std::size_t k);
    // Tests candidates [first, end) of polygon k in turn until one does not find the two
    // apart: its position, with the outcome in stop; end when every one was found apart.
    std::size_t TestInTurn(std::size_t k, std::size_t first, std::size_t end, Stop& stop) const;
    // The position that TestInTurn over all of polygon k's candidates gives, with the tests
    // split over the threads: each part of the candidates is tested in turn, and the first
    // part with a stop holds the first one.
    std::size_t TestSplit(std::size_t k);

    // Polygon k's candidates.
    std::vector<const Polygon*>::iterator CandidatesBegin(std::size_t k);
    std::vector<const Polygon*>::const_iterator CandidatesBegin(std::size_t k) const;

    const PolygonsSet& m_committed;
    unsigned m_threads = 1; // those of AddAndTest
    PolygonTable<bool> m_committedPrepared; // the committed candidates prepared for the tests
    // Sized for every polygon at the start, so that the tests read them while polygons are
    // added; the first m_added are filled.
    std::vector<Polygon*> m_polygons;
    std::vector<Rectangle> m_bounds;
    std::size_t m_added = 0;
    // How many polygons have been added, for the tests: published block by block, and at
    // the end, when m_addingEnded is set.
    std::atomic<std::size_t> m_published{0};
    std::atomic<bool> m_addingEnded{false};
    PolygonsSet m_index; // the polygons added, in commit order
    // The candidates of polygon k are m_candidates[k / BlockSize][m_starts[k] .. + m_counts[k]),
    // unless m_collected[k] is 0: the polygon was left to the filing. Each block of polygons
    // has its own list, complete once the block is added: the tests of a block read it while
    // the next blocks are added.
    std::vector<std::vector<const Polygon*>> m_candidates;
    std::vector<std::size_t> m_starts;
    std::vector<std::uint32_t> m_counts;
    std::vector<std::uint8_t> m_collected;
    std::size_t m_candidateCount = 0; // kept for all the polygons
    std::size_t m_candidateRoom;      // the bound on the candidates kept
    // After the tests: how many of each polygon's candidates were found apart (sorted first
    // in its range), and the test that stopped its tests. Empty when no test was made ahead.
    std::vector<std::uint32_t> m_apart;
    std::vector<Stop> m_stops;
};

} // namespace Arealis::Detail
