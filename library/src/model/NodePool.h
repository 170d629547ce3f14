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

    std::int32_t BlockCount() const noexcept { return static_cast<std::int32_t>(m_blocks.size()); }

private:
    struct Block;

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

} // namespace Arealis
