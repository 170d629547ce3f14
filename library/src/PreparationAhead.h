#pragma once

#include "Arealis/Rectangle.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <span>
#include <thread>

namespace Arealis
{
class Polygon;
}

namespace Arealis::Detail
{

// Runs prepare(polygon) for a fixed list of polygons on a second thread, in list order, while
// the caller's thread takes the prepared polygons in the same order. A layer's commit prepares
// (cleans and validates) each polygon, which touches that polygon, its rings and the node set,
// and then files it in the layer's index under the bounds that prepare returns, which touches
// neither: so the filing of one polygon and the preparation of the next ones can run at once,
// and the filing thread need not read the polygon itself, which lies in the other core's cache.
//
// A preparation that throws an InvalidPolygonException or a PolygonsOverlapException is passed
// on to the caller when it takes that polygon, and the thread goes on with the next one; any
// other exception is passed on likewise, but the thread stops there, as a commit that meets it
// does. The thread keeps at most Slots polygons ahead of the caller.
class PreparationAhead
{
public:
    using Prepare = std::function<Rectangle(Polygon*)>;

    // Starts the thread; throws std::system_error when none can be had.
    PreparationAhead(std::span<Polygon* const> polygons, Prepare prepare);
    // Stops the thread after the polygon that it is preparing.
    ~PreparationAhead();
    PreparationAhead(const PreparationAhead&) = delete;
    PreparationAhead& operator=(const PreparationAhead&) = delete;

    // Waits until polygon k of the list is prepared and returns its bounds, or rethrows what
    // its preparation threw. Polygons are taken in list order, each once.
    Rectangle Take(std::size_t k);

    // Stops the thread after the polygon that it is preparing and waits for it; returns how many
    // polygons from the start of the list have been prepared (their preparation has ended).
    std::size_t Stop() noexcept;

private:
    static constexpr std::size_t Slots = 1024;

    // The outcome of one polygon's preparation.
    struct Slot
    {
        Rectangle Bounds;
        std::exception_ptr Error;
    };

    void Run() noexcept;
    // Waits, as the thread, until the caller has taken polygon k - Slots; false when stopped.
    bool AwaitRoomFor(std::size_t k) noexcept;

    std::span<Polygon* const> m_polygons;
    Prepare m_prepare;
    // Polygon k's outcome is in slot k % Slots from when m_prepared exceeds k until the caller
    // has taken it (m_taken exceeds k).
    std::array<Slot, Slots> m_slots;
    alignas(64) std::atomic<std::size_t> m_prepared{0};
    alignas(64) std::atomic<std::size_t> m_taken{0};
    std::atomic<bool> m_stop{false};
    // What each thread last read of the other's count.
    alignas(64) std::size_t m_knownPrepared = 0;
    alignas(64) std::size_t m_knownTaken = 0;
    std::thread m_thread;
};

} // namespace Arealis::Detail
