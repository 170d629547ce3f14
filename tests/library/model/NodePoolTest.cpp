#include "model/NodePool.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <vector>

using Arealis::Node;
using Arealis::NodePool;

// Records of several blocks keep their values, and emptied blocks go back to the system.
TEST(NodePoolTest, BlocksKeepRecordsAndEmptiedOnesGoBack)
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
