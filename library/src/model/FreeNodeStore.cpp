#include "model/FreeNodeStore.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace Arealis::FreeNodeStore
{

namespace
{

constexpr std::size_t BlockSize = 4096;

// The blocks of all threads, and the records that ended threads left unused. Never
// destroyed: nodes dropped while static objects are destroyed at exit must still find their
// memory.
struct Blocks
{
    std::mutex Mutex;
    std::vector<std::unique_ptr<Node[]>> All;
    std::vector<Node*> Spare;

    Node* Add()
    {
        const std::lock_guard lock(Mutex);
        All.push_back(std::make_unique_for_overwrite<Node[]>(BlockSize));
        return All.back().get();
    }

    // Moves up to BlockSize spare records to the end of taken; how many it moved.
    std::size_t TakeSpare(std::vector<Node*>& taken)
    {
        const std::lock_guard lock(Mutex);
        const std::size_t count = std::min(BlockSize, Spare.size());
        taken.insert(taken.end(), Spare.end() - static_cast<std::ptrdiff_t>(count), Spare.end());
        Spare.resize(Spare.size() - count);
        return count;
    }
};

Blocks& SharedBlocks()
{
    static Blocks* const blocks = std::make_unique<Blocks>().release();
    return *blocks;
}

// The records this thread may hand out: the rest of its newest block and the records
// dropped on this thread or taken over from ended threads.
struct ThreadRecords
{
    Node* Next = nullptr;
    Node* End = nullptr;
    std::size_t HandedOut = 0; // records this thread took from blocks and spares
    std::vector<Node*> Dropped;

    ThreadRecords() = default;
    ThreadRecords(const ThreadRecords&) = delete;
    ThreadRecords& operator=(const ThreadRecords&) = delete;

    // The unused records go to the spares of the threads that come later.
    ~ThreadRecords()
    {
        Blocks& blocks = SharedBlocks();
        try
        {
            const std::lock_guard lock(blocks.Mutex);
            blocks.Spare.reserve(blocks.Spare.size() + Dropped.size() +
                                 static_cast<std::size_t>(End - Next));
            blocks.Spare.insert(blocks.Spare.end(), Dropped.begin(), Dropped.end());
            for (Node* pNode = Next; pNode != End; ++pNode)
            {
                blocks.Spare.push_back(pNode);
            }
        }
        catch (...) // NOLINT(bugprone-empty-catch): the records are simply not reused
        {
        }
    }

    // Hands the newest dropped block's worth to the spares: a thread that drops the records
    // of others (the one that merges the workers' pieces) would otherwise hoard them.
    void GiveSurplus() noexcept
    {
        Blocks& blocks = SharedBlocks();
        try
        {
            const std::lock_guard lock(blocks.Mutex);
            const auto first = Dropped.end() - static_cast<std::ptrdiff_t>(BlockSize);
            blocks.Spare.insert(blocks.Spare.end(), first, Dropped.end());
            Dropped.erase(first, Dropped.end());
            HandedOut -= std::min(HandedOut, BlockSize);
        }
        catch (...) // NOLINT(bugprone-empty-catch): the records stay with this thread
        {
        }
    }

    // Room to take back every record the thread handed out without allocating.
    void Count(std::size_t taken)
    {
        HandedOut += taken;
        if (Dropped.capacity() < HandedOut)
        {
            Dropped.reserve(std::max(HandedOut, 2 * Dropped.capacity()));
        }
    }
};

thread_local ThreadRecords records;

} // namespace

Node* Allocate()
{
    if (!records.Dropped.empty())
    {
        Node* pNode = records.Dropped.back();
        records.Dropped.pop_back();
        return pNode;
    }
    if (records.Next == records.End)
    {
        records.Count(BlockSize); // before taking: the spares land in Dropped
        const std::size_t spare = SharedBlocks().TakeSpare(records.Dropped);
        if (spare > 0)
        {
            records.HandedOut -= BlockSize - spare;
            Node* pNode = records.Dropped.back();
            records.Dropped.pop_back();
            return pNode;
        }
        records.Next = SharedBlocks().Add();
        records.End = records.Next + BlockSize;
    }
    return records.Next++;
}

void Release(Node* pNode) noexcept
{
    try
    {
        records.Dropped.push_back(pNode);
        if (records.Dropped.size() >= 2 * BlockSize)
        {
            records.GiveSurplus();
        }
    }
    catch (const std::bad_alloc&) // NOLINT(bugprone-empty-catch): the record is simply not reused
    {
    }
}

std::size_t BlockCount()
{
    Blocks& blocks = SharedBlocks();
    const std::lock_guard lock(blocks.Mutex);
    return blocks.All.size();
}

} // namespace Arealis::FreeNodeStore
