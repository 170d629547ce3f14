#pragma once

#include "Collections/BTreeNodes.h"
#include "Collections/BalancedTree.h"
#include "Collections/DefaultComparator.h"
#include "Exceptions/ArgumentException.h"
#include "Exceptions/Messages.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace Collections
{

// An ordered set of items with unique keys. TKeyGetter is a stateless functor giving an
// item's key; TComparator orders keys. An item's key must not change while it is stored.
template <class TKey, class TItem, class TKeyGetter, class TComparator = DefaultComparator<TKey>>
class BTree : public BalancedTree<TKey, BTreeLeafNode<TKey, TItem, TComparator, TKeyGetter>,
                                  BTreeIndexNode<TKey, TComparator>>
{
    using Base = BalancedTree<TKey, BTreeLeafNode<TKey, TItem, TComparator, TKeyGetter>,
                              BTreeIndexNode<TKey, TComparator>>;
    using Leaf = BTreeLeafNode<TKey, TItem, TComparator, TKeyGetter>;

public:
    // A node is split when it holds more than maxItems entries (at least 2).
    BTree(std::int32_t minItems, std::int32_t maxItems) : Base(minItems, maxItems) {}

    // Copies and moves take the items and the shape of the tree, never the finger, which points
    // into the nodes of the tree it was made in.
    BTree(const BTree& other) : Base(other) {}
    BTree(BTree&& other) // NOLINT(performance-noexcept-move-constructor): the base's move may throw
        : Base(std::move(other))
    {
        // The base moved only the nodes: the source's finger still points at them.
        other.m_finger.Drop(); // NOLINT(bugprone-use-after-move)
    }
    BTree& operator=(const BTree& other)
    {
        Base::operator=(other);
        m_finger.Drop();
        return *this;
    }
    BTree& operator=(BTree&& other) noexcept
    {
        Base::operator=(std::move(other));
        m_finger.Drop();
        // The fingers of both point at nodes that the other tree holds now.
        other.m_finger.Drop(); // NOLINT(bugprone-use-after-move)
        return *this;
    }
    ~BTree() = default;

    // Adds item unless an item with an equal key is stored; then that one is reported through
    // pExisting (when not null), nothing changes and the result is false.
    bool Insert(const TItem& item, TItem* pExisting = nullptr)
    {
        return InsertItem(item, pExisting);
    }
    bool Insert(TItem&& item, TItem* pExisting = nullptr)
    {
        return InsertItem(std::move(item), pExisting);
    }

    // Inserts items whose keys strictly ascend, as Insert would one after another, but merges
    // each leaf's share of them into it in one pass instead of shifting its entries for every
    // item. keys[k] must be the key of items[k]: taking the keys side by side spares a lookup
    // through each item. For an item whose key is stored already nothing changes and
    // found(k, stored item) is called; found must not throw. dealtWith counts the items dealt
    // with (inserted or found), also when an allocation fails part way: the items before it
    // are in the tree, the items from it on are not. Keys that do not strictly ascend, or
    // spans of different lengths, throw ArgumentException before anything changes.
    template <class F>
    void InsertAscending(std::span<const TKey> keys, std::span<const TItem> items, F&& found,
                         std::size_t& dealtWith)
    {
        dealtWith = 0;
        CheckStrictlyAscending(keys, items.size());
        MergeIntoLeaves(
            keys, [items](std::size_t k) { return items[k]; }, std::forward<F>(found), dealtWith);
    }

    // InsertAscending for items made on demand: make(k) gives the item of keys[k] and is
    // called only for the keys that are not stored yet, in ascending order, before the leaf
    // that takes the item changes; it may throw, and the items it made for keys from
    // dealtWith on are then not in the tree. For items whose making costs, such as records
    // of which most would be found stored and thrown away.
    template <class M, class F>
    void InsertAscendingMade(std::span<const TKey> keys, M&& make, F&& found,
                             std::size_t& dealtWith)
    {
        dealtWith = 0;
        CheckStrictlyAscending(keys, keys.size());
        MergeIntoLeaves(keys, std::forward<M>(make), std::forward<F>(found), dealtWith);
    }

    // Takes every item of other into this tree and leaves other empty, in one ordered pass
    // over the leaves of both, which builds the tree again from the bottom (see
    // BuildAscending), instead of a search for each item: for joining a tree filled apart. An
    // item of other whose key is stored here stays out; stored receives it beside the stored
    // item, in key order. Every allocation comes before either tree changes: when one fails,
    // both are as they were (stored aside). Meanwhile the new nodes are held beside the old.
    void Absorb(BTree& other, std::vector<std::pair<TItem, TItem>>& stored)
    {
        if (&other == this)
        {
            throw Exceptions::ArgumentException(Exceptions::Messages::InvalidArgument,
                                                Exceptions::MakeLocation("BTree", __LINE__));
        }
        stored.clear();
        LeafCursor mine(this->Root());
        LeafCursor theirs(other.Root());
        const TKeyGetter keyOf{};
        const TComparator less{};
        // The next item of the union in key order.
        const auto next = [&](TItem& item)
        {
            if (!mine.Done() && !theirs.Done())
            {
                const TKey& a = keyOf(mine.Peek());
                const TKey& b = keyOf(theirs.Peek());
                if (less(b, a))
                {
                    item = theirs.Take();
                    return true;
                }
                if (!less(a, b))
                {
                    stored.emplace_back(theirs.Take(), mine.Peek());
                }
                item = mine.Take();
                return true;
            }
            if (!mine.Done())
            {
                item = mine.Take();
                return true;
            }
            if (!theirs.Done())
            {
                item = theirs.Take();
                return true;
            }
            return false;
        };
        std::int32_t count = 0;
        std::unique_ptr<TreeNode<TKey>> root = this->BuildAscending(next, keyOf, count);
        std::int32_t none = 0;
        std::unique_ptr<TreeNode<TKey>> emptyRoot =
            other.BuildAscending([](TItem&) { return false; }, keyOf, none);
        // Nothing fails from here on.
        m_finger.Drop();
        other.m_finger.Drop();
        this->AdoptRoot(std::move(root), count);
        other.AdoptRoot(std::move(emptyRoot), 0);
    }

    // Finds the item with this key and copies it to pItem when pItem is not null.
    bool Find(const TKey& key, TItem* pItem) const
    {
        const TItem* item = FindItem(key);
        if (item == nullptr)
        {
            return false;
        }
        if (pItem != nullptr)
        {
            *pItem = *item;
        }
        return true;
    }

    // Removes this very item: an item that only has an equal key stays.
    bool Remove(const TItem& item)
    {
        const TKey key = TKeyGetter{}(item);
        Leaf& leaf = FindLeaf(key);
        const std::int32_t i = leaf.FindIndex(key);
        if (i < 0 || !(leaf.GetEntry(i) == item))
        {
            return false;
        }
        m_finger.Drop(); // the removal may destroy the finger's nodes
        this->RemoveFromLeaf(leaf, i);
        return true;
    }

    // Calls visit(item) for the items whose key is not less than low, in ascending key order,
    // until visit returns false.
    template <class F>
    void VisitFrom(const TKey& low, F&& visit) const
    {
        std::vector<std::int32_t> positions;
        const TreeNode<TKey>* node = &this->Root();
        while (!node->IsLeaf())
        {
            const auto& index = Base::AsIndex(*node);
            const std::int32_t i = std::min(index.LowerBound(low), index.Count() - 1);
            positions.push_back(i);
            node = &index.Child(i);
        }
        VisitOnwards(node, Base::AsLeaf(*node).LowerBound(low), positions, visit);
    }

    // Calls visit(item) for every item in ascending key order until visit returns false.
    template <class F>
    void ForEach(F&& visit) const
    {
        std::vector<std::int32_t> positions;
        const TreeNode<TKey>* node = &this->Root();
        while (!node->IsLeaf())
        {
            positions.push_back(0);
            node = &Base::AsIndex(*node).Child(0);
        }
        VisitOnwards(node, 0, positions, visit);
    }

protected:
    const TItem* FindItem(const TKey& key) const
    {
        const Leaf& leaf = FindLeaf(key);
        const std::int32_t i = leaf.FindIndex(key);
        return i < 0 ? nullptr : &leaf.GetEntry(i);
    }

    TItem* FindItem(const TKey& key)
    {
        return const_cast<TItem*>(std::as_const(*this).FindItem(key));
    }

    // Removes the item with this key and moves it to pRemoved when pRemoved is not null.
    bool RemoveKey(const TKey& key, TItem* pRemoved)
    {
        Leaf& leaf = FindLeaf(key);
        const std::int32_t i = leaf.FindIndex(key);
        if (i < 0)
        {
            return false;
        }
        m_finger.Drop(); // the removal may destroy the finger's nodes
        TItem item = this->RemoveFromLeaf(leaf, i);
        if (pRemoved != nullptr)
        {
            *pRemoved = std::move(item);
        }
        return true;
    }

private:
    // The items of a tree, leaf by leaf in key order, for a pass over them beside another
    // tree's. Where keys are read through the items, the records of the items a little ahead
    // are asked for: a tree filled apart has them scattered over memory, and each key read
    // would otherwise wait for memory.
    class LeafCursor
    {
    public:
        explicit LeafCursor(const TreeNode<TKey>& root)
        {
            CollectLeaves(root);
            SkipEmpty();
            for (std::int32_t i = 0; i < Ahead; ++i)
            {
                Prefetch(i);
            }
        }

        bool Done() const noexcept { return m_leaf == m_leaves.size(); }
        const TItem& Peek() const { return m_leaves[m_leaf]->GetEntry(m_position); }
        TItem Take()
        {
            TItem item = Peek();
            Prefetch(m_position + Ahead);
            if (++m_position == m_leaves[m_leaf]->Count())
            {
                ++m_leaf;
                m_position = 0;
                SkipEmpty();
            }
            return item;
        }

    private:
        static constexpr std::int32_t Ahead = 24;

        void CollectLeaves(const TreeNode<TKey>& node)
        {
            if (node.IsLeaf())
            {
                m_leaves.push_back(&Base::AsLeaf(node));
                return;
            }
            const Index& index = Base::AsIndex(node);
            for (std::int32_t i = 0; i < index.Count(); ++i)
            {
                CollectLeaves(index.Child(i));
            }
        }
        void SkipEmpty() noexcept
        {
            while (m_leaf < m_leaves.size() && m_leaves[m_leaf]->Count() == 0)
            {
                ++m_leaf;
            }
        }
        // Asks for the record of the item at position of the current leaf, or of the next
        // leaves when the current one ends before it.
        void Prefetch(std::int32_t position) const noexcept
        {
            if constexpr (!LeavesKeepKeys<TKeyGetter> && std::is_pointer_v<TItem>)
            {
                for (std::size_t leaf = m_leaf; leaf < m_leaves.size(); ++leaf)
                {
                    if (position < m_leaves[leaf]->Count())
                    {
                        __builtin_prefetch(m_leaves[leaf]->GetEntry(position));
                        return;
                    }
                    position -= m_leaves[leaf]->Count();
                }
            }
        }

        std::vector<const Leaf*> m_leaves;
        std::size_t m_leaf = 0;
        std::int32_t m_position = 0;
    };

    // InsertAscendingMade once the keys are known to ascend.
    template <class M, class F>
    void MergeIntoLeaves(std::span<const TKey> keys, M&& make, F&& found, std::size_t& dealtWith)
    {
        while (dealtWith < keys.size())
        {
            const TKey& key = keys[dealtWith];
            const bool nearPrevious = m_finger.Target != nullptr && FingerLeadsTo(key);
            Leaf& leaf = nearPrevious ? *m_finger.Target : FindLeafForInsertion(key);
            const std::size_t first = dealtWith;
            const std::size_t room = LeafRoom(leaf.Count());
            const std::size_t count = LeafShare(keys.subspan(first), room);
            const auto merged = leaf.MergeAscending(
                keys.subspan(first, count),
                [&make, first](std::size_t k) { return make(first + k); },
                [&found, first](std::size_t k, const TItem& stored) { found(first + k, stored); },
                room, m_places, m_made);
            dealtWith += merged.Taken;
            if (merged.Added > 0)
            {
                this->CompleteInsertion(leaf, merged.KeyChanged, merged.Added);
            }
        }
    }

    using Index = BTreeIndexNode<TKey, TComparator>;

    // The leaf of the last insertion and the child position taken at each index node on the
    // way down to it, from the root. Keys inserted in order, or near it, mostly belong to that
    // leaf again: checking the path costs two key comparisons per level instead of a search
    // of every index node on it. A split or a new root moves positions, which the check notices;
    // a removal may destroy nodes, so it drops the finger.
    struct Finger
    {
        Leaf* Target = nullptr;
        std::vector<std::int32_t> Positions;
        // Where the last key was looked for in Target: the next one is searched from there.
        std::int32_t LastInLeaf = 0;

        void Drop() noexcept
        {
            Target = nullptr;
            Positions.clear();
            LastInLeaf = 0;
        }
    };

    // The leaf that FindLeaf(key) finds, searched from the root; the finger then records the
    // path of the search.
    Leaf& FindLeafForInsertion(const TKey& key)
    {
        m_finger.Drop(); // until the path is recorded completely
        TreeNode<TKey>* node = &this->MutableRoot();
        while (!node->IsLeaf())
        {
            const Index& index = Base::AsIndex(*node);
            const std::int32_t i = index.FindChildPosition(key);
            m_finger.Positions.push_back(i);
            node = &index.Child(i);
        }
        m_finger.Target = &Base::AsLeaf(*node);
        return *m_finger.Target;
    }

    // Whether the search for key from the root would take the finger's path: the node at each
    // step still stands at the recorded position of its parent, the parent's entry keys lead
    // there, and the path starts at the root.
    bool FingerLeadsTo(const TKey& key) const
    {
        const TreeNode<TKey>* node = m_finger.Target;
        for (std::size_t level = m_finger.Positions.size(); level-- > 0;)
        {
            const auto* parent = static_cast<const Index*>(node->Parent);
            const std::int32_t i = m_finger.Positions[level];
            if (parent == nullptr || i >= parent->Count() || &parent->Child(i) != node ||
                !parent->LeadsTo(i, key))
            {
                return false;
            }
            node = parent;
        }
        return node == &this->Root();
    }

    // The largest key that the search from the root sends to the finger's leaf, or null when
    // it takes every larger key too. An index node sends a key to the first child whose Key is
    // not less, and to its last child whatever is larger: the bound is the entry key at the
    // lowest step of the path that does not take the last child.
    const TKey* FingerBound() const
    {
        const TreeNode<TKey>* node = m_finger.Target;
        for (std::size_t level = m_finger.Positions.size(); level-- > 0;)
        {
            const auto* parent = static_cast<const Index*>(node->Parent);
            const std::int32_t i = m_finger.Positions[level];
            if (i < parent->Count() - 1)
            {
                return &parent->GetEntryKey(i);
            }
            node = parent;
        }
        return nullptr;
    }

    // How many items a leaf of leafCount entries takes in one merge: no more than leave it one
    // entry above MaxItems, so that one split settles it.
    std::size_t LeafRoom(std::int32_t leafCount) const
    {
        return static_cast<std::size_t>(std::max(1, this->MaxItems() + 1 - leafCount));
    }

    // How many of the first keys belong in the finger's leaf, looked at for one merge: the
    // leaf's room, and as many again as MaxItems for keys it may hold already, which take no
    // room. The first key belongs there by the search.
    std::size_t LeafShare(std::span<const TKey> keys, std::size_t room) const
    {
        const std::size_t limit =
            std::min(keys.size(), room + static_cast<std::size_t>(this->MaxItems()));
        const TKey* bound = FingerBound();
        std::size_t count = 1;
        while (count < limit && (bound == nullptr || !TComparator{}(*bound, keys[count])))
        {
            ++count;
        }
        return count;
    }

    static void CheckStrictlyAscending(std::span<const TKey> keys, std::size_t itemCount)
    {
        bool ascending = keys.size() == itemCount;
        for (std::size_t i = 1; ascending && i < keys.size(); ++i)
        {
            ascending = TComparator{}(keys[i - 1], keys[i]);
        }
        if (!ascending)
        {
            throw Exceptions::ArgumentException(Exceptions::Messages::InvalidArgument,
                                                Exceptions::MakeLocation("BTree", __LINE__));
        }
    }

    template <class TArgument>
    bool InsertItem(TArgument&& item, TItem* pExisting)
    {
        const TKey key = TKeyGetter{}(item);
        const bool nearPrevious = m_finger.Target != nullptr && FingerLeadsTo(key);
        Leaf& leaf = nearPrevious ? *m_finger.Target : FindLeafForInsertion(key);
        const std::int32_t i =
            nearPrevious ? leaf.LowerBoundNear(key, m_finger.LastInLeaf) : leaf.LowerBound(key);
        m_finger.LastInLeaf = i;
        if (i < leaf.Count() && !TComparator{}(key, leaf.GetEntryKey(i)))
        {
            if (pExisting != nullptr)
            {
                *pExisting = leaf.GetEntry(i);
            }
            return false;
        }
        const bool keyChanged = leaf.InsertAt(i, key, std::forward<TArgument>(item));
        this->CompleteInsertion(leaf, keyChanged);
        return true;
    }

    // The leaf whose key range holds key.
    const Leaf& FindLeaf(const TKey& key) const
    {
        const TreeNode<TKey>* node = &this->Root();
        while (!node->IsLeaf())
        {
            node = &Base::AsIndex(*node).FindChild(key);
        }
        return Base::AsLeaf(*node);
    }

    Leaf& FindLeaf(const TKey& key)
    {
        return const_cast<Leaf&>(std::as_const(*this).FindLeaf(key));
    }

    // Visits from position i of a leaf onwards; positions holds the child position taken at
    // each index node on the way down to that leaf.
    template <class F>
    static void VisitOnwards(const TreeNode<TKey>* node, std::int32_t i,
                             std::vector<std::int32_t>& positions, F& visit)
    {
        for (;;)
        {
            const Leaf& leaf = Base::AsLeaf(*node);
            for (; i < leaf.Count(); ++i)
            {
                if (!std::invoke(visit, leaf.GetEntry(i)))
                {
                    return;
                }
            }
            do
            {
                if (positions.empty())
                {
                    return;
                }
                node = node->Parent;
                i = positions.back() + 1;
                positions.pop_back();
            } while (i >= node->Count());
            while (!node->IsLeaf())
            {
                positions.push_back(i);
                node = &Base::AsIndex(*node).Child(i);
                i = 0;
            }
        }
    }

    Finger m_finger;
    // Working room of the ascending merges (the places of the keys in a leaf, the items made
    // for it), kept from merge to merge.
    std::vector<std::ptrdiff_t> m_places;
    std::vector<TItem> m_made;
};

} // namespace Collections
