#include "model/NodePool.h"
#include "support/WorkAhead.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <vector>

using Arealis::Node;
using Arealis::NodePool;

// Enough records for blocks on large pages (where the system has them): records keep their
// values in every block, the unused room given back is handed out again as good records, and
// emptied blocks go back to the system.
TEST(NodePoolTest, LargeBlocksKeepRecordsAndGiveRoomBack)
{
    NodePool pool;
    const std::size_t count = 5 * static_cast<std::size_t>(NodePool::BlockSize) + 1;
    std::vector<Node*> records(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        records[i] = pool.Allocate();
        records[i]->Position = {static_cast<double>(i), 1.0};
        records[i]->ReferenceCount = 1;
    }
    EXPECT_EQ(pool.BlockCount(), 6);
    pool.ReleaseUnusedRoom();
    Node* more = pool.Allocate();
    more->Position = {-1.0, -1.0};
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        kept += records[i] != more && records[i]->Position.X == static_cast<double>(i) ? 1 : 0;
    }
    EXPECT_EQ(kept, count);
    EXPECT_EQ(more->Position.X, -1.0);
    for (Node* record : records)
    {
        pool.Free(record);
    }
    EXPECT_EQ(pool.BlockCount(), 1); // the one allocated from stays
    pool.Free(more);
}

// The memory of the next large block is prepared on a helper thread: blocks taken from there
// hold good records like blocks mapped in turn, and a prepared block that is never used goes
// back with ReleaseUnusedRoom or with the pool, after which new blocks are still good.
TEST(NodePoolTest, BlocksPreparedAheadHoldRecords)
{
    Arealis::Detail::SecondCoreOverride() = 1; // the helper thread also on a single core
    for (const bool ahead : {true, false})
    {
        NodePool pool;
        pool.SetPreparesAhead(ahead);
        const std::size_t block = static_cast<std::size_t>(NodePool::BlockSize);
        std::vector<Node*> records;
        const auto fill = [&pool, &records](std::size_t count)
        {
            for (std::size_t i = 0; i < count; ++i)
            {
                Node* record = pool.Allocate();
                record->Position = {static_cast<double>(records.size()), 2.0};
                records.push_back(record);
            }
        };
        fill(7 * block + 1);
        pool.ReleaseUnusedRoom(); // the block prepared for the ninth goes back unused
        fill(2 * block);
        EXPECT_EQ(pool.BlockCount(), 10);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < records.size(); ++i)
        {
            kept += records[i]->Position.X == static_cast<double>(i) ? 1 : 0;
        }
        EXPECT_EQ(kept, records.size()) << "ahead " << ahead;
        for (std::size_t i = 0; i + 1 < records.size(); ++i)
        {
            pool.Free(records[i]);
        }
        EXPECT_EQ(pool.BlockCount(), 1);
        pool.Free(records.back());
    } // a block prepared at the last one goes with the pool
    Arealis::Detail::SecondCoreOverride() = -1;
}
