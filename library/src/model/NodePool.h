#pragma once

#include "Arealis/Node.h"
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Arealis
{

// Node records carved from blocks of 2 MB. Each block hands out records from a bump pointer and
// from a free list of returned ones; a block left without records in use is given back unless
// it is the one being allocated from.
class NodePool
{
public:
    static constexpr std::int32_t BlockSize =
        static_cast<std::int32_t>((std::size_t{2} << 20) / sizeof(Node));

    NodePool();
    ~NodePool();

    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    // A record with unspecified contents.
    Node* Allocate();
    // Returns a record that Allocate handed out.
    void Free(Node* pNode) noexcept;

    // Room for the blocks of other, so that Adopt(other) does not allocate.
    void ReserveForAdoption(const NodePool& other);
    // Takes over the blocks of other with their records, in use or free; other is left
    // empty. The records keep their contents (their topology is the caller's to set).
    void Adopt(NodePool& other) noexcept;
    // Calls visit(record) for every record of the pool that was handed out once, free ones
    // included, block by block in address order.
    template <class F>
    void ForEachRecordMade(F&& visit) const;

    std::int32_t BlockCount() const noexcept { return static_cast<std::int32_t>(m_blocks.size()); }

private:
    struct Block;

    static Node* BlockRecords(const Block& block) noexcept;
    static std::int32_t BlockMade(const Block& block) noexcept;

    Block* TakeBlockWithRoom();
    Block* FindBlock(const Node* pNode) noexcept;
    void ReleaseEmptyBlock(Block* pBlock) noexcept;
    void ForgetRoom(Block* pBlock) noexcept;

    // All blocks, sorted by address.
    std::vector<std::unique_ptr<Block>> m_blocks;
    // Blocks that still have free records.
    std::vector<Block*> m_withRoom;
    Block* m_current = nullptr;
    Block* m_lastRelease = nullptr;
};

template <class F>
void NodePool::ForEachRecordMade(F&& visit) const
{
    for (const auto& block : m_blocks)
    {
        Node* records = BlockRecords(*block);
        for (std::int32_t i = 0; i < BlockMade(*block); ++i)
        {
            visit(records[i]);
        }
    }
}

} // namespace Arealis
