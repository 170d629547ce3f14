#include "Collections/BTree.h"

#include "Exceptions/ArgumentException.h"
#include "Exceptions/InvalidOperationException.h"
#include "TreeChecks.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <numeric>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using Collections::BTree;

namespace
{

// Items are told apart by address; two items may share a key.
struct Item
{
    int Key;
};

struct GetKey
{
    int operator()(const Item* item) const { return item->Key; }
};

// The same key read through the item: the tree's leaves keep the items alone.
struct GetKeyThroughItem
{
    static constexpr bool KeysReadThroughItems = true;
    const int& operator()(const Item* item) const { return item->Key; }
};

using ItemTree = BTree<int, Item*, GetKey>;
using KeylessItemTree = BTree<int, Item*, GetKeyThroughItem>;

// The entry keys of a node, read as the tree's own node classes read them.
template <class TTree>
std::vector<int> EntryKeysOf(const Collections::TreeNode<int>& node)
{
    std::vector<int> keys;
    for (std::int32_t i = 0; i < node.Count(); ++i)
    {
        keys.push_back(node.IsLeaf()
                           ? static_cast<const typename TTree::LeafNodeType&>(node).GetEntryKey(i)
                           : static_cast<const Collections::IndexNode<int>&>(node).GetEntryKey(i));
    }
    return keys;
}

// Entry keys strictly ascending and the node's Key at least its last entry's key (index nodes
// may keep a larger Key after removals; leaves keep exactly their largest key).
template <class TTree>
void CheckOrderedNode(const Collections::TreeNode<int>& node)
{
    const std::vector<int> keys = EntryKeysOf<TTree>(node);
    ASSERT_TRUE(std::adjacent_find(keys.begin(), keys.end(), std::greater_equal<>()) == keys.end());
    if (!keys.empty())
    {
        ASSERT_GE(node.Key, keys.back());
        if (node.IsLeaf())
        {
            ASSERT_EQ(node.Key, keys.back());
        }
    }
}

template <class TTree>
void CheckTree(const TTree& tree, std::int64_t count)
{
    TreeChecks::CheckTree(tree, TreeChecks::NodeCheck<int>(CheckOrderedNode<TTree>), count);
}

template <class TTree>
std::vector<Item*> Enumerate(const TTree& tree)
{
    std::vector<Item*> items;
    const auto enumerator = tree.GetEnumerator();
    while (enumerator->MoveNext())
    {
        items.push_back(enumerator->Current());
    }
    return items;
}

std::vector<Item*> ModelItems(const std::map<int, Item*>& model)
{
    std::vector<Item*> items;
    items.reserve(model.size());
    for (const auto& entry : model)
    {
        items.push_back(entry.second);
    }
    return items;
}

// Merges an ascending run into the tree and into the model map: the keys the tree held
// already are reported with their stored items, and the tree then holds what the map does.
template <class TTree>
void MergeAscendingAndCompare(TTree& tree, std::map<int, Item*>& model,
                              const std::vector<int>& keys, const std::vector<Item*>& items)
{
    std::vector<std::pair<std::size_t, Item*>> found;
    std::size_t dealtWith = 0;
    tree.InsertAscending(
        std::span<const int>(keys), std::span<Item* const>(items),
        [&found](std::size_t k, Item* stored) { found.emplace_back(k, stored); }, dealtWith);
    ASSERT_EQ(dealtWith, items.size());
    std::vector<std::pair<std::size_t, Item*>> expected;
    for (std::size_t k = 0; k < items.size(); ++k)
    {
        const auto [at, inserted] = model.emplace(keys[k], items[k]);
        if (!inserted)
        {
            expected.emplace_back(k, at->second);
        }
    }
    std::sort(found.begin(), found.end());
    ASSERT_EQ(found, expected);
    CheckTree(tree, static_cast<std::int64_t>(model.size()));
    ASSERT_EQ(Enumerate(tree), ModelItems(model));
}

// Random inserts (often of keys already present), removals of stored items, removals of
// impostors with a stored key, lookups and range visits, checked against std::map.
template <class TTree>
void RunRandomOperations(std::int32_t minItems, std::int32_t maxItems, int keyRange, int steps,
                         unsigned seed)
{
    std::mt19937 random(seed);
    std::deque<Item> storage; // stable addresses
    TTree tree(minItems, maxItems);
    std::map<int, Item*> model;

    for (int step = 0; step < steps; ++step)
    {
        const int key = static_cast<int>(random() % static_cast<unsigned>(keyRange));
        const auto stored = model.find(key);
        switch (random() % 5)
        {
        case 0:
        case 1:
        {
            Item* item = &storage.emplace_back(Item{key});
            Item* existing = nullptr;
            const bool inserted = tree.Insert(item, &existing);
            ASSERT_EQ(inserted, stored == model.end());
            if (inserted)
            {
                model.emplace(key, item);
            }
            else
            {
                ASSERT_EQ(existing, stored->second);
            }
            break;
        }
        case 2:
        {
            Item impostor{key};
            ASSERT_FALSE(tree.Remove(&impostor));
            if (stored != model.end())
            {
                ASSERT_TRUE(tree.Remove(stored->second));
                model.erase(stored);
            }
            break;
        }
        case 3:
        {
            Item* found = nullptr;
            ASSERT_EQ(tree.Find(key, &found), stored != model.end());
            if (stored != model.end())
            {
                ASSERT_EQ(found, stored->second);
            }
            break;
        }
        default:
        {
            const std::size_t limit = random() % 20;
            std::vector<Item*> visited;
            tree.VisitFrom(key,
                           [&](Item* item)
                           {
                               visited.push_back(item);
                               return visited.size() < limit;
                           });
            std::vector<Item*> expected;
            for (auto it = model.lower_bound(key); it != model.end() && expected.size() < limit;
                 ++it)
            {
                expected.push_back(it->second);
            }
            if (limit == 0 && model.lower_bound(key) != model.end())
            {
                expected.push_back(model.lower_bound(key)->second); // visit stops after one
            }
            ASSERT_EQ(visited, expected) << "from " << key;
            break;
        }
        }
        if (step % 97 == 0)
        {
            CheckTree(tree, static_cast<std::int64_t>(model.size()));
        }
    }
    CheckTree(tree, static_cast<std::int64_t>(model.size()));
    ASSERT_EQ(Enumerate(tree), ModelItems(model));

    // Drain: the tree ends as one empty leaf and keeps working.
    for (const auto& entry : model)
    {
        ASSERT_TRUE(tree.Remove(entry.second));
    }
    CheckTree(tree, 0);
    EXPECT_TRUE(tree.Root().IsLeaf());
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_TRUE(Enumerate(tree).empty());
    Item again{1};
    EXPECT_TRUE(tree.Insert(&again));
    EXPECT_EQ(Enumerate(tree), std::vector<Item*>{&again});
}

// The tests that depend on how leaves hold their entries run for both leaf layouts.
template <class TTree>
class BTreeLeavesTest : public ::testing::Test
{
};
using LeafLayouts = ::testing::Types<ItemTree, KeylessItemTree>;
struct LeafLayoutNames
{
    template <class TTree>
    static std::string GetName(int /*index*/)
    {
        return std::is_same_v<TTree, ItemTree> ? "KeysInLeaves" : "KeysThroughItems";
    }
};
TYPED_TEST_SUITE(BTreeLeavesTest, LeafLayouts, LeafLayoutNames);

TYPED_TEST(BTreeLeavesTest, RandomOperationsMatchAnOrderedMap)
{
    RunRandomOperations<TypeParam>(2, 3, 60, 4000, 1);
    RunRandomOperations<TypeParam>(1, 4, 300, 6000, 2);
    RunRandomOperations<TypeParam>(2, 5, 1000, 8000, 3);
    RunRandomOperations<TypeParam>(60, 150, 20000, 40000, 4);
}

// The keys and Key of every node, depth first, with a marker per index node: two trees with
// the same description have the same shape.
template <class TTree>
void DescribeShape(const Collections::TreeNode<int>& node, std::vector<int>& shape)
{
    shape.push_back(node.IsLeaf() ? -1 : -2);
    shape.push_back(node.Key);
    const std::vector<int> keys = EntryKeysOf<TTree>(node);
    shape.insert(shape.end(), keys.begin(), keys.end());
    if (!node.IsLeaf())
    {
        const auto& index = static_cast<const Collections::IndexNode<int>&>(node);
        for (std::int32_t i = 0; i < index.Count(); ++i)
        {
            DescribeShape<TTree>(index.Child(i), shape);
        }
    }
}

template <class TTree>
std::vector<int> ShapeOf(const TTree& tree)
{
    std::vector<int> shape;
    DescribeShape<TTree>(tree.Root(), shape);
    return shape;
}

// Insertions find their leaf through the leaf of the previous insertion when they can. A copy
// starts without that, so a tree copied before every insertion searches from the root each
// time: both must place every item in the same leaf and end with the same shape, through
// runs in key order, runs against it, jumps, repeated keys and removals in between.
TYPED_TEST(BTreeLeavesTest, InsertionsNearThePreviousOneGiveTheShapeOfASearchFromTheRoot)
{
    std::mt19937 random(7);
    for (const auto& [minItems, maxItems] : {std::pair{1, 3}, std::pair{2, 5}, std::pair{4, 12}})
    {
        std::deque<Item> storage;
        TypeParam quick(minItems, maxItems);
        TypeParam searched(minItems, maxItems);
        std::vector<Item*> stored;
        int key = 0;
        for (int step = 0; step < 3000; ++step)
        {
            switch (random() % 8)
            {
            case 0:
                key = static_cast<int>(random() % 5000); // jump
                break;
            case 1:
                key -= 1 + static_cast<int>(random() % 3); // against the order
                break;
            case 2:
                if (!stored.empty() && random() % 3 == 0)
                {
                    const std::size_t at = random() % stored.size();
                    ASSERT_TRUE(quick.Remove(stored[at]));
                    ASSERT_TRUE(searched.Remove(stored[at]));
                    stored.erase(stored.begin() + static_cast<std::ptrdiff_t>(at));
                }
                break;
            default:
                key += 1 + static_cast<int>(random() % 4); // in order, with gaps
                break;
            }
            Item* item = &storage.emplace_back(Item{key});
            Item* existingQuick = nullptr;
            Item* existingSearched = nullptr;
            searched = TypeParam(searched);
            const bool inserted = quick.Insert(item, &existingQuick);
            ASSERT_EQ(searched.Insert(item, &existingSearched), inserted);
            ASSERT_EQ(existingQuick, existingSearched);
            if (inserted)
            {
                stored.push_back(item);
            }
            ASSERT_EQ(ShapeOf(quick), ShapeOf(searched)) << "step " << step;
        }
        CheckTree(quick, static_cast<std::int64_t>(stored.size()));
    }
}

// The search from a hint must find what the plain search finds, for every hint (including
// ones outside the node), for keys before, between, on and after the stored ones.
TYPED_TEST(BTreeLeavesTest, SearchFromAHintFindsTheFirstKeyNotLessForEveryHint)
{
    using Leaf = typename TypeParam::LeafNodeType;
    std::mt19937 random(11);
    for (int count = 0; count <= 40; ++count)
    {
        Leaf leaf(64);
        std::deque<Item> storage;
        int key = 0;
        for (int k = 0; k < count; ++k)
        {
            key += 2 + static_cast<int>(random() % 3); // gaps between the stored keys
            leaf.InsertAt(k, key, &storage.emplace_back(Item{key}));
        }
        for (int probe = -1; probe <= key + 2; ++probe)
        {
            for (int hint = -3; hint <= count + 3; ++hint)
            {
                ASSERT_EQ(leaf.LowerBoundNear(probe, hint), leaf.LowerBound(probe))
                    << count << " keys, key " << probe << ", hint " << hint;
            }
        }
    }
}

TEST(BTreeTest, FourthInsertionIntoAFullLeafSplitsItInHalves)
{
    std::vector<Item> items{{10}, {20}, {30}, {40}};
    ItemTree tree(2, 3);
    for (Item& item : items)
    {
        tree.Insert(&item);
    }
    const auto& root = tree.Root();
    ASSERT_FALSE(root.IsLeaf());
    ASSERT_EQ(root.Count(), 2);
    const auto& index = static_cast<const Collections::IndexNode<int>&>(root);
    EXPECT_EQ(EntryKeysOf<ItemTree>(index.Child(0)), (std::vector<int>{10, 20}));
    EXPECT_EQ(EntryKeysOf<ItemTree>(index.Child(1)), (std::vector<int>{30, 40}));
    EXPECT_EQ(root.Key, 40);
    CheckTree(tree, 4);
}

// Leaves hand entries to a neighbour with room before they split, so that they stay mostly
// full whatever the order of the keys: by splitting alone, keys in order leave every leaf
// half full and keys at random about two thirds.
TYPED_TEST(BTreeLeavesTest, LeavesStayMostlyFullWhateverTheOrderOfTheKeys)
{
    constexpr int count = 6000;
    constexpr std::int32_t maxItems = 12;
    std::mt19937 random(5);
    std::vector<int> ascending(count);
    std::iota(ascending.begin(), ascending.end(), 0);
    std::vector<int> shuffled = ascending;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    // Runs of 40 keys in order, each starting at a random place: a ring's points as they
    // reach a node index.
    std::vector<int> runs;
    for (int run = 0; run < count / 40; ++run)
    {
        const int start = static_cast<int>(random() % 1000000) * 40;
        for (int k = 0; k < 40; ++k)
        {
            runs.push_back(start + k);
        }
    }
    const std::vector<std::vector<int>> orders{
        ascending, {ascending.rbegin(), ascending.rend()}, shuffled, runs};
    for (const std::vector<int>& keys : orders)
    {
        std::deque<Item> storage;
        TypeParam tree(2, maxItems);
        for (const int key : keys)
        {
            tree.Insert(&storage.emplace_back(Item{key}));
        }
        CheckTree(tree, tree.Count());
        std::int64_t leaves = 0;
        const std::function<void(const Collections::TreeNode<int>&)> countLeaves =
            [&](const Collections::TreeNode<int>& node)
        {
            if (node.IsLeaf())
            {
                ++leaves;
                return;
            }
            const auto& index = static_cast<const Collections::IndexNode<int>&>(node);
            for (std::int32_t i = 0; i < index.Count(); ++i)
            {
                countLeaves(index.Child(i));
            }
        };
        countLeaves(tree.Root());
        EXPECT_GE(static_cast<double>(tree.Count()) / static_cast<double>(leaves * maxItems), 0.8)
            << "keys from " << keys.front();
    }
}

// Sorted runs merged into trees that already hold other keys, among them some of the run's:
// the tree must end as individual insertions would leave it in content, report each stored
// key's item once, and stay well formed, with runs that fill, split and outgrow leaves.
TYPED_TEST(BTreeLeavesTest, AscendingRunsMergeAsSingleInsertionsWould)
{
    std::mt19937 random(11);
    for (const auto& [minItems, maxItems] : {std::pair{1, 3}, std::pair{2, 5}, std::pair{60, 150}})
    {
        std::deque<Item> storage;
        TypeParam tree(minItems, maxItems);
        std::map<int, Item*> model;
        for (int round = 0; round < 40; ++round)
        {
            // Dense runs interleave with what is stored; sparse ones fall one or two per leaf.
            const int spacing = 1 + static_cast<int>(random() % 40);
            const int start = static_cast<int>(random() % 4000);
            const int length = static_cast<int>(random() % 600);
            std::vector<int> keys;
            std::vector<Item*> items;
            for (int i = 0; i < length; ++i)
            {
                const int key = start + i * spacing + static_cast<int>(random() % spacing);
                if (!keys.empty() && key <= keys.back())
                {
                    continue;
                }
                keys.push_back(key);
                items.push_back(&storage.emplace_back(Item{key}));
            }
            SCOPED_TRACE("round " + std::to_string(round));
            ASSERT_NO_FATAL_FAILURE(MergeAscendingAndCompare(tree, model, keys, items));
            // Single insertions after a merge still find their leaves.
            Item* single = &storage.emplace_back(Item{static_cast<int>(random() % 30000)});
            if (tree.Insert(single))
            {
                model.emplace(single->Key, single);
            }
        }
        CheckTree(tree, static_cast<std::int64_t>(model.size()));
    }
}

// Full leaves meet runs whose keys they mostly hold already, new keys among them: a merge may
// pass over any number of stored keys but take no more new ones than a split settles, and a
// run of stored keys alone changes nothing.
TYPED_TEST(BTreeLeavesTest, AscendingRunsThroughFullLeavesTakeStoredKeysWithoutRoom)
{
    for (const auto& [minItems, maxItems] : {std::pair{2, 5}, std::pair{60, 150}})
    {
        std::deque<Item> storage;
        TypeParam tree(minItems, maxItems);
        std::map<int, Item*> model;
        // Ascending single insertions leave every leaf but the last full.
        for (int key = 0; key < 40 * maxItems; key += 4)
        {
            Item* item = &storage.emplace_back(Item{key});
            tree.Insert(item);
            model.emplace(key, item);
        }
        const auto mergeRun = [&](int step)
        {
            std::vector<int> keys;
            std::vector<Item*> items;
            for (int key = 0; key < 40 * maxItems; key += step)
            {
                keys.push_back(key);
                items.push_back(&storage.emplace_back(Item{key}));
            }
            SCOPED_TRACE("step " + std::to_string(step));
            ASSERT_NO_FATAL_FAILURE(MergeAscendingAndCompare(tree, model, keys, items));
        };
        mergeRun(4); // stored keys alone
        mergeRun(2); // one new key after each stored one
        mergeRun(1); // two new keys after each stored one
    }
}

// Items made on demand: made for the keys not stored yet alone, in ascending order. A make
// that fails part way leaves the leaf it was made for unchanged: the keys before dealtWith are
// in the tree, the later ones only if they were stored before, and the tree stays well formed
// for a second merge of the same run.
TYPED_TEST(BTreeLeavesTest, ItemsMadeOnDemandForNewKeysAloneAndAFailedMakeChangesNoLeaf)
{
    for (const auto& [minItems, maxItems] : {std::pair{2, 5}, std::pair{60, 150}})
    {
        std::deque<Item> storage;
        TypeParam tree(minItems, maxItems);
        std::vector<int> keys;
        for (int key = 0; key < 3000; ++key)
        {
            keys.push_back(key);
            if (key % 3 == 0)
            {
                tree.Insert(&storage.emplace_back(Item{key}));
            }
        }
        std::vector<int> made;
        int failAt = 500;
        const auto make = [&](std::size_t k)
        {
            if (static_cast<int>(made.size()) + 1 == failAt)
            {
                throw std::runtime_error("no room");
            }
            made.push_back(keys[k]);
            return &storage.emplace_back(Item{keys[k]});
        };
        std::size_t found = 0;
        const auto count = [&found](std::size_t, Item*) { ++found; };
        std::size_t dealtWith = 0;
        EXPECT_THROW(tree.InsertAscendingMade(std::span<const int>(keys), make, count, dealtWith),
                     std::runtime_error);
        ASSERT_GT(dealtWith, 0U);
        ASSERT_LT(dealtWith, keys.size());
        std::int64_t held = 0;
        for (std::size_t k = 0; k < keys.size(); ++k)
        {
            const bool expected = k < dealtWith || keys[k] % 3 == 0;
            ASSERT_EQ(tree.Find(keys[k], nullptr), expected) << keys[k];
            held += expected ? 1 : 0;
        }
        CheckTree(tree, held);

        // The same run again: items are made for exactly the keys the tree lacks.
        const auto firstDealt = static_cast<int>(dealtWith);
        std::vector<int> lacking;
        std::copy_if(keys.begin(), keys.end(), std::back_inserter(lacking),
                     [firstDealt](int key) { return key >= firstDealt && key % 3 != 0; });
        made.clear();
        failAt = -1;
        found = 0;
        tree.InsertAscendingMade(std::span<const int>(keys), make, count, dealtWith);
        EXPECT_EQ(dealtWith, keys.size());
        EXPECT_EQ(made, lacking);
        EXPECT_EQ(found + made.size(), keys.size());
        CheckTree(tree, static_cast<std::int64_t>(keys.size()));
    }
}

TEST(BTreeTest, AscendingMergeRefusesKeysOutOfOrderBeforeChangingAnything)
{
    std::vector<Item> items{{5}, {7}, {7}, {9}};
    std::vector<Item*> pointers{&items[0], &items[1], &items[2], &items[3]};
    std::vector<int> keys{5, 7, 7, 9};
    ItemTree tree(2, 3);
    Item stored{1};
    tree.Insert(&stored);
    std::size_t dealtWith = 99;
    const auto noFound = [](std::size_t, Item*) {};
    EXPECT_THROW(tree.InsertAscending(std::span<const int>(keys), std::span<Item* const>(pointers),
                                      noFound, dealtWith),
                 Exceptions::ArgumentException);
    EXPECT_EQ(dealtWith, 0U);
    keys = {5, 7, 9};
    EXPECT_THROW(tree.InsertAscending(std::span<const int>(keys), std::span<Item* const>(pointers),
                                      noFound, dealtWith),
                 Exceptions::ArgumentException);
    CheckTree(tree, 1);
    EXPECT_EQ(Enumerate(tree), std::vector<Item*>{&stored});
}

TEST(BTreeTest, EnumeratorFollowsTheProtocol)
{
    std::vector<Item> items{{3}, {1}, {2}};
    ItemTree tree(2, 3);
    for (Item& item : items)
    {
        tree.Insert(&item);
    }
    const auto enumerator = tree.GetEnumerator();
    EXPECT_THROW(enumerator->Current(), Exceptions::InvalidOperationException);
    ASSERT_TRUE(enumerator->MoveNext());
    EXPECT_EQ(enumerator->Current(), &items[1]);
    const auto clone = enumerator->Clone();
    EXPECT_THROW(clone->Current(), Exceptions::InvalidOperationException);
    ASSERT_TRUE(enumerator->MoveNext());
    ASSERT_TRUE(enumerator->MoveNext());
    EXPECT_EQ(enumerator->Current(), &items[0]);
    EXPECT_FALSE(enumerator->MoveNext());
    EXPECT_THROW(enumerator->Current(), Exceptions::InvalidOperationException);
    EXPECT_FALSE(enumerator->MoveNext());
    enumerator->Reset();
    ASSERT_TRUE(enumerator->MoveNext());
    EXPECT_EQ(enumerator->Current(), &items[1]);
    ASSERT_TRUE(clone->MoveNext());
    EXPECT_EQ(clone->Current(), &items[1]);
}

TYPED_TEST(BTreeLeavesTest, CopiesAreDeep)
{
    std::vector<Item> items;
    items.reserve(50);
    for (int key = 0; key < 50; ++key)
    {
        items.push_back(Item{key});
    }
    TypeParam tree(2, 3);
    for (Item& item : items)
    {
        tree.Insert(&item);
    }
    TypeParam copy(tree);
    CheckTree(copy, 50);
    for (int key = 0; key < 50; key += 2)
    {
        ASSERT_TRUE(copy.Remove(&items[static_cast<std::size_t>(key)]));
    }
    CheckTree(copy, 25);
    CheckTree(tree, 50);
    EXPECT_TRUE(tree.Find(0, nullptr));
    EXPECT_FALSE(copy.Find(0, nullptr));

    TypeParam moved(std::move(copy));
    CheckTree(moved, 25);
    CheckTree(copy, 0); // NOLINT(bugprone-use-after-move): a moved-from tree is empty
}

// A tree filled apart joins another in one pass: the union of both in key order, in nodes no
// fuller than MaxItems, an item of the other at a stored key left out and reported beside the
// stored one, the other left empty; both stay usable (the fingers of earlier insertions point
// at nodes that are gone).
TYPED_TEST(BTreeLeavesTest, AbsorbJoinsTwoTreesInKeyOrder)
{
    struct Case
    {
        int Mine;
        int Theirs;
        int Overlap; // every how many of other's keys is one of this tree's
    };
    for (const Case c : {Case{0, 0, 1}, Case{0, 40, 1}, Case{40, 0, 1}, Case{1, 1, 1},
                         Case{300, 500, 3}, Case{2000, 1500, 7}})
    {
        SCOPED_TRACE(std::to_string(c.Mine) + " + " + std::to_string(c.Theirs));
        std::deque<Item> items;
        std::map<int, Item*> model;
        std::vector<std::pair<Item*, Item*>> expectedStored;
        TypeParam mine(2, 5);
        TypeParam theirs(2, 5);
        for (int k = 0; k < c.Mine; ++k)
        {
            items.push_back(Item{2 * k}); // even keys
            mine.Insert(&items.back());
            model[2 * k] = &items.back();
        }
        for (int k = 0; k < c.Theirs; ++k)
        {
            const int key = k % c.Overlap == 0 ? 2 * k : 2 * k + 1;
            items.push_back(Item{key});
            theirs.Insert(&items.back());
            if (const auto at = model.find(key); at != model.end())
            {
                expectedStored.emplace_back(&items.back(), at->second);
            }
            else
            {
                model[key] = &items.back();
            }
        }

        std::vector<std::pair<Item*, Item*>> stored;
        mine.Absorb(theirs, stored);
        CheckTree(mine, static_cast<std::int64_t>(model.size()));
        CheckTree(theirs, 0);
        EXPECT_EQ(Enumerate(mine), ModelItems(model));
        EXPECT_EQ(stored, expectedStored);

        items.push_back(Item{-1});
        ASSERT_TRUE(mine.Insert(&items.back()));
        ASSERT_TRUE(theirs.Insert(&items.back()));
        if (!model.empty())
        {
            ASSERT_TRUE(mine.Remove(model.rbegin()->second));
        }
        CheckTree(mine, static_cast<std::int64_t>(model.size()) + (model.empty() ? 1 : 0));
        CheckTree(theirs, 1);
    }
    TypeParam tree(2, 5);
    std::vector<std::pair<Item*, Item*>> stored;
    EXPECT_THROW(tree.Absorb(tree, stored), Exceptions::ArgumentException);
}

TEST(BTreeTest, RefusesNodeSizesThatCannotSplit)
{
    EXPECT_THROW(ItemTree(0, 1), Exceptions::ArgumentOutOfRangeException);
    EXPECT_THROW(ItemTree(4, 3), Exceptions::ArgumentOutOfRangeException);
    EXPECT_THROW(ItemTree(-1, 3), Exceptions::ArgumentOutOfRangeException);
}

} // namespace
