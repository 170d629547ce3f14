#pragma once

#include "Arealis/Node.h"
#include "support/LargePages.h"

#include <cstdint>
#include <future>
#include <memory>
#include <vector>

namespace Arealis
{

// Node records carved from blocks of 2 MB (one large page, from the fifth block on). Each block
// hands out records from a bump pointer and from a free list of returned ones; a block left
// without records in use is given back unless it is the one being allocated from.
class NodePool
{
public:
    static constexpr std::int32_t BlockSize =
        static_cast<std::int32_t>(Detail::LargePageBytes / sizeof(Node));

    NodePool();
    ~NodePool();

    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    // A record with unspecified contents.
    Node* Allocate();
    // Returns a record that Allocate handed out.
    void Free(Node* pNode) noexcept;

    std::int32_t BlockCount() const noexcept { return static_cast<std::int32_t>(m_blocks.size()); }

    // Whether the memory of the next block on large pages is mapped and faulted in on a helper
    // thread while the current block fills (the default): the zeroing of fresh pages is a large
    // part of the time of filling a block. Off for a topology held to one thread.
    void SetPreparesAhead(bool preparesAhead) noexcept { m_preparesAhead = preparesAhead; }

    // Gives the memory of the records never handed out of the block being filled back to the
    // system. A block on large pages is resident as a whole from its first record on; once a
    // large layer is loaded, its last block's unused part would otherwise stay resident.
    // A block prepared ahead is given back too.
    void ReleaseUnusedRoom() noexcept;

private:
    struct Block;
    struct RecordStorageDeleter;
    using RecordStorage = std::unique_ptr<Node, RecordStorageDeleter>;

    // Storage for a block's records: large pages when mapped is not null, the heap otherwise.
    static RecordStorage RecordsIn(void* mapped);
    Block* TakeBlockWithRoom();
    // Storage on large pages for a new block: the one prepared ahead when there is one; starts
    // preparing the next.
    RecordStorage TakeLargeStorage();
    void StartPreparingAhead() noexcept;
    void DropPreparedAhead() noexcept;
    Block* FindBlock(const Node* pNode) noexcept;
    void ReleaseEmptyBlock(Block* pBlock) noexcept;
    void ForgetRoom(Block* pBlock) noexcept;

    // All blocks, sorted by address.
    std::vector<std::unique_ptr<Block>> m_blocks;
    // Blocks that still have free records.
    std::vector<Block*> m_withRoom;
    Block* m_current = nullptr;
    Block* m_lastRelease = nullptr;
    // The memory of the next large block (null when it could not be mapped), while prepared
    // ahead.
    std::future<void*> m_ahead;
    bool m_preparesAhead = true;
};

} // namespace Arealis
