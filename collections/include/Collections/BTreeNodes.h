#pragma once

#include "Collections/LowerBoundFrom.h"
#include "Collections/TreeNodes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <utility>

namespace Collections
{

// B-tree behaviour shared by leaves and index nodes: entries are kept in ascending key order
// and the node's Key is the largest key of its subtree.
template <class TDerived, class TBase, class TKey, class TComparator>
class BTreeNodeMixin : public TBase
{
public:
    static constexpr bool IsKeyOrdered() noexcept { return true; }

    // The first position whose key is not less than key (Count() when all are less).
    std::int32_t LowerBound(const TKey& key) const
    {
        const TComparator less{};
        std::int32_t lo = 0;
        std::int32_t hi = this->Count();
        while (lo != hi)
        {
            const std::int32_t mid = (lo + hi) / 2;
            if (less(this->GetEntryKey(mid), key))
            {
                lo = mid + 1;
            }
            else
            {
                hi = mid;
            }
        }
        return lo;
    }

    // LowerBound(key), searched outwards from position hint (clamped to 0 .. Count()): a key
    // near the hint is found in a few steps.
    std::int32_t LowerBoundNear(const TKey& key, std::int32_t hint) const
    {
        const auto first = this->EntryKeys.begin();
        const auto last = this->EntryKeys.end();
        const auto start = first + std::clamp(hint, std::int32_t{0}, this->Count());
        return static_cast<std::int32_t>(LowerBoundFrom(first, last, start, key, TComparator{}) -
                                         first);
    }

    // Widens Key to cover key; tells whether Key changed.
    bool UpdateKey(const TKey& key)
    {
        if (TComparator{}(this->Key, key))
        {
            this->Key = key;
            return true;
        }
        return false;
    }

    // Key becomes the key of the last entry; an empty node keeps its Key.
    void RecomputeKey()
    {
        if (this->Count() > 0)
        {
            this->Key = this->EntryKeys.back();
        }
    }

    // Moves the upper half of the entries (from Count() / 2 on) into a new right sibling,
    // which takes over the node's Key; the node keeps the key of its last remaining entry.
    std::unique_ptr<TDerived> Split(std::int32_t capacity)
    {
        auto sibling = std::make_unique<TDerived>(capacity);
        this->MoveTailTo(this->Count() / 2, *sibling);
        sibling->Key = this->Key;
        RecomputeKey();
        return sibling;
    }

protected:
    using TBase::TBase;

