#pragma once

#include "Arealis/Rectangle.h"
#include "support/WorkAhead.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Arealis
{
class Polygon;
}

namespace Arealis::Detail
{

// Repairs what can be repaired (repeated nodes, spikes, self-intersections, degenerate rings)
// and checks the ring structure; the polygon then no longer counts as being edited. Returns the
// bounds under which the polygon is filed.
Rectangle PreparePolygon(Polygon* pPolygon);

// Whether a commit of these polygons is worth preparing on several threads: enough nodes in
// all, in polygons large enough that each is a task of its own.
bool IsLargePreparation(std::span<Polygon* const> polygons);

// How the polygons of a commit are prepared ahead of their filing.
enum class Preparation
{
    InTurn,       // each when it is taken
    SecondThread, // in order on a second thread, at most 1024 polygons ahead
    AllThreads,   // everything but the repairs on several threads beside the filing
    // Everything on several threads, the repairs too: in commit order, each by the thread
    // that finds the polygons before it settled, while the filing goes on. Only for a
    // filing that reads no other polygon's nodes (a layer that allows overlap).
    AllThreadsRepairing,
};

// The polygons of a commit, in commit order, prepared ahead of their filing. On several
// threads, each polygon is checked for repairs; one that needs none is validated there, one
// that needs some is repaired one at a time, in commit order: repairs change the topology's
// nodes, which one thread at a time may do. With AllThreads the filing's thread repairs a
// polygon when it takes it; with AllThreadsRepairing the repairs run ahead of the filing, as
// the second thread's do. The checks read only their own polygon, which neither the filing
// nor the repairs of other polygons change (a node keeps its place while it is used), and
// write nothing that those read. Outcomes, exceptions included, come in commit order as
// preparing each in turn gives them; the polygons are repaired in that order too, so the
// topology makes the same nodes, and none after a failure that ends the commit. Without a
// thread to be had, each is prepared in turn.
class PreparedPolygons
{
public:
    // goesOn(error) tells whether the commit goes on after a polygon that failed so.
    PreparedPolygons(std::span<Polygon* const> polygons, Preparation preparation, unsigned threads,
                     WorkAhead<Rectangle>::GoesOn goesOn);

    // Whether any work is done ahead of the filing.
    bool Ahead() const noexcept { return m_ahead.has_value() || m_states != nullptr; }

    // Calls file(k) on the calling thread for k = 0, 1, ... in turn, as soon as polygon k can
    // be taken, until it returns false or every polygon was filed. What file throws passes on
    // once the threads have ended.
    void FileInOrder(const std::function<bool(std::size_t)>& file);

    // The bounds of polygon k, prepared, or what preparing it threw; taken in order, each once.
    Rectangle Take(std::size_t k);

    // Stops the preparation; the polygons prepared from the given one on, which were not
    // taken, stay in the edit list: back to editing, as after a filing that failed.
    void Stop(std::size_t untaken) noexcept;

private:
    // What the threads made of one polygon: one byte each, the outcome in the low bits, with
    // the two steps below.
    enum class Outcome : std::uint8_t
    {
        Open,      // not reached, or it needs repairs: prepared when taken
        Validated, // its bounds are known; editing ends when it is taken
        Repaired,  // prepared ahead, its bounds known
        Failed,    // validating or repairing it threw what m_errors holds
    };
    static constexpr std::uint8_t OutcomeBits = 3;
    static constexpr std::uint8_t Checked = 4; // the check has ended (repairs made ahead only)
    static constexpr std::uint8_t Ready = 8;   // the outcome is final: the rest may be read
    // The bounds of a polygon prepared ahead: plain numbers, so that their room is first
    // written, its pages first touched, by the thread that prepares the polygon rather than
    // the filing one before the threads start.
    struct PlainBounds
    {
        double MinX;
        double MinY;
        double MaxX;
        double MaxY;
    };

    // Checks the polygons of item k (consecutive ones, see m_perItem).
    void Check(std::size_t item) noexcept;
    Outcome Validate(std::size_t k) noexcept;
    void Keep(std::size_t k, const Rectangle& bounds) noexcept;
    // False when there was no room to keep it.
    bool KeepError(std::size_t k, std::exception_ptr error) noexcept;
    std::exception_ptr TakeError(std::size_t k);
    // Settles the checked polygons in commit order from the first unsettled one, below limit:
    // repairs those that need it and makes each ready. One thread at a time does so; a
    // thread that finds another at it leaves the work to that one.
    void RepairInOrder(std::size_t limit) noexcept;
    void Settle(std::size_t k) noexcept;
    // Whether the filing thread, blocked on polygon next, settled it itself.
    bool HelpRepair(std::size_t next) noexcept;

    std::span<Polygon* const> m_polygons;
    const unsigned m_threads;
    WorkAhead<Rectangle>::GoesOn m_goesOn;
    std::vector<Rectangle> m_bounds;
    std::optional<WorkAhead<Rectangle>> m_ahead;
    // With several threads: each polygon's outcome and steps, its bounds, and the few errors.
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_states;
    std::unique_ptr<PlainBounds[]> m_prepared;
    std::mutex m_errorsMutex;
    std::unordered_map<std::size_t, std::exception_ptr> m_errors;
    std::size_t m_perItem = 1;             // polygons checked by one item of the threads' work
    std::atomic<bool> m_stopChecks{false}; // the filing ended early: checks not begun are left
    bool m_repairsAhead = false;           // AllThreadsRepairing
    std::thread::id m_filingThread;        // which repairs only when its filing waits for them
    // The repairs' turn: held by the thread that settles polygons; the first polygon not
    // settled, and whether a failure that ends the commit was met (nothing after is repaired).
    alignas(64) std::atomic<bool> m_repairing{false};
    std::size_t m_nextToSettle = 0;
    bool m_repairsEnded = false;
};

} // namespace Arealis::Detail
