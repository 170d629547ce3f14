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
// thread that ends leaves the rest there: a later thread gets them all back without new
// blocks, each once.
TEST(FreeNodeStoreTest, DroppedRecordsComeBackOnceEachAcrossThreads)
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
        })
        .join();
    std::thread(
        []
        {
            const std::vector<Node*> later = TakeRecords(Count);
            EXPECT_EQ(std::set<Node*>(later.begin(), later.end()).size(), later.size());
            for (Node* pNode : later)
            {
                FreeNodeStore::Release(pNode);
            }
        })
        .join();
    EXPECT_EQ(FreeNodeStore::BlockCount(), blocks);
}
