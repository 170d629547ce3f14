#include "overlay/FlatPolygon.h"

#include "Arealis/NodeSet.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>
#include <utility>

namespace Arealis::LayerOperations
{

struct FlatPolygonChunk
{
    FlatPolygonChunk(std::size_t size, FlatPolygonStore& store)
        : Bytes(std::make_unique_for_overwrite<std::byte[]>(size)), Size(size), Store(store)
    {
    }

    std::unique_ptr<std::byte[]> Bytes; // aligned for any fundamental type, points among them
    std::size_t Size;
    std::size_t Used = 0;
    // One hold per flat polygon in the chunk, and one while a thread fills it.
    std::atomic<std::uint32_t> Holds{1};
    FlatPolygonStore& Store;
    FlatWait Wait = FlatWait::Short; // of the polygons it holds
};

namespace
{

// Most pieces are far smaller; a larger one gets a chunk of its own size.
constexpr std::size_t ChunkBytes = std::size_t{1} << 16;

std::size_t RoundUp(std::size_t bytes)
{
    return (bytes + alignof(Point) - 1) / alignof(Point) * alignof(Point);
}

std::uint64_t NextStoreId() noexcept
{
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// The chunks the calling thread fills, by FlatWait, and the store they belong to.
struct CurrentChunk
{
    std::uint64_t Store = 0;
    FlatPolygonChunk* Chunk[2] = {nullptr, nullptr};
};
thread_local CurrentChunk t_current;

} // namespace

FlatPolygon::FlatPolygon(const Polygon& polygon, FlatPolygonStore& store, FlatWait wait)
{
    const auto pointCount = static_cast<std::size_t>(polygon.GetNodeCount());
    const auto ringCount = static_cast<std::size_t>(polygon.GetRingCount());
    if (pointCount == 0)
    {
        return;
    }
    std::byte* bytes = store.Take(
        RoundUp(pointCount * sizeof(Point) + ringCount * sizeof(std::int32_t)), wait, m_chunk);
    auto* points = reinterpret_cast<Point*>(bytes);
    auto* ringSizes = reinterpret_cast<std::int32_t*>(bytes + pointCount * sizeof(Point));
    std::size_t p = 0;
    std::size_t r = 0;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Ring* ring = rings.Current();
        for (std::int32_t i = 0; i < ring->Count(); ++i)
        {
            points[p++] = ring->GetNode(i)->Position;
        }
        ringSizes[r++] = ring->Count();
    }
    m_points = points;
    m_ringSizes = ringSizes;
    m_pointCount = static_cast<std::uint32_t>(p);
    m_ringCount = static_cast<std::uint32_t>(r);
}

FlatPolygon::FlatPolygon(FlatPolygon&& other) noexcept
    : m_points(std::exchange(other.m_points, nullptr)),
      m_ringSizes(std::exchange(other.m_ringSizes, nullptr)),
      m_pointCount(std::exchange(other.m_pointCount, 0)),
      m_ringCount(std::exchange(other.m_ringCount, 0)),
      m_chunk(std::exchange(other.m_chunk, nullptr))
{
}

FlatPolygon& FlatPolygon::operator=(FlatPolygon&& other) noexcept
{
    if (this != &other)
    {
        Release();
        m_points = std::exchange(other.m_points, nullptr);
        m_ringSizes = std::exchange(other.m_ringSizes, nullptr);
        m_pointCount = std::exchange(other.m_pointCount, 0);
        m_ringCount = std::exchange(other.m_ringCount, 0);
        m_chunk = std::exchange(other.m_chunk, nullptr);
    }
    return *this;
}

void FlatPolygon::Release() noexcept
{
    if (m_chunk != nullptr)
    {
        m_chunk->Store.Drop(m_chunk);
    }
    m_points = nullptr;
    m_ringSizes = nullptr;
    m_pointCount = 0;
    m_ringCount = 0;
    m_chunk = nullptr;
}

Polygon* FlatPolygon::AddTo(PolygonLayer& layer, std::vector<Node*>& nodes) const
{
    nodes.resize(m_pointCount);
    layer.GetTopology()->GetNodeSet().GetNodes(Points(), nodes);
    return AddTo(layer, std::span<Node* const>(nodes));
}

Polygon* FlatPolygon::AddTo(PolygonLayer& layer, std::span<Node* const> nodes) const
{
    std::size_t taken = 0; // the references handed to rings so far
    Polygon* polygon = nullptr;
    try
    {
        polygon = layer.CreatePolygon();
        for (const std::int32_t size : std::span<const std::int32_t>(m_ringSizes, m_ringCount))
        {
            AddRingTakingNodes(*polygon, size, nodes, taken);
        }
    }
    catch (...)
    {
        DiscardPartlyMade(layer, polygon, nodes.subspan(taken, m_pointCount - taken));
        throw;
    }
    return polygon;
}

void AddRingTakingNodes(Polygon& polygon, std::int32_t size, std::span<Node* const> nodes,
                        std::size_t& taken)
{
    Ring* ring = polygon.CreateRing();
    ring->ReserveNodes(size);
    const auto count = static_cast<std::size_t>(size);
    ring->TakeNodes(nodes.subspan(taken, count));
    taken += count;
}

void DiscardPartlyMade(PolygonLayer& layer, Polygon* pPolygon, std::span<Node* const> untaken)
{
    NodeSet& nodeSet = layer.GetTopology()->GetNodeSet();
    for (Node* node : untaken)
    {
        nodeSet.ReleaseNode(node);
    }
    if (pPolygon != nullptr)
    {
        try
        {
            layer.DeletePolygon(pPolygon); // releases the nodes its rings took
        }
        catch (...) // NOLINT(bugprone-empty-catch): a fresh polygon is always deletable
        {
        }
    }
}

FlatPolygonStore::FlatPolygonStore() : m_id(NextStoreId()) {}

FlatPolygonStore::~FlatPolygonStore() = default;

std::byte* FlatPolygonStore::Take(std::size_t bytes, FlatWait wait, Chunk*& chunk)
{
    CurrentChunk& current = t_current;
    if (current.Store != m_id)
    {
        current = CurrentChunk{m_id, {}}; // another store's chunks are not ours to drop
    }
    Chunk*& filling = current.Chunk[static_cast<std::size_t>(wait)];
    if (filling == nullptr || filling->Size - filling->Used < bytes)
    {
        Chunk* next = NewChunk(bytes, wait);
        if (filling != nullptr)
        {
            Drop(filling); // the filling thread's hold
        }
        filling = next;
    }
    Chunk* filled = filling;
    std::byte* room = filled->Bytes.get() + filled->Used;
    filled->Used += bytes;
    // Only the filling thread adds holds, and its own keeps the count above zero meanwhile.
    filled->Holds.fetch_add(1, std::memory_order_relaxed);
    chunk = filled;
    return room;
}

void FlatPolygonStore::Drop(Chunk* chunk) noexcept
{
    if (chunk->Holds.fetch_sub(1, std::memory_order_acq_rel) == 1)
    {
        const std::lock_guard lock(m_mutex);
        std::atomic<std::size_t>& held = m_held[static_cast<std::size_t>(chunk->Wait)];
        held.store(held.load(std::memory_order_relaxed) - chunk->Size, std::memory_order_relaxed);
        if (chunk->Size > ChunkBytes)
        {
            // A large piece's own chunk goes back to the heap: kept, it would serve only
            // pieces as large, and the chunks of all the sizes met would stay until the end.
            const auto owned =
                std::find_if(m_chunks.begin(), m_chunks.end(),
                             [chunk](const std::unique_ptr<Chunk>& c) { return c.get() == chunk; });
            m_chunks.erase(owned);
            return;
        }
        m_free.push_back(chunk); // within the room reserved when the chunk was made
    }
}

FlatPolygonChunk* FlatPolygonStore::NewChunk(std::size_t bytes, FlatWait wait)
{
    const std::lock_guard lock(m_mutex);
    const auto hold = [this, wait](Chunk& chunk)
    {
        chunk.Wait = wait;
        std::atomic<std::size_t>& held = m_held[static_cast<std::size_t>(wait)];
        held.store(held.load(std::memory_order_relaxed) + chunk.Size, std::memory_order_relaxed);
        const std::size_t total =
            m_held[0].load(std::memory_order_relaxed) + m_held[1].load(std::memory_order_relaxed);
        m_peakHeld.store(std::max(total, m_peakHeld.load(std::memory_order_relaxed)),
                         std::memory_order_relaxed);
    };
    const auto fits = std::find_if(m_free.rbegin(), m_free.rend(),
                                   [bytes](const Chunk* free) { return free->Size >= bytes; });
    if (fits != m_free.rend())
    {
        Chunk* reused = *fits;
        m_free.erase(std::next(fits).base());
        reused->Used = 0;
        reused->Holds.store(1, std::memory_order_relaxed);
        hold(*reused);
        return reused;
    }
    m_chunks.reserve(m_chunks.size() + 1);
    m_free.reserve(m_chunks.size() + 1);
    m_chunks.push_back(std::make_unique<Chunk>(std::max(bytes, ChunkBytes), *this));
    hold(*m_chunks.back());
    return m_chunks.back().get();
}

} // namespace Arealis::LayerOperations
