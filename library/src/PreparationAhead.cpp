#include "PreparationAhead.h"

#include "Arealis/GeometryExceptions.h"

#include <cstdint>
#include <utility>

namespace Arealis::Detail
{

namespace
{

// Rounds of waiting for the other thread before the waiting one yields its core: a polygon
// takes well under a microsecond to prepare or to file, less than a thread needs to wake up,
// but a large polygon's preparation may want a third thread.
constexpr std::uint32_t SpinRounds = 256;

// Each thread tells the other of its progress every this many polygons.
constexpr std::size_t PublishStep = 32;

// Waits until ready() holds or stop() does; returns ready().
template <class TReady, class TStop>
bool SpinUntil(TReady ready, TStop stop) noexcept
{
    for (std::uint32_t round = 0; !ready(); ++round)
    {
        if (stop())
        {
            return ready();
        }
        if (round < SpinRounds)
        {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        else
        {
            std::this_thread::yield();
        }
    }
    return true;
}

} // namespace

PreparationAhead::PreparationAhead(std::span<Polygon* const> polygons, Prepare prepare)
    : m_polygons(polygons), m_prepare(std::move(prepare))
{
    m_thread = std::thread([this] { Run(); });
}

PreparationAhead::~PreparationAhead()
{
    Stop();
}

bool PreparationAhead::AwaitRoomFor(std::size_t k) noexcept
{
    if (k < m_knownTaken + Slots)
    {
        return true;
    }
    return SpinUntil(
        [this, k]
        {
            m_knownTaken = m_taken.load(std::memory_order_acquire);
            return k < m_knownTaken + Slots;
        },
        [this] { return m_stop.load(std::memory_order_relaxed); });
}

void PreparationAhead::Run() noexcept
{
    std::size_t k = 0;
    for (; k < m_polygons.size(); ++k)
    {
        if (m_stop.load(std::memory_order_relaxed) || !AwaitRoomFor(k))
        {
            break;
        }
        Slot& slot = m_slots[k % Slots];
        slot.Error = nullptr;
        bool goOn = true;
        try
        {
            slot.Bounds = m_prepare(m_polygons[k]);
        }
        catch (const InvalidPolygonException&)
        {
            slot.Error = std::current_exception();
        }
        catch (const PolygonsOverlapException&)
        {
            slot.Error = std::current_exception();
        }
        catch (...)
        {
            slot.Error = std::current_exception();
            goOn = false;
        }
        if (!goOn)
        {
            ++k;
            break;
        }
        // Published in steps, so that the two threads do not pass the count's cache line to
        // and fro for every polygon.
        if ((k + 1) % PublishStep == 0)
        {
            m_prepared.store(k + 1, std::memory_order_release);
        }
    }
    m_prepared.store(k, std::memory_order_release);
}

Rectangle PreparationAhead::Take(std::size_t k)
{
    if (k >= m_knownPrepared)
    {
        SpinUntil(
            [this, k]
            {
                m_knownPrepared = m_prepared.load(std::memory_order_acquire);
                return k < m_knownPrepared;
            },
            [] { return false; });
    }
    Slot& slot = m_slots[k % Slots];
    const Rectangle bounds = slot.Bounds;
    const std::exception_ptr error = std::move(slot.Error);
    if ((k + 1) % PublishStep == 0)
    {
        m_taken.store(k + 1, std::memory_order_release);
    }
    if (error)
    {
        std::rethrow_exception(error);
    }
    return bounds;
}

std::size_t PreparationAhead::Stop() noexcept
{
    m_stop.store(true, std::memory_order_relaxed);
    if (m_thread.joinable())
    {
        m_thread.join();
    }
    return m_prepared.load(std::memory_order_acquire);
}

} // namespace Arealis::Detail
