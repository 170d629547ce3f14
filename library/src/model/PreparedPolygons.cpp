#include "model/PreparedPolygons.h"

#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "support/ParallelWork.h"
#include "validation/PolygonRepairs.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

namespace Arealis::Detail
{

namespace
{

// A commit of this many nodes or more, at this many per polygon on average, is prepared on
// several threads: a polygon's checks then take tens of microseconds at least, far more than
// handing it to a thread.
constexpr std::int64_t LargeNodeCount = std::int64_t{1} << 16;
constexpr std::int64_t LargeAverageNodes = 64;
// Polygons that the second thread keeps ready ahead of the filing.
constexpr std::size_t SecondThreadSlots = 1024;
// Polygons that the filing thread settles at most before it files again, when it waits for
// the repairs itself: few, so that the polygons ready behind them are filed soon.
constexpr std::size_t HelpedRepairs = 32;

// The checks of PreparePolygon after the repairs, without ending the editing.
Rectangle ValidateRepaired(Polygon* pPolygon)
{
    if (pPolygon->IsModified())
    {
        pPolygon->Organise();
    }
    pPolygon->Validate(false);
    return pPolygon->GetBounds();
}

} // namespace

Rectangle PreparePolygon(Polygon* pPolygon)
{
    pPolygon->Clean(true);
    const Rectangle bounds = ValidateRepaired(pPolygon);
    pPolygon->ClearEditing();
    return bounds;
}

bool IsLargePreparation(std::span<Polygon* const> polygons)
{
    if (polygons.size() < 2)
    {
        return false;
    }
    std::int64_t nodes = 0;
    for (const Polygon* polygon : polygons)
    {
        nodes += polygon->GetNodeCount();
    }
    return nodes >= LargeNodeCount &&
           nodes >= LargeAverageNodes * static_cast<std::int64_t>(polygons.size());
}

PreparedPolygons::PreparedPolygons(std::span<Polygon* const> polygons, Preparation preparation,
                                   unsigned threads, WorkAhead<Rectangle>::GoesOn goesOn)
    : m_polygons(polygons), m_threads(threads), m_goesOn(std::move(goesOn))
{
    if (preparation == Preparation::AllThreads || preparation == Preparation::AllThreadsRepairing)
    {
        m_outcomes = std::make_unique<Outcome[]>(polygons.size());
        m_repairsAhead = preparation == Preparation::AllThreadsRepairing;
        return;
    }
    if (preparation != Preparation::SecondThread)
    {
        return;
    }
    m_bounds.resize(SecondThreadSlots);
    try
    {
        m_ahead.emplace(
            polygons.size(), m_bounds,
            [this](std::size_t k, Rectangle& bounds) { bounds = PreparePolygon(m_polygons[k]); },
            m_goesOn);
    }
    catch (const std::system_error&) // no thread to be had
    {
    }
}

void PreparedPolygons::FileInOrder(const std::function<bool(std::size_t)>& file)
{
    const std::size_t count = m_polygons.size();
    std::size_t next = 0;
    bool goesOn = true;
    if (m_outcomes != nullptr)
    {
        // The filing's failure is kept until the threads end, so that whatever ForEach
        // throws is its own: no thread to be had, with nothing checked.
        std::exception_ptr failure;
        m_filingThread = std::this_thread::get_id();
        const auto fileReady = [&]
        {
            if (!goesOn || next == count ||
                (!m_outcomes[next].Ready.load(std::memory_order_acquire) && !HelpRepair(next)))
            {
                return false;
            }
            try
            {
                goesOn = file(next++);
            }
            catch (...)
            {
                failure = std::current_exception();
                goesOn = false;
            }
            if (!goesOn)
            {
                m_stopChecks.store(true, std::memory_order_relaxed);
            }
            return true;
        };
        try
        {
            Parallel::ForEach(
                count, m_threads, [this](std::size_t k) { Check(k); }, {}, fileReady, true);
        }
        catch (const std::system_error&) // no thread to be had: the rest is prepared in turn
        {
        }
        if (failure != nullptr)
        {
            std::rethrow_exception(failure);
        }
    }
    while (goesOn && next < count)
    {
        goesOn = file(next++);
    }
}

void PreparedPolygons::Check(std::size_t k) noexcept
{
    Outcome& outcome = m_outcomes[k];
    if (!m_stopChecks.load(std::memory_order_relaxed))
    {
        Validate(m_polygons[k], outcome);
    }
    if (!m_repairsAhead)
    {
        outcome.Ready.store(true, std::memory_order_release);
        return;
    }
    // Sequentially consistent, as the turn's flag: see RepairInOrder.
    outcome.Checked.store(true);
    // The filing thread repairs only what it waits for, so that its filing goes on beside
    // the other threads' repairs.
    if (std::this_thread::get_id() != m_filingThread)
    {
        RepairInOrder(m_polygons.size());
    }
}

void PreparedPolygons::RepairInOrder(std::size_t limit) noexcept
{
    for (;;)
    {
        if (m_repairing.exchange(true))
        {
            return; // the thread that has the turn looks at this polygon before it leaves
        }
        std::size_t k = m_nextToSettle;
        for (; k < limit && m_outcomes[k].Checked.load(); ++k)
        {
            Settle(m_outcomes[k], m_polygons[k]);
        }
        m_nextToSettle = k;
        m_repairing.store(false);
        // A polygon checked while this thread had the turn may have been left to it: the
        // check's store comes before that thread's exchange, which comes before the store
        // above, so the load below sees it.
        if (k >= limit || !m_outcomes[k].Checked.load())
        {
            return;
        }
    }
}

void PreparedPolygons::Settle(Outcome& outcome, Polygon* pPolygon) noexcept
{
    if (outcome.Kind == Outcome::State::Open && !m_repairsEnded &&
        !m_stopChecks.load(std::memory_order_relaxed))
    {
        try
        {
            outcome.Bounds = PreparePolygon(pPolygon);
            outcome.Kind = Outcome::State::Repaired;
        }
        catch (...)
        {
            outcome.Error = std::current_exception();
            outcome.Kind = Outcome::State::Failed;
        }
    }
    if (outcome.Kind == Outcome::State::Failed && !m_repairsEnded)
    {
        // The commit in turn would prepare nothing after a failure that ends it.
        try
        {
            m_repairsEnded = !m_goesOn(outcome.Error);
        }
        catch (...)
        {
            m_repairsEnded = true;
        }
    }
    outcome.Ready.store(true, std::memory_order_release);
}

bool PreparedPolygons::HelpRepair(std::size_t next) noexcept
{
    if (!m_repairsAhead || !m_outcomes[next].Checked.load())
    {
        return false;
    }
    RepairInOrder(std::min(m_polygons.size(), next + HelpedRepairs));
    return m_outcomes[next].Ready.load(std::memory_order_acquire);
}

void PreparedPolygons::Validate(Polygon* pPolygon, Outcome& outcome) noexcept
{
    try
    {
        if (NeedsRepair(*pPolygon))
        {
            return;
        }
    }
    catch (...)
    {
        return; // left to the preparation in turn, which meets the failure itself if any
    }
    try
    {
        outcome.Bounds = ValidateRepaired(pPolygon);
        outcome.Kind = Outcome::State::Validated;
    }
    catch (...)
    {
        outcome.Error = std::current_exception();
        outcome.Kind = Outcome::State::Failed;
    }
}

Rectangle PreparedPolygons::Take(std::size_t k)
{
    if (m_ahead)
    {
        return m_ahead->Take(k);
    }
    if (m_outcomes == nullptr || !m_outcomes[k].Ready.load(std::memory_order_acquire))
    {
        return PreparePolygon(m_polygons[k]);
    }
    Outcome& outcome = m_outcomes[k];
    switch (outcome.Kind)
    {
    case Outcome::State::Validated:
        m_polygons[k]->ClearEditing();
        return outcome.Bounds;
    case Outcome::State::Repaired:
        return outcome.Bounds;
    case Outcome::State::Failed:
        std::rethrow_exception(std::exchange(outcome.Error, nullptr));
    case Outcome::State::Open:
        break;
    }
    return PreparePolygon(m_polygons[k]);
}

void PreparedPolygons::Stop(std::size_t untaken) noexcept
{
    if (m_ahead)
    {
        const std::size_t prepared = m_ahead->Stop();
        for (std::size_t k = untaken; k < prepared; ++k)
        {
            m_polygons[k]->MarkEditing();
        }
    }
    if (m_repairsAhead)
    {
        // The threads have ended with the filing.
        for (std::size_t k = untaken; k < m_polygons.size(); ++k)
        {
            if (m_outcomes[k].Ready.load(std::memory_order_relaxed) &&
                m_outcomes[k].Kind == Outcome::State::Repaired)
            {
                m_polygons[k]->MarkEditing();
            }
        }
    }
}

} // namespace Arealis::Detail