    // Inserts at position i; tells whether Key changed.
    template <class TEntry>
    bool InsertOrdered(std::int32_t i, const TKey& key, TEntry&& entry)
    {
        const bool wasEmpty = this->Count() == 0;
        this->InsertEntryAt(i, key, std::forward<TEntry>(entry));
        if (wasEmpty)
        {
            this->Key = key;
            return true;
        }
        return UpdateKey(key);
    }
};

template <class TKey, class TItem, class TComparator>
class BTreeLeafNode final : public BTreeNodeMixin<BTreeLeafNode<TKey, TItem, TComparator>,
                                                  LeafNode<TKey, TItem>, TKey, TComparator>
{
public:
    explicit BTreeLeafNode(std::int32_t capacity)
        : BTreeNodeMixin<BTreeLeafNode, LeafNode<TKey, TItem>, TKey, TComparator>(capacity)
    {
    }

    // Position of the item with this key, or -1.
    std::int32_t FindIndex(const TKey& key) const
    {
        const std::int32_t i = this->LowerBound(key);
        return i < this->Count() && !TComparator{}(key, this->GetEntryKey(i)) ? i : -1;
    }

    template <class TEntry>
    bool InsertAt(std::int32_t i, const TKey& key, TEntry&& item)
    {
        return this->InsertOrdered(i, key, std::forward<TEntry>(item));
    }

    TItem RemoveAt(std::int32_t i) { return this->RemoveEntryAt(i); }

    // Moves the last count entries to the front of next, the leaf that follows this one in
    // key order; both Keys are recomputed. Room for them is reserved first: if that fails,
    // nothing has changed.
    void MoveTailToFrontOf(std::int32_t count, BTreeLeafNode& next)
    {
        next.Reserve(next.Count() + count);
        const auto first = static_cast<std::ptrdiff_t>(this->Count() - count);
        next.EntryKeys.insert(next.EntryKeys.begin(), this->EntryKeys.begin() + first,
                              this->EntryKeys.end());
        next.Entries.insert(next.Entries.begin(),
                            std::make_move_iterator(this->Entries.begin() + first),
                            std::make_move_iterator(this->Entries.end()));
        this->EntryKeys.erase(this->EntryKeys.begin() + first, this->EntryKeys.end());
        this->Entries.erase(this->Entries.begin() + first, this->Entries.end());
        this->RecomputeKey();
        next.RecomputeKey();
    }

    // Moves the first count entries to the end of previous, the leaf before this one in key
    // order; both Keys are recomputed. Room is reserved first, as above.
    void MoveHeadToEndOf(std::int32_t count, BTreeLeafNode& previous)
    {
        previous.Reserve(previous.Count() + count);
        const auto last = static_cast<std::ptrdiff_t>(count);
        previous.EntryKeys.insert(previous.EntryKeys.end(), this->EntryKeys.begin(),
                                  this->EntryKeys.begin() + last);
        previous.Entries.insert(previous.Entries.end(),
                                std::make_move_iterator(this->Entries.begin()),
                                std::make_move_iterator(this->Entries.begin() + last));
        this->EntryKeys.erase(this->EntryKeys.begin(), this->EntryKeys.begin() + last);
        this->Entries.erase(this->Entries.begin(), this->Entries.begin() + last);
        this->RecomputeKey();
        previous.RecomputeKey();
    }

    // What MergeAscending did: whether Key changed, and how many items went in.
    struct Merged
    {
        bool KeyChanged = false;
        std::int32_t Added = 0;
    };

    // Merges items whose keys strictly ascend into the entries, in one pass over both from
    // the back; keys[k] is the key of items[k]. An item whose key is stored already stays out,
    // and found(k, stored item) is called for it; found must not throw. Room for all items is
    // reserved first: if that fails, nothing has changed.
    template <class F>
    Merged MergeAscending(std::span<const TKey> keys, std::span<const TItem> items, F&& found)
    {
        const TComparator less{};
        const auto stored = static_cast<std::size_t>(this->Count());
        const std::size_t total = stored + items.size();
        this->Reserve(static_cast<std::int32_t>(total));
        // Within the reserved room: neither resize allocates.
        this->EntryKeys.resize(total);
        this->Entries.resize(total);
        std::size_t write = total;
        std::size_t read = stored;
        for (std::size_t k = items.size(); k-- > 0;)
        {
            while (read > 0 && less(keys[k], this->EntryKeys[read - 1]))
            {
                --read;
                --write;
                this->EntryKeys[write] = this->EntryKeys[read];
                this->Entries[write] = std::move(this->Entries[read]);
            }
            if (read > 0 && !less(this->EntryKeys[read - 1], keys[k]))
            {
                found(k, this->Entries[read - 1]);
                continue;
            }
            --write;
            this->EntryKeys[write] = keys[k];
            this->Entries[write] = items[k];
        }
        // Each item found stored left one slot open between the entries before read and
        // the merged ones from write on.
        const std::size_t open = write - read;
        if (open > 0)
        {
            std::move(this->EntryKeys.begin() + write, this->EntryKeys.end(),
                      this->EntryKeys.begin() + read);
            std::move(this->Entries.begin() + write, this->Entries.end(),
                      this->Entries.begin() + read);
            this->EntryKeys.resize(total - open);
            this->Entries.resize(total - open);
        }
        const auto added = static_cast<std::int32_t>(items.size() - open);
        if (added == 0)
        {
            return {};
        }
        const bool keyChanged = stored == 0 ? (this->Key = this->EntryKeys.back(), true)
                                            : this->UpdateKey(this->EntryKeys.back());
        return {keyChanged, added};
    }
};

template <class TKey, class TComparator>
class BTreeIndexNode final
    : public BTreeNodeMixin<BTreeIndexNode<TKey, TComparator>, IndexNode<TKey>, TKey, TComparator>
{
public:
    explicit BTreeIndexNode(std::int32_t capacity)
        : BTreeNodeMixin<BTreeIndexNode, IndexNode<TKey>, TKey, TComparator>(capacity)
    {
    }

    // The child whose subtree would hold key: the first child whose Key is not less than
    // key, or the last child when key is greater than all.
    TreeNode<TKey>& FindChild(const TKey& key) const { return this->Child(FindChildPosition(key)); }

    // The position of that child.
    std::int32_t FindChildPosition(const TKey& key) const
    {
        const std::int32_t i = this->LowerBound(key);
        return i < this->Count() ? i : this->Count() - 1;
    }

    // Whether FindChildPosition(key) is i, told from the entry keys at i - 1 and i alone: they
    // ascend, so the first position whose key is not less than key is i exactly when the key
    // before it is less and its own is not (the last child also takes every larger key).
    bool LeadsTo(std::int32_t i, const TKey& key) const
    {
        const TComparator less{};
        return (i == 0 || less(this->GetEntryKey(i - 1), key)) &&
               (i == this->Count() - 1 || !less(this->GetEntryKey(i), key));
    }

    // Inserts a child at the position of its Key; tells whether this node's Key changed.
    bool InsertChild(std::unique_ptr<TreeNode<TKey>> child)
    {
        const TKey key = child->Key;
        return this->InsertOrdered(this->LowerBound(key), key, std::move(child));
    }

    // Destroys a child and recomputes Key.
    void RemoveChild(const TreeNode<TKey>& child)
    {
        this->DestroyChild(child);
        this->RecomputeKey();
    }
};

} // namespace Collections
