#pragma once

#include "Arealis/Point.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace Arealis
{

struct Node;
class Polygon;
class PolygonLayer;

namespace LayerOperations
{

class FlatPolygonStore;
struct FlatPolygonChunk;

// How long a flat polygon waits for the merge. Those that may wait until its end (a join's
// remainders, merged once every remainder of their block is made) fill chunks of their own,
// so that they keep no chunk of the others in use, and their room is counted apart.
enum class FlatWait : std::uint8_t
{
    Short,
    UntilTheEnd
};

// A free polygon's rings as plain arrays of points. The parallel layer operations flatten a
// piece on the worker that made it, which then frees the piece itself (its allocator's own
// thread, its caches), and the merging thread reads two contiguous arrays instead of the
// piece's rings and scattered node records.
class FlatPolygon
{
public:
    FlatPolygon() = default; // no nodes
    // The polygon's points in room of the store, which must outlive the flat polygon.
    FlatPolygon(const Polygon& polygon, FlatPolygonStore& store, FlatWait wait = FlatWait::Short);
    ~FlatPolygon() { Release(); }
    FlatPolygon(FlatPolygon&& other) noexcept;
    FlatPolygon& operator=(FlatPolygon&& other) noexcept;
    FlatPolygon(const FlatPolygon&) = delete;
    FlatPolygon& operator=(const FlatPolygon&) = delete;

    bool IsEmpty() const noexcept { return m_pointCount == 0; }
    // The points of all rings, one ring after the other.
    std::span<const Point> Points() const noexcept { return {m_points, m_pointCount}; }

    // Adds the polygon to the layer as PolygonLayer::AddPolygon adds the original: the same
    // rings with the layer's nodes at their points, looked up as one batch. nodes is working
    // room that the caller keeps from call to call. When it throws, the layer is as it was.
    Polygon* AddTo(PolygonLayer& layer, std::vector<Node*>& nodes) const;
    // AddTo with the layer's nodes at Points() looked up already, one reference each, which
    // go to the rings; when it throws, they are released and the layer is as it was.
    Polygon* AddTo(PolygonLayer& layer, std::span<Node* const> nodes) const;

private:
    // Hands the room back to the store.
    void Release() noexcept;

    const Point* m_points = nullptr;
    const std::int32_t* m_ringSizes = nullptr;
    std::uint32_t m_pointCount = 0;
    std::uint32_t m_ringCount = 0;
    FlatPolygonChunk* m_chunk = nullptr;
};

// The room of one operation's flat polygons: chunks of memory that each thread fills with the
// polygons it flattens, and that go back to a free list once every polygon in them is merged
// and released (on whatever thread). Flattening then allocates nothing from the heap in the
// steady state, and no thread frees what another allocated: heap blocks made on a worker and
// freed on the merging thread were a large part of the CPU time that the split adds.
class FlatPolygonStore
{
public:
    FlatPolygonStore();
    ~FlatPolygonStore();
    FlatPolygonStore(const FlatPolygonStore&) = delete;
    FlatPolygonStore& operator=(const FlatPolygonStore&) = delete;

    // Bytes of the chunks in use for flat polygons that wait so long: those that hold
    // polygons not yet released and those that threads are filling. Read from any thread.
    std::size_t HeldBytes(FlatWait wait = FlatWait::Short) const noexcept
    {
        return m_held[static_cast<std::size_t>(wait)].load(std::memory_order_relaxed);
    }
    // The most that the chunks in use have taken together.
    std::size_t PeakHeldBytes() const noexcept
    {
        return m_peakHeld.load(std::memory_order_relaxed);
    }

private:
    friend class FlatPolygon;
    using Chunk = FlatPolygonChunk;

    // Room for bytes (a multiple of 16) in the calling thread's current chunk, which holds
    // one more polygon from now on.
    std::byte* Take(std::size_t bytes, FlatWait wait, Chunk*& chunk);
    // Drops a hold on the chunk; the last one puts it on the free list.
    void Drop(Chunk* chunk) noexcept;
    Chunk* NewChunk(std::size_t bytes, FlatWait wait);

    const std::uint64_t m_id; // tells the threads' current chunks of different stores apart
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Chunk>> m_chunks; // all of them, freed with the store
    std::vector<Chunk*> m_free;
    std::atomic<std::size_t> m_held[2] = {0, 0}; // by FlatWait, changed under m_mutex
    std::atomic<std::size_t> m_peakHeld{0};      // changed under m_mutex
};

// Adds to the polygon a ring of size nodes that takes the references nodes[taken] on (looked up
// ahead, one each) and moves taken past them.
void AddRingTakingNodes(Polygon& polygon, std::int32_t size, std::span<Node* const> nodes,
                        std::size_t& taken);

// Undoes a polygon that was being made from nodes looked up ahead (one reference each, handed
// to its rings in order) when the making failed: the references not yet taken by a ring are
// released, and the polygon, if created, is deleted, which releases those its rings took.
void DiscardPartlyMade(PolygonLayer& layer, Polygon* pPolygon, std::span<Node* const> untaken);

} // namespace LayerOperations

} // namespace Arealis
