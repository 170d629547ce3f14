#include "model/NodePool.h"

#include "model/NodeChain.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>

namespace Arealis
{

namespace
{

constexpr std::size_t BlockListReserve = 1000;

// Storage for a block's records, left uninitialised: a record is constructed when it is first
// handed out, so a new block costs no pass over its memory (a node is trivially destructible),
// and its pages are faulted in one by one as records are handed out. Blocks are not put on
// large pages: on virtual machines the first touch of a large page can cost tens of times as
// much as the same memory in small pages, and the load of a large layer then swings by half.
static_assert(std::is_trivially_destructible_v<Node>, "records are freed without destruction");

struct RecordStorageDeleter
{
    void operator()(Node* pRecords) const noexcept
    {
        std::allocator<Node>{}.deallocate(pRecords, NodePool::BlockSize);
    }
};

std::unique_ptr<Node, RecordStorageDeleter> AllocateRecords()
{
    return {std::allocator<Node>{}.allocate(NodePool::BlockSize), RecordStorageDeleter{}};
}

} // namespace

struct NodePool::Block
{
    Block() : Records(AllocateRecords()) {}

    bool Holds(const Node* pNode) const noexcept
    {
        const std::less<const Node*> less;
        return !less(pNode, Begin()) && less(pNode, Begin() + BlockSize);
    }
    bool HasRoom() const noexcept { return !FreeList.Empty() || Bump < BlockSize; }
    const Node* Begin() const noexcept { return Records.get(); }

    std::unique_ptr<Node, RecordStorageDeleter> Records;
    std::int32_t Bump = 0;
    NodeChain FreeList;
    std::int32_t InUse = 0;
};

NodePool::NodePool()
{
    m_blocks.reserve(BlockListReserve);
    m_withRoom.reserve(BlockListReserve);
}

NodePool::~NodePool() = default;

NodePool::Block* NodePool::TakeBlockWithRoom()
{
    if (!m_withRoom.empty())
    {
        return m_withRoom.back();
    }
    auto block = std::make_unique<Block>();
    Block* raw = block.get();
    const auto at = std::lower_bound(m_blocks.begin(), m_blocks.end(), raw->Begin(),
                                     [](const std::unique_ptr<Block>& b, const Node* begin)
                                     { return std::less<const Node*>()(b->Begin(), begin); });
    m_withRoom.reserve(m_withRoom.size() + 1);
    m_blocks.insert(at, std::move(block));
    m_withRoom.push_back(raw);
    return raw;
}

Node* NodePool::Allocate()
{
    if (m_current == nullptr || !m_current->HasRoom())
    {
        m_current = TakeBlockWithRoom();
    }
    Node* record = nullptr;
    if (!m_current->FreeList.Empty())
    {
        record = m_current->FreeList.Pop();
    }
    else
    {
        record = std::construct_at(m_current->Records.get() + m_current->Bump++);
    }
    ++m_current->InUse;
    if (!m_current->HasRoom())
    {
        ForgetRoom(m_current);
    }
    return record;
}

NodePool::Block* NodePool::FindBlock(const Node* pNode) noexcept
{
    if (m_current != nullptr && m_current->Holds(pNode))
    {
        return m_current;
    }
    if (m_lastRelease != nullptr && m_lastRelease->Holds(pNode))
    {
        return m_lastRelease;
    }
    // The last block whose start is not after the record.
    auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), pNode,
                                  [](const Node* node, const std::unique_ptr<Block>& b)
                                  { return std::less<const Node*>()(node, b->Begin()); });
    if (after == m_blocks.begin())
    {
        return nullptr;
    }
    Block* block = std::prev(after)->get();
    return block->Holds(pNode) ? block : nullptr;
}

void NodePool::Free(Node* pNode) noexcept
{
    Block* block = FindBlock(pNode);
    if (block == nullptr)
    {
        return; // not a record of this pool
    }
    m_lastRelease = block;
    if (!block->HasRoom())
    {
        m_withRoom.push_back(block); // capacity kept for every block
    }
    pNode->TopologyId = 0;
    pNode->ReferenceCount = 0;
    block->FreeList.Push(pNode);
    --block->InUse;
    if (block->InUse == 0 && block != m_current)
    {
        ReleaseEmptyBlock(block);
    }
}

Node* NodePool::BlockRecords(const Block& block) noexcept
{
    return block.Records.get();
}

std::int32_t NodePool::BlockMade(const Block& block) noexcept
{
    return block.Bump;
}

void NodePool::ReserveForAdoption(const NodePool& other)
{
    m_blocks.reserve(m_blocks.size() + other.m_blocks.size());
    m_withRoom.reserve(m_blocks.size() + other.m_blocks.size());
}

void NodePool::Adopt(NodePool& other) noexcept
{
    // Both lists are sorted by address: merged in place within the reserved room.
    const auto middle = static_cast<std::ptrdiff_t>(m_blocks.size());
    for (auto& block : other.m_blocks)
    {
        m_blocks.push_back(std::move(block));
    }
    std::inplace_merge(m_blocks.begin(), m_blocks.begin() + middle, m_blocks.end(),
                       [](const std::unique_ptr<Block>& a, const std::unique_ptr<Block>& b)
                       { return std::less<const Node*>()(a->Begin(), b->Begin()); });
    // other's block being filled becomes one with room like any other.
    m_withRoom.insert(m_withRoom.end(), other.m_withRoom.begin(), other.m_withRoom.end());
    other.m_blocks.clear();
    other.m_withRoom.clear();
    other.m_current = nullptr;
    other.m_lastRelease = nullptr;
}

void NodePool::ForgetRoom(Block* pBlock) noexcept
{
    const auto it = std::find(m_withRoom.begin(), m_withRoom.end(), pBlock);
    if (it != m_withRoom.end())
    {
        m_withRoom.erase(it);
    }
}

void NodePool::ReleaseEmptyBlock(Block* pBlock) noexcept
{
    ForgetRoom(pBlock);
    if (m_lastRelease == pBlock)
    {
        m_lastRelease = nullptr;
    }
    const auto it =
        std::find_if(m_blocks.begin(), m_blocks.end(),
                     [pBlock](const std::unique_ptr<Block>& b) { return b.get() == pBlock; });
    if (it != m_blocks.end())
    {
        m_blocks.erase(it);
    }
}

} // namespace Arealis
