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

// The blocks of all threads. Never destroyed: nodes dropped while static objects are
// destroyed at exit must still find their memory.
struct Blocks
{
    std::mutex Mutex;
    std::vector<std::unique_ptr<Node[]>> All;

    Node* Add()
    {
        const std::lock_guard lock(Mutex);
        All.push_back(std::make_unique_for_overwrite<Node[]>(BlockSize));
        return All.back().get();
    }
};

Blocks& SharedBlocks()
{
    static Blocks* const blocks = std::make_unique<Blocks>().release();
    return *blocks;
}

// The records this thread may hand out: the rest of its newest block and the records
// dropped on this thread.
struct ThreadRecords
{
    Node* Next = nullptr;
    Node* End = nullptr;
    std::size_t HandedOut = 0; // records of all blocks this thread took
    std::vector<Node*> Dropped;
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
        // Room to take back every record the thread handed out without allocating.
        records.HandedOut += BlockSize;
        if (records.Dropped.capacity() < records.HandedOut)
        {
            records.Dropped.reserve(std::max(records.HandedOut, 2 * records.Dropped.capacity()));
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
    }
    catch (const std::bad_alloc&) // NOLINT(bugprone-empty-catch): the record is simply not reused
    {
    }
}

} // namespace Arealis::FreeNodeStore
