#include "model/FreeNodeStore.h"

#include "model/NodeChain.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace Arealis::FreeNodeStore
{

namespace
{

constexpr std::size_t BlockSize = 4096;

// The blocks of all threads, and the records that threads left unused, in chains of at most
// BlockSize records. Never destroyed: nodes dropped while static objects are destroyed at
// exit must still find their memory.
struct Blocks
{
    std::mutex Mutex;
    std::vector<std::unique_ptr<Node[]>> All;
    std::vector<NodeChain> Spare;

    Node* Add()
    {
        const std::lock_guard lock(Mutex);
        All.push_back(std::make_unique_for_overwrite<Node[]>(BlockSize));
        return All.back().get();
    }

    // A chain of spare records; an empty one when there are none.
    NodeChain TakeSpare()
    {
        const std::lock_guard lock(Mutex);
        if (Spare.empty())
        {
            return {};
        }
        const NodeChain chain = Spare.back();
        Spare.pop_back();
        return chain;
    }

    void GiveSpare(const NodeChain& chain) noexcept
    {
        if (chain.Empty())
        {
            return;
        }
        try
        {
            const std::lock_guard lock(Mutex);
            Spare.push_back(chain);
        }
        catch (...) // NOLINT(bugprone-empty-catch): the records are simply not reused
        {
        }
    }
};

Blocks& SharedBlocks()
{
    static Blocks* const blocks = std::make_unique<Blocks>().release();
    return *blocks;
}

// The records this thread may hand out: the rest of its newest block, the records dropped on
// this thread, and a chain of records that other threads left. Dropped records are kept as a
// stack of pointers rather than linked through their own storage: a linked list must read
// each record before it can hand out the next, a cache miss for every record where they come
// back scattered, while the stack hands one out without touching it. The stack holds two
// chains' worth; a thread that drops the records of others (the one that merges the workers'
// pieces) hands the older half to the spares whenever it fills, instead of hoarding them.
struct ThreadRecords
{
    static constexpr std::size_t StackSize = 2 * BlockSize;

    Node* Next = nullptr;
    Node* End = nullptr;
    std::array<Node*, StackSize> Dropped;
    std::size_t DroppedCount = 0;
    NodeChain Taken;

    ThreadRecords() = default;
    ThreadRecords(const ThreadRecords&) = delete;
    ThreadRecords& operator=(const ThreadRecords&) = delete;

    // Links dropped records [first, first + count) into a chain for the spares.
    NodeChain ChainOfDropped(std::size_t first, std::size_t count) const noexcept
    {
        NodeChain chain;
        for (std::size_t i = first; i < first + count; ++i)
        {
            chain.Push(Dropped[i]);
        }
        return chain;
    }

    // The unused records go to the spares of the threads that come later.
    ~ThreadRecords()
    {
        NodeChain rest;
        for (Node* pNode = Next; pNode != End; ++pNode)
        {
            rest.Push(pNode);
        }
        Blocks& blocks = SharedBlocks();
        blocks.GiveSpare(rest);
        for (std::size_t first = 0; first < DroppedCount; first += BlockSize)
        {
            blocks.GiveSpare(ChainOfDropped(first, std::min(BlockSize, DroppedCount - first)));
        }
        blocks.GiveSpare(Taken);
        // Records dropped on this thread from now on (while it ends) start a list of their
        // own, so that no record sits in two lists.
        DroppedCount = 0;
        Taken = {};
        Next = End = nullptr;
    }
};

thread_local ThreadRecords records;

} // namespace

Node* Allocate()
{
    if (records.DroppedCount > 0)
    {
        Node* pNode = records.Dropped[--records.DroppedCount];
        if (records.DroppedCount > 0)
        {
            // The caller writes the record it gets: the next one is asked for meanwhile.
            __builtin_prefetch(records.Dropped[records.DroppedCount - 1], 1);
        }
        return pNode;
    }
    if (records.Taken.Empty() && records.Next == records.End)
    {
        records.Taken = SharedBlocks().TakeSpare();
        if (records.Taken.Empty())
        {
            records.Next = SharedBlocks().Add();
            records.End = records.Next + BlockSize;
        }
    }
    if (!records.Taken.Empty())
    {
        return records.Taken.Pop();
    }
    return records.Next++;
}

void Release(Node* pNode) noexcept
{
    if (records.DroppedCount == ThreadRecords::StackSize)
    {
        SharedBlocks().GiveSpare(records.ChainOfDropped(0, BlockSize));
        std::copy(records.Dropped.begin() + BlockSize, records.Dropped.end(),
                  records.Dropped.begin());
        records.DroppedCount -= BlockSize;
    }
    records.Dropped[records.DroppedCount++] = pNode;
}

std::size_t BlockCount()
{
    Blocks& blocks = SharedBlocks();
    const std::lock_guard lock(blocks.Mutex);
    return blocks.All.size();
}

} // namespace Arealis::FreeNodeStore
