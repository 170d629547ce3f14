#include "Collections/RTree.h"

#include "Collections/IEnumerator.h"
#include "Exceptions/ArgumentException.h"
#include "TreeChecks.h"

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

using Collections::IndexNode;
using Collections::RTree;
using Collections::TreeNode;

namespace
{

// A rectangle with the interface the tree asks for; default-made it is empty.
struct Box
{
    double MinX = std::numeric_limits<double>::max();
    double MinY = std::numeric_limits<double>::max();
    double MaxX = -std::numeric_limits<double>::max();
    double MaxY = -std::numeric_limits<double>::max();

    bool IsEmpty() const { return MaxX < MinX; }
    double Area() const { return (MaxX - MinX) * (MaxY - MinY); }
    bool Intersects(const Box& b) const
    {
        return MinX <= b.MaxX && b.MinX <= MaxX && MinY <= b.MaxY && b.MinY <= MaxY;
    }
    bool Contains(const Box& b) const
    {
        return MinX <= b.MinX && b.MaxX <= MaxX && MinY <= b.MinY && b.MaxY <= MaxY;
    }
    friend bool operator==(const Box&, const Box&) = default;
};

// Items are told apart by address.
struct Item
{
    Box Bounds;
};

struct BoundsOfItem
{
    const Box& operator()(const Item* item) const { return item->Bounds; }
};

using ItemTree = RTree<Item*, Box, BoundsOfItem>;

void CheckBoundsCoverEntries(const TreeNode<Box>& node)
{
    const auto& keys = node.IsLeaf() ? static_cast<const ItemTree::LeafNodeType&>(node).EntryKeys
                                     : static_cast<const IndexNode<Box>&>(node).EntryKeys;
    for (const Box& key : keys)
    {
        ASSERT_TRUE(node.Key.Contains(key)) << "a node's bounds miss one of its entries";
    }
    if (node.IsLeaf())
    {
        const auto& leaf = static_cast<const ItemTree::LeafNodeType&>(node);
        for (std::int32_t i = 0; i < leaf.Count(); ++i)
        {
            ASSERT_TRUE(leaf.GetEntryKey(i) == leaf.GetEntry(i)->Bounds);
        }
    }
}

void CheckTree(const ItemTree& tree, std::int64_t count)
{
    TreeChecks::CheckTree(tree, TreeChecks::NodeCheck<Box>(CheckBoundsCoverEntries), count);
}

std::vector<Item*> Drain(Collections::IEnumerator<Item*>& enumerator)
{
    std::vector<Item*> items;
    while (enumerator.MoveNext())
    {
        items.push_back(enumerator.Current());
    }
    return items;
}

std::vector<Item*> Search(const ItemTree& tree, const Box& query)
{
    const auto enumerator = tree.Search(query);
    return Drain(*enumerator);
}

std::vector<Item*> Sorted(std::vector<Item*> items)
{
    std::sort(items.begin(), items.end());
    return items;
}

// The items of each child of an index root, in stored order.
std::vector<std::vector<Item*>> LeavesUnderRoot(const ItemTree& tree)
{
    const auto& root = static_cast<const IndexNode<Box>&>(tree.Root());
    std::vector<std::vector<Item*>> leaves;
    leaves.reserve(static_cast<std::size_t>(root.Count()));
    for (std::int32_t i = 0; i < root.Count(); ++i)
    {
        const auto& entries = static_cast<const ItemTree::LeafNodeType&>(root.Child(i)).Entries;
        leaves.emplace_back(entries.begin(), entries.end());
    }
    return leaves;
}

Box RandomBox(std::mt19937& random)
{
    std::uniform_real_distribution<double> position(0.0, 1000.0);
    std::uniform_real_distribution<double> size(0.0, 30.0);
    const double x = position(random);
    const double y = position(random);
    switch (random() % 6)
    {
    case 0:
        return {x, y, x, y}; // a point
    case 1:
        return {x, y, x + size(random), y}; // a horizontal segment
    case 2:
        return {std::floor(x / 100) * 100, y, std::floor(x / 100) * 100 + 10, y + 10}; // aligned
    default:
        return {x, y, x + size(random), y + size(random)};
    }
}

// Removes item from the tree and as many copies from stored as the tree dropped: each leaf
// holding the item loses one copy of it.
void RemoveAndForget(ItemTree& tree, Item* item, std::vector<Item*>& stored)
{
    const std::int32_t before = tree.Count();
    ASSERT_TRUE(tree.Remove(item));
    const std::int32_t removed = before - tree.Count();
    ASSERT_GE(removed, 1);
    for (std::int32_t k = 0; k < removed; ++k)
    {
        const auto copy = std::find(stored.begin(), stored.end(), item);
        ASSERT_NE(copy, stored.end());
        stored.erase(copy);
    }
}

// Random inserts (some of items already stored) and removals, checked against a brute-force
// scan by queries of every shape, including ones that only touch items.
void RunRandomOperations(std::int32_t nominalSize, int steps, unsigned seed)
{
    std::mt19937 random(seed);
    std::deque<Item> storage;
    std::vector<Item*> stored; // with repetitions when an item is inserted twice
    ItemTree tree(nominalSize);

    for (int step = 0; step < steps; ++step)
    {
        const unsigned operation = random() % 10;
        if (operation < 5 || stored.empty())
        {
            Item* item = &storage.emplace_back(Item{RandomBox(random)});
            if (operation == 0 && !stored.empty())
            {
                item = stored[random() % stored.size()];
            }
            tree.Insert(item);
            stored.push_back(item);
        }
        else if (operation < 8)
        {
            Item* item = stored[random() % stored.size()];
            RemoveAndForget(tree, item, stored);
            Item outsider{item->Bounds};
            ASSERT_FALSE(tree.Remove(&outsider));
        }
        else
        {
            Box query = RandomBox(random);
            if (operation == 9 && !stored.empty())
            {
                // Touch a stored item at its corner.
                const Box& target = stored[random() % stored.size()]->Bounds;
                query = {target.MaxX, target.MaxY, target.MaxX + 5, target.MaxY + 5};
            }
            std::vector<Item*> expected;
            for (Item* item : stored)
            {
                if (item->Bounds.Intersects(query))
                {
                    expected.push_back(item);
                }
            }
            const std::vector<Item*> found = Search(tree, query);
            ASSERT_EQ(Sorted(found), Sorted(expected));
            std::vector<Item*> visited;
            tree.VisitOverlapping(query,
                                  [&](Item* item)
                                  {
                                      visited.push_back(item);
                                      return true;
                                  });
            ASSERT_EQ(visited, found) << "visit and search disagree on order";
        }
        if (step % 101 == 0)
        {
            CheckTree(tree, static_cast<std::int64_t>(stored.size()));
        }
    }
    CheckTree(tree, static_cast<std::int64_t>(stored.size()));
    const auto all = tree.GetEnumerator();
    EXPECT_EQ(Sorted(Drain(*all)), Sorted(stored));

    while (!stored.empty())
    {
        RemoveAndForget(tree, stored.back(), stored);
    }
    CheckTree(tree, 0);
    EXPECT_TRUE(tree.Root().IsLeaf());
    EXPECT_TRUE(tree.Bounds().IsEmpty());
    EXPECT_TRUE(Search(tree, Box{-1e9, -1e9, 1e9, 1e9}).empty());
}

TEST(RTreeTest, RandomOperationsMatchABruteForceScan)
{
    RunRandomOperations(10, 6000, 11);
    RunRandomOperations(2, 3000, 12);
    RunRandomOperations(3, 3000, 13);
    RunRandomOperations(16, 8000, 14);
}

TEST(RTreeTest, FifteenInsertionsWithSizeTenSplitTheRootLeaf)
{
    ItemTree tree(10);
    EXPECT_EQ(tree.MaxItems(), 14);
    EXPECT_EQ(tree.MinItems(), 5);
    std::deque<Item> items;
    for (int i = 0; i < 15; ++i)
    {
        const double x = (i * 7) % 15;
        tree.Insert(&items.emplace_back(Item{{x, 0, x + 1, 1}}));
    }
    ASSERT_FALSE(tree.Root().IsLeaf());
    const auto leaves = LeavesUnderRoot(tree);
    ASSERT_EQ(leaves.size(), 2U);
    EXPECT_LE(leaves[0].size(), 8U);
    EXPECT_LE(leaves[1].size(), 8U);
    CheckTree(tree, 15);
}

TEST(RTreeTest, QueryTouchingOnlyACornerFindsTheItem)
{
    ItemTree tree(10);
    Item item{{0, 0, 1, 1}};
    tree.Insert(&item);
    EXPECT_EQ(Search(tree, Box{1, 1, 2, 2}), std::vector<Item*>{&item});
    EXPECT_EQ(Search(tree, Box{-1, -1, 0, 0}), std::vector<Item*>{&item});
    EXPECT_TRUE(Search(tree, Box{1.0000001, 1, 2, 2}).empty());
    EXPECT_EQ(Search(tree, Box{0.5, 0.5, 0.5, 0.5}), std::vector<Item*>{&item});
}

// With n = 2 a leaf splits at its third entry, which shows the seed and group choices.
TEST(RTreeTest, SplitSeedsFollowTheNormalisedSeparation)
{
    // Raw separations favour X (2 against 1), but relative to the wide node Y separates more.
    Item a{{0, 0, 1, 1}};
    Item b{{3, 0, 4, 1}};
    Item c{{-20, 2, 1, 3}};
    ItemTree wide(2);
    for (Item* item : {&a, &b, &c})
    {
        wide.Insert(item);
    }
    EXPECT_EQ(LeavesUnderRoot(wide), (std::vector<std::vector<Item*>>{{&c}, {&a, &b}}));

    // Equal normalised separations: the Y pair is taken.
    Item d{{0, 0, 1, 1}};
    Item e{{2, 0, 3, 1}};
    Item f{{0, 2, 1, 3}};
    ItemTree square(2);
    for (Item* item : {&d, &e, &f})
    {
        square.Insert(item);
    }
    EXPECT_EQ(LeavesUnderRoot(square), (std::vector<std::vector<Item*>>{{&f}, {&d, &e}}));
}

TEST(RTreeTest, SplitGroupsTakeEqualGrowthIntoTheNewNodeAndStopBeyondHalf)
{
    // c grows either group by the same area: it joins the new node with a.
    Item a{{0, 0, 1, 1}};
    Item b{{10, 0, 11, 1}};
    Item c{{5, 0, 6, 1}};
    ItemTree tie(2);
    for (Item* item : {&a, &b, &c})
    {
        tie.Insert(item);
    }
    EXPECT_EQ(LeavesUnderRoot(tie), (std::vector<std::vector<Item*>>{{&b}, {&a, &c}}));
    // d grows both leaves by 2: it goes into the first.
    Item d{{8, 0, 8, 1}};
    tie.Insert(&d);
    EXPECT_EQ(LeavesUnderRoot(tie), (std::vector<std::vector<Item*>>{{&b, &d}, {&a, &c}}));

    // Every entry but the far-left one is closer to the far-right seed; that group takes
    // entries until it holds more than half (7) of the 15, the rest go to the other group.
    std::deque<Item> items;
    ItemTree tree(10);
    tree.Insert(&items.emplace_back(Item{{0, 0, 1, 1}}));
    for (int i = 1; i < 15; ++i)
    {
        tree.Insert(&items.emplace_back(Item{{100 + i * 0.1, 0, 101 + i * 0.1, 1}}));
    }
    std::vector<Item*> kept{&items[14]};
    std::vector<Item*> moved{&items[0]};
    for (std::size_t i = 1; i < 14; ++i)
    {
        (i <= 7 ? kept : moved).push_back(&items[i]);
    }
    EXPECT_EQ(LeavesUnderRoot(tree), (std::vector<std::vector<Item*>>{kept, moved}));
}

TEST(RTreeTest, SplitFindsTwoDistinctSeedsAmongIdenticalOrNestedRectangles)
{
    // The point lies within every other entry on both axes: it is both seeds of its axis,
    // so the second seed becomes the entry just before it.
    Item outer{{0, 0, 10, 10}};
    Item inner{{1, 1, 9, 9}};
    Item point{{5, 5, 5, 5}};
    ItemTree nested(2);
    for (Item* item : {&outer, &inner, &point})
    {
        nested.Insert(item);
    }
    EXPECT_EQ(LeavesUnderRoot(nested),
              (std::vector<std::vector<Item*>>{{&point}, {&inner, &outer}}));

    // Identical rectangles: the first entry and entry 1 become the seeds.
    std::deque<Item> same;
    ItemTree tree(10);
    for (int i = 0; i < 15; ++i)
    {
        tree.Insert(&same.emplace_back(Item{{2, 2, 3, 3}}));
    }
    const auto leaves = LeavesUnderRoot(tree);
    ASSERT_EQ(leaves.size(), 2U);
    EXPECT_EQ(leaves[0].front(), &same[0]);
    EXPECT_EQ(leaves[1].front(), &same[1]);
    EXPECT_EQ(leaves[0].size() + leaves[1].size(), 15U);
    EXPECT_EQ(Search(tree, Box{3, 3, 3, 3}).size(), 15U);
    CheckTree(tree, 15);
}

TEST(RTreeTest, EnumeratorFollowsTheProtocol)
{
    ItemTree tree(2);
    std::deque<Item> items;
    for (int i = 0; i < 20; ++i)
    {
        tree.Insert(&items.emplace_back(Item{{double(i), 0, double(i) + 0.5, 1}}));
    }
    const auto enumerator = tree.Search(Box{2, 0, 5, 0});
    EXPECT_THROW(enumerator->Current(), Exceptions::InvalidOperationException);
    const std::vector<Item*> first = Drain(*enumerator);
    EXPECT_EQ(first.size(), 4U);
    EXPECT_THROW(enumerator->Current(), Exceptions::InvalidOperationException);
    enumerator->Reset();
    EXPECT_EQ(Drain(*enumerator), first);
    const auto clone = enumerator->Clone();
    EXPECT_EQ(Drain(*clone), first);
}

TEST(RTreeTest, CopiesAreDeep)
{
    std::mt19937 random(5);
    std::deque<Item> items;
    ItemTree tree(10);
    for (int i = 0; i < 300; ++i)
    {
        tree.Insert(&items.emplace_back(Item{RandomBox(random)}));
    }
    ItemTree copy(tree);
    CheckTree(copy, 300);
    for (int i = 0; i < 300; i += 2)
    {
        ASSERT_TRUE(copy.Remove(&items[static_cast<std::size_t>(i)]));
    }
    CheckTree(copy, 150);
    CheckTree(tree, 300);
    const Box everything{-1e9, -1e9, 1e9, 1e9};
    EXPECT_EQ(Search(tree, everything).size(), 300U);
    EXPECT_EQ(Search(copy, everything).size(), 150U);

    copy = tree;
    CheckTree(copy, 300);
}

TEST(RTreeTest, RefusesNominalSizesThatCannotSplit)
{
    EXPECT_THROW(ItemTree{1}, Exceptions::ArgumentOutOfRangeException);
    EXPECT_THROW(ItemTree{0}, Exceptions::ArgumentOutOfRangeException);
    EXPECT_THROW(ItemTree{std::numeric_limits<std::int32_t>::max()},
                 Exceptions::ArgumentOutOfRangeException);
}

} // namespace
