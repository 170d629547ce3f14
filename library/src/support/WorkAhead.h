#pragma once

#include "Arealis/Precision.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace Arealis::Detail
{

// -1 to ask the machine; 0 or 1 to answer HasSecondCore so, whatever the machine has: tests
// run the work on a second thread also on a machine with one core, where it is only slower.
inline std::atomic<int>& SecondCoreOverride() noexcept
{
    static std::atomic<int> forced{-1};
    return forced;
}

// Whether the machine has a second core for a WorkAhead thread.
inline bool HasSecondCore() noexcept
{
    const int forced = SecondCoreOverride().load(std::memory_order_relaxed);
    if (forced >= 0)
    {
        return forced != 0;
    }
    static const bool hasSecond = std::thread::hardware_concurrency() > 1;
    return hasSecond;
}

// Makes items 0 .. count - 1 on a second thread, in order, while the caller's thread takes
// them in the same order: a layer's commit prepares its polygons ahead of filing them. The
// items live in the caller's slots, used in turn and reused from item to item, so that the
// thread keeps at most as many items ahead of the caller as there are slots; an item stays the
// caller's until it takes the next one.
//
// When making an item throws, the caller gets the exception when it takes that item; the
// thread goes on with the next item when goesOn(exception) says so and stops otherwise.
template <class TItem>
class WorkAhead
{
public:
    using Make = std::function<void(std::size_t k, TItem& item)>;
    using GoesOn = std::function<bool(const std::exception_ptr&)>;

    // Starts the thread; throws std::system_error when none can be had. Two slots at least.
    WorkAhead(std::size_t count, std::span<TItem> slots, Make make, GoesOn goesOn)
        : m_count(count), m_slots(slots), m_errors(slots.size()), m_make(std::move(make)),
          m_goesOn(std::move(goesOn)), m_step(std::max<std::size_t>(1, slots.size() / 32))
    {
        // Making an item may snap or compare coordinates: the thread works with the
        // precision of the caller's.
        m_thread = std::thread(
            [this, precision = CurrentPrecision()]
            {
                const PrecisionScope scope(precision);
                Run();
            });
    }

    // Stops the thread after the item that it is making.
    ~WorkAhead() { Stop(); }

    WorkAhead(const WorkAhead&) = delete;
    WorkAhead& operator=(const WorkAhead&) = delete;

    // Waits until item k is made and returns it, or rethrows what making it threw. Items are
    // taken in order, each once; taking item k gives item k - 1 back.
    TItem& Take(std::size_t k)
    {
        if (k > 0 && k % m_step == 0)
        {
            Publish(m_taken, k);
        }
        if (k >= m_knownMade)
        {
            m_knownMade = AwaitMore(m_made, k, [] { return false; });
        }
        const std::size_t slot = k % m_slots.size();
        if (m_errors[slot])
        {
            std::rethrow_exception(std::exchange(m_errors[slot], nullptr));
        }
        return m_slots[slot];
    }

    // Stops the thread after the item that it is making and waits for it; returns how many
    // items from the first have been made (making them has ended).
    std::size_t Stop() noexcept
    {
        m_stop.store(true, std::memory_order_relaxed);
        // Every item given back: a thread waiting for room wakes up, and then sees the stop.
        Publish(m_taken, std::numeric_limits<std::size_t>::max());
        if (m_thread.joinable())
        {
            m_thread.join();
        }
        return m_made.load(std::memory_order_acquire);
    }

private:
    // Rounds of waiting for the other thread before the waiting one sleeps: items take from
    // well under a microsecond to a millisecond, and waking a thread takes microseconds.
    static constexpr std::uint32_t SpinRounds = 256;

    // Waits until count exceeds k, or stop() holds; returns the count last read.
    template <class TStop>
    static std::size_t AwaitMore(const std::atomic<std::size_t>& count, std::size_t k,
                                 TStop stop) noexcept
    {
        std::size_t seen = count.load(std::memory_order_acquire);
        for (std::uint32_t round = 0; seen <= k && !stop(); ++round)
        {
            if (round < SpinRounds)
            {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
            else
            {
                count.wait(seen, std::memory_order_acquire);
            }
            seen = count.load(std::memory_order_acquire);
        }
        return seen;
    }

    // Counts are published in steps (see m_step), so that the two threads do not pass their
    // cache lines to and fro for every small item.
    static void Publish(std::atomic<std::size_t>& count, std::size_t value) noexcept
    {
        count.store(value, std::memory_order_release);
        count.notify_one();
    }

    void Run() noexcept
    {
        const std::size_t slots = m_slots.size();
        std::size_t k = 0;
        for (; k < m_count; ++k)
        {
            if (k >= m_knownTaken + slots)
            {
                m_knownTaken = AwaitMore(m_taken, k - slots,
                                         [this] { return m_stop.load(std::memory_order_relaxed); });
            }
            if (m_stop.load(std::memory_order_relaxed))
            {
                break;
            }
            if (!MakeItem(k))
            {
                ++k;
                break;
            }
            if ((k + 1) % m_step == 0)
            {
                Publish(m_made, k + 1);
            }
        }
        Publish(m_made, k);
    }

    // Makes item k; false when it threw and the thread is not to go on.
    bool MakeItem(std::size_t k) noexcept
    {
        const std::size_t slot = k % m_slots.size();
        try
        {
            m_make(k, m_slots[slot]);
        }
        catch (...)
        {
            m_errors[slot] = std::current_exception();
            return m_goesOn(m_errors[slot]);
        }
        return true;
    }

    const std::size_t m_count;
    const std::span<TItem> m_slots;
    // What making the item in each slot threw, if anything.
    std::vector<std::exception_ptr> m_errors;
    Make m_make;
    GoesOn m_goesOn;
    // Each thread publishes its count every m_step items; with fewer than 64 slots, every item.
    const std::size_t m_step;
    alignas(64) std::atomic<std::size_t> m_made{0};
    alignas(64) std::atomic<std::size_t> m_taken{0};
    std::atomic<bool> m_stop{false};
    // What each thread last read of the other's count.
    alignas(64) std::size_t m_knownMade = 0;
    alignas(64) std::size_t m_knownTaken = 0;
    std::thread m_thread;
};

} // namespace Arealis::Detail
