#include "model/FreeNodeStore.h"

#include <cstddef>
#include <gtest/gtest.h>
#include <set>
#include <thread>
#include <vector>

using Arealis::Node;
namespace FreeNodeStore = Arealis::FreeNodeStore;

namespace
{

// Takes count records, writing each one whole as a free node would.
std::vector<Node*> TakeRecords(std::size_t count)
{
    std::vector<Node*> records(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        records[i] = FreeNodeStore::Allocate();
        records[i]->Position = {static_cast<double>(i), 2.0};
        records[i]->ReferenceCount = 1;
    }
    return records;
}

} // namespace

// A thread that drops more records than it keeps hands the older ones to the spares, and a
// thread that ends leaves all of its records there: the records come back to later takers
// without new blocks, each handed out once at a time, also across threads.
TEST(FreeNodeStoreTest, DroppedRecordsComeBackOnceEachWithinAndAcrossThreads)
{
    constexpr std::size_t Count = 3 * 4096 + 5; // past what one thread keeps for itself
    std::vector<Node*> first;
    std::thread([&first] { first = TakeRecords(Count); }).join();
    const std::size_t blocks = FreeNodeStore::BlockCount();

    std::thread(
        [&first]
        {
            for (Node* pNode : first)
            {
                FreeNodeStore::Release(pNode); // dropped by a thread that did not take them
            }
            const std::vector<Node*> again = TakeRecords(Count);
            const std::set<Node*> distinct(again.begin(), again.end());
            EXPECT_EQ(distinct.size(), again.size());
            for (Node* pNode : again)
            {
                FreeNodeStore::Release(pNode);
            }
        })
        .join();
    EXPECT_EQ(FreeNodeStore::BlockCount(), blocks);

    std::thread(
        []
        {
            const std::vector<Node*> later = TakeRecords(Count);
            const std::set<Node*> distinct(later.begin(), later.end());
            EXPECT_EQ(distinct.size(), later.size());
            for (Node* pNode : later)
            {
                FreeNodeStore::Release(pNode);
            }
        })
        .join();
    EXPECT_EQ(FreeNodeStore::BlockCount(), blocks);
}
