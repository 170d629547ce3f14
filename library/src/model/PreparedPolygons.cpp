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
// Polygons that one item of the threads' work checks, when each thread still gets this many
// items: checking a small polygon takes a microsecond or less, and every item costs a turn on
// the counter that the threads share.
constexpr std::size_t PolygonsPerItem = 8;
constexpr std::size_t ItemsPerThread = 64;

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
        m_states = std::make_unique<std::atomic<std::uint8_t>[]>(polygons.size());
        m_prepared = std::make_unique_for_overwrite<PlainBounds[]>(polygons.size());
        m_repairsAhead = preparation == Preparation::AllThreadsRepairing;
        if (polygons.size() / PolygonsPerItem >= ItemsPerThread * std::max(threads, 1U))
        {
            m_perItem = PolygonsPerItem;
        }
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
    if (m_states != nullptr)
    {
        // The filing's failure is kept until the threads end, so that whatever ForEach
        // throws is its own: no thread to be had, with nothing checked.
        std::exception_ptr failure;
        m_filingThread = std::this_thread::get_id();
        const auto fileReady = [&]
        {
            if (!goesOn || next == count ||
                ((m_states[next].load(std::memory_order_acquire) & Ready) == 0 &&
                 !HelpRepair(next)))
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
            const std::size_t items = (count + m_perItem - 1) / m_perItem;
            Parallel::ForEach(
                items, m_threads, [this](std::size_t item) { Check(item); }, {}, fileReady,
                true);
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

void PreparedPolygons::Check(std::size_t item) noexcept
{
    const std::size_t first = item * m_perItem;
    const std::size_t end = std::min(first + m_perItem, m_polygons.size());
    for (std::size_t k = first; k < end; ++k)
    {
        const Outcome outcome =
            m_stopChecks.load(std::memory_order_relaxed) ? Outcome::Open : Validate(k);
        if (m_repairsAhead)
        {
            // Sequentially consistent, as the turn's flag: see RepairInOrder.
            m_states[k].store(static_cast<std::uint8_t>(outcome) | Checked);
        }
        else
        {
            m_states[k].store(static_cast<std::uint8_t>(outcome) | Ready,
                              std::memory_order_release);
        }
    }
    // The filing thread repairs only what it waits for, so that its filing goes on beside
    // the other threads' repairs.
    if (m_repairsAhead && std::this_thread::get_id() != m_filingThread)
    {
        RepairInOrder(m_polygons.size());
    }
}

PreparedPolygons::Outcome PreparedPolygons::Validate(std::size_t k) noexcept
{
    Polygon* polygon = m_polygons[k];
    try
    {
        if (NeedsRepair(*polygon))
        {
            return Outcome::Open;
        }
    }
    catch (...)
    {
        return Outcome::Open; // left to the preparation in turn, which meets the failure itself
    }
    try
    {
        Keep(k, ValidateRepaired(polygon));
        return Outcome::Validated;
    }
    catch (...)
    {
        // Without room to keep the error, preparing it in turn meets the failure again.
        return KeepError(k, std::current_exception()) ? Outcome::Failed : Outcome::Open;
    }
}

void PreparedPolygons::Keep(std::size_t k, const Rectangle& bounds) noexcept
{
    m_prepared[k] = {bounds.MinX, bounds.MinY, bounds.MaxX, bounds.MaxY};
}

bool PreparedPolygons::KeepError(std::size_t k, std::exception_ptr error) noexcept
{
    try
    {
        const std::lock_guard lock(m_errorsMutex);
        m_errors.insert_or_assign(k, std::move(error));
        return true;
    }
    catch (...)
    {
        return false;
    }
}

std::exception_ptr PreparedPolygons::TakeError(std::size_t k)
{
    const std::lock_guard lock(m_errorsMutex);
    const auto found = m_errors.find(k);
    std::exception_ptr error = std::move(found->second);
    m_errors.erase(found);
    return error;
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
        for (; k < limit && (m_states[k].load() & Checked) != 0; ++k)
        {
            Settle(k);
        }
        m_nextToSettle = k;
        m_repairing.store(false);
        // A polygon checked while this thread had the turn may have been left to it: the
        // check's store comes before that thread's exchange, which comes before the store
        // above, so the load below sees it.
        if (k >= limit || (m_states[k].load() & Checked) == 0)
        {
            return;
        }
    }
}

void PreparedPolygons::Settle(std::size_t k) noexcept
{
    auto outcome = static_cast<Outcome>(m_states[k].load(std::memory_order_relaxed) & OutcomeBits);
    if (outcome == Outcome::Open && !m_repairsEnded &&
        !m_stopChecks.load(std::memory_order_relaxed))
    {
        try
        {
            Keep(k, PreparePolygon(m_polygons[k]));
            outcome = Outcome::Repaired;
        }
        catch (...)
        {
            if (KeepError(k, std::current_exception()))
            {
                outcome = Outcome::Failed;
            }
            else
            {
                // Prepared in turn when it is taken, as is everything after it.
                m_repairsEnded = true;
            }
        }
    }
    if (outcome == Outcome::Failed && !m_repairsEnded)
    {
        // The commit in turn would prepare nothing after a failure that ends it.
        try
        {
            const std::lock_guard lock(m_errorsMutex);
            m_repairsEnded = !m_goesOn(m_errors.at(k));
        }
        catch (...)
        {
            m_repairsEnded = true;
        }
    }
    m_states[k].store(static_cast<std::uint8_t>(outcome) | Checked | Ready,
                      std::memory_order_release);
}

bool PreparedPolygons::HelpRepair(std::size_t next) noexcept
{
    if (!m_repairsAhead || (m_states[next].load() & Checked) == 0)
    {
        return false;
    }
    RepairInOrder(std::min(m_polygons.size(), next + HelpedRepairs));
    return (m_states[next].load(std::memory_order_acquire) & Ready) != 0;
}

Rectangle PreparedPolygons::Take(std::size_t k)
{
    if (m_ahead)
    {
        return m_ahead->Take(k);
    }
    const std::uint8_t state =
        m_states == nullptr ? 0 : m_states[k].load(std::memory_order_acquire);
    if ((state & Ready) == 0)
    {
        return PreparePolygon(m_polygons[k]);
    }
    const PlainBounds& bounds = m_prepared[k];
    Rectangle prepared;
    prepared.MinX = bounds.MinX;
    prepared.MinY = bounds.MinY;
    prepared.MaxX = bounds.MaxX;
    prepared.MaxY = bounds.MaxY;
    switch (static_cast<Outcome>(state & OutcomeBits))
    {
    case Outcome::Validated:
        m_polygons[k]->ClearEditing();
        return prepared;
    case Outcome::Repaired:
        return prepared;
    case Outcome::Failed:
        std::rethrow_exception(TakeError(k));
    case Outcome::Open:
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
            const std::uint8_t state = m_states[k].load(std::memory_order_relaxed);
            if ((state & Ready) != 0 &&
                static_cast<Outcome>(state & OutcomeBits) == Outcome::Repaired)
            {
                m_polygons[k]->MarkEditing();
            }
        }
    }
}

} // namespace Arealis::Detail
