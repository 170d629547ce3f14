#pragma once

// Items handed out to threads in contiguous runs. Each thread starts on a range of its own and
// takes its items in ascending order; a thread whose range is used up takes the upper half of
// the largest range left and goes on there. Items whose results feed one another (the unions
// of a tree, neighbours of a layer) so stay mostly on one thread: its data stay in its core's
// cache and its freed memory is reused by itself, instead of crossing between the cores with
// every item as when threads take turns at one shared counter.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

namespace Arealis::Parallel
{

class StealingRanges
{
public:
    // Splits [0, count) into slots ranges of nearly equal size; count must fit 32 bits.
    StealingRanges(std::size_t count, unsigned slots)
        : m_slots(slots == 0 ? 1 : slots), m_ranges(std::make_unique<Range[]>(m_slots))
    {
        if (count > UINT32_MAX)
        {
            throw std::length_error("StealingRanges: more than 2^32 - 1 items");
        }
        for (unsigned s = 0; s < m_slots; ++s)
        {
            m_ranges[s].Bounds.store(Pack(count * s / m_slots, count * (s + 1) / m_slots),
                                     std::memory_order_relaxed);
        }
    }

    // The next item for the thread working slot (one thread per slot at a time); none once
    // every item has been taken.
    std::optional<std::size_t> Take(unsigned slot)
    {
        std::atomic<std::uint64_t>& own = m_ranges[slot].Bounds;
        std::uint64_t bounds = own.load(std::memory_order_acquire);
        while (Begin(bounds) < End(bounds))
        {
            if (own.compare_exchange_weak(bounds, Pack(Begin(bounds) + 1, End(bounds)),
                                          std::memory_order_acq_rel))
            {
                return Begin(bounds);
            }
        }
        return Steal(own);
    }

private:
    struct alignas(64) Range
    {
        // The next item in the low half, the end in the high half: both change together.
        std::atomic<std::uint64_t> Bounds{0};
    };

    static std::uint64_t Pack(std::size_t begin, std::size_t end)
    {
        return (static_cast<std::uint64_t>(end) << 32U) | static_cast<std::uint64_t>(begin);
    }
    static std::size_t Begin(std::uint64_t bounds) { return bounds & UINT32_MAX; }
    static std::size_t End(std::uint64_t bounds) { return bounds >> 32U; }

    // Takes the upper half of the largest other range: its first item now, the rest as the
    // calling slot's new range (which was empty, so no other thread changes it meanwhile: a
    // thief changes only a range with items left).
    std::optional<std::size_t> Steal(std::atomic<std::uint64_t>& own)
    {
        for (;;)
        {
            Range* pVictim = nullptr;
            std::uint64_t bounds = 0;
            for (unsigned s = 0; s < m_slots; ++s)
            {
                const std::uint64_t seen = m_ranges[s].Bounds.load(std::memory_order_acquire);
                if (End(seen) - Begin(seen) > End(bounds) - Begin(bounds))
                {
                    pVictim = &m_ranges[s];
                    bounds = seen;
                }
            }
            if (pVictim == nullptr)
            {
                return std::nullopt;
            }
            const std::size_t middle = End(bounds) - (End(bounds) - Begin(bounds) + 1) / 2;
            if (pVictim->Bounds.compare_exchange_strong(bounds, Pack(Begin(bounds), middle),
                                                        std::memory_order_acq_rel))
            {
                own.store(Pack(middle + 1, End(bounds)), std::memory_order_release);
                return middle;
            }
        }
    }

    unsigned m_slots;
    std::unique_ptr<Range[]> m_ranges;
};

} // namespace Arealis::Parallel
