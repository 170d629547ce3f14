#include "model/FreeNodeStore.h"

#include "model/NodeChain.h"

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

// The records this thread may hand out: the rest of its newest block, and the records dropped
// on this thread or taken over from others, in a chain being filled and at most one full
// chain besides. A thread that drops the records of others (the one that merges the workers'
// pieces) hands each further full chain to the spares instead of hoarding them.
struct ThreadRecords
{
    Node* Next = nullptr;
    Node* End = nullptr;
    NodeChain Dropped;
    NodeChain Full;

    ThreadRecords() = default;
    ThreadRecords(const ThreadRecords&) = delete;
    ThreadRecords& operator=(const ThreadRecords&) = delete;

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
        blocks.GiveSpare(Dropped);
        blocks.GiveSpare(Full);
        // Records dropped on this thread from now on (while it ends) start a list of their
        // own, so that no record sits in two lists.
        Dropped = {};
        Full = {};
        Next = End = nullptr;
    }
};

thread_local ThreadRecords records;

} // namespace

Node* Allocate()
{
    if (records.Dropped.Empty())
    {
        if (!records.Full.Empty())
        {
            records.Dropped = records.Full;
            records.Full = {};
        }
        else if (records.Next == records.End)
        {
            records.Dropped = SharedBlocks().TakeSpare();
            if (records.Dropped.Empty())
            {
                records.Next = SharedBlocks().Add();
                records.End = records.Next + BlockSize;
            }
        }
    }
    if (!records.Dropped.Empty())
    {
        return records.Dropped.Pop();
    }
    return records.Next++;
}

void Release(Node* pNode) noexcept
{
    records.Dropped.Push(pNode);
    if (records.Dropped.Count() < BlockSize)
    {
        return;
    }
    if (records.Full.Empty())
    {
        records.Full = records.Dropped;
    }
    else
    {
        SharedBlocks().GiveSpare(records.Dropped);
    }
    records.Dropped = {};
}

std::size_t BlockCount()
{
    Blocks& blocks = SharedBlocks();
    const std::lock_guard lock(blocks.Mutex);
    return blocks.All.size();
}

} // namespace Arealis::FreeNodeStore
