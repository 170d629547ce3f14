#pragma once

#include "Collections/LowerBoundFrom.h"
#include "Collections/TreeNodes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

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
            this->Key = this->GetEntryKey(this->Count() - 1);
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

// Whether the leaves of a B-tree with this key extractor keep a copy of each item's key. An
// extractor that reads the key cheaply through the item, such as a pointer to the record that
// holds the key, may declare `static constexpr bool KeysReadThroughItems = true`: its leaves
// then keep the items alone (KeylessLeafNode), which saves the keys' memory where keys are
// large beside the items, and read the keys through the items when searching.
template <class TKeyGetter>
inline constexpr bool LeavesKeepKeys = !requires
{
    requires TKeyGetter::KeysReadThroughItems;
};

template <class TKey, class TItem, class TKeyGetter>
using BTreeLeafBase = std::conditional_t<LeavesKeepKeys<TKeyGetter>, LeafNode<TKey, TItem>,
                                         KeylessLeafNode<TKey, TItem, TKeyGetter>>;

template <class TKey, class TItem, class TComparator, class TKeyGetter>
class BTreeLeafNode final
    : public BTreeNodeMixin<BTreeLeafNode<TKey, TItem, TComparator, TKeyGetter>,
                            BTreeLeafBase<TKey, TItem, TKeyGetter>, TKey, TComparator>
{
    static constexpr bool KeepsKeys = LeavesKeepKeys<TKeyGetter>;

public:
    explicit BTreeLeafNode(std::int32_t capacity)
        : BTreeNodeMixin<BTreeLeafNode, BTreeLeafBase<TKey, TItem, TKeyGetter>, TKey, TComparator>(
              capacity)
    {
    }

    // LowerBound(key), searched outwards from position hint (clamped to 0 .. Count()): a key
    // near the hint is found in a few steps.
    std::int32_t LowerBoundNear(const TKey& key, std::int32_t hint) const
    {
        const auto start =
            static_cast<std::ptrdiff_t>(std::clamp(hint, std::int32_t{0}, this->Count()));
        if constexpr (KeepsKeys)
        {
            const auto first = this->EntryKeys.begin();
            return static_cast<std::int32_t>(
                LowerBoundFrom(first, this->EntryKeys.end(), first + start, key, TComparator{}) -
                first);
        }
        else
        {
            const auto first = this->Entries.begin();
            const auto leftOf = [](const TItem& item, const TKey& value)
            { return TComparator{}(TKeyGetter{}(item), value); };
            return static_cast<std::int32_t>(
                LowerBoundFrom(first, this->Entries.end(), first + start, key, leftOf) - first);
        }
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

    // Appends items whose keys ascend beyond the stored ones, for a leaf being built; keyOf
    // gives an item's key. A leaf that keeps no keys reads the last item's key alone, for its
    // Key: the items' records are not read again. On an allocation failure the leaf is left
    // inconsistent, to be destroyed.
    template <class TKeyOf>
    void AppendAscending(std::span<const TItem> items, TKeyOf keyOf)
    {
        if (items.empty())
        {
            return;
        }
        if constexpr (KeepsKeys)
        {
            for (const TItem& item : items)
            {
                this->EntryKeys.push_back(keyOf(item));
            }
        }
        this->Entries.insert(this->Entries.end(), items.begin(), items.end());
        this->SyncCount();
        this->Key = keyOf(items.back());
    }

    // Moves the last count entries to the front of next, the leaf that follows this one in
    // key order; both Keys are recomputed. Room for them is reserved first: if that fails,
    // nothing has changed.
    void MoveTailToFrontOf(std::int32_t count, BTreeLeafNode& next)
    {
        next.Reserve(next.Count() + count);
        const auto first = static_cast<std::ptrdiff_t>(this->Count() - count);
        if constexpr (KeepsKeys)
        {
            next.EntryKeys.insert(next.EntryKeys.begin(), this->EntryKeys.begin() + first,
                                  this->EntryKeys.end());
            this->EntryKeys.erase(this->EntryKeys.begin() + first, this->EntryKeys.end());
        }
        next.Entries.insert(next.Entries.begin(),
                            std::make_move_iterator(this->Entries.begin() + first),
                            std::make_move_iterator(this->Entries.end()));
        this->Entries.erase(this->Entries.begin() + first, this->Entries.end());
        this->SyncCount();
        next.SyncCount();
        this->RecomputeKey();
        next.RecomputeKey();
    }

    // Moves the first count entries to the end of previous, the leaf before this one in key
    // order; both Keys are recomputed. Room is reserved first, as above.
    void MoveHeadToEndOf(std::int32_t count, BTreeLeafNode& previous)
    {
        previous.Reserve(previous.Count() + count);
        const auto last = static_cast<std::ptrdiff_t>(count);
        if constexpr (KeepsKeys)
        {
            previous.EntryKeys.insert(previous.EntryKeys.end(), this->EntryKeys.begin(),
                                      this->EntryKeys.begin() + last);
            this->EntryKeys.erase(this->EntryKeys.begin(), this->EntryKeys.begin() + last);
        }
        previous.Entries.insert(previous.Entries.end(),
                                std::make_move_iterator(this->Entries.begin()),
                                std::make_move_iterator(this->Entries.begin() + last));
        this->Entries.erase(this->Entries.begin(), this->Entries.begin() + last);
        this->SyncCount();
        previous.SyncCount();
        this->RecomputeKey();
        previous.RecomputeKey();
    }

    // What MergeAscending did: whether Key changed, how many items went in, and how many of
    // the first items it dealt with (went in or were found stored).
    struct Merged
    {
        bool KeyChanged = false;
        std::int32_t Added = 0;
        std::size_t Taken = 0;
    };

    // Merges the first of the items, whose keys strictly ascend, into the entries; make(k)
    // gives the item of keys[k], and is called only for the items that go in, in ascending
    // order, before anything changes. An item whose key is stored already stays out, and
    // found(k, stored item) is called for it; found must not throw. It takes items from the
    // first on as long as no more than maxAdded (at least 1) go in, so that an item found
    // stored costs no room: a full leaf takes any number of items it holds already in one
    // merge. places and made are working room. Room for the items that go in is reserved
    // first: if that or a make fails, nothing has changed.
    template <class M, class F>
    Merged MergeAscending(std::span<const TKey> keys, M&& make, F&& found, std::size_t maxAdded,
                          std::vector<std::ptrdiff_t>& places, std::vector<TItem>& made)
    {
        const auto stored = static_cast<std::size_t>(this->Count());
        std::size_t added = 0;
        const std::size_t taken = FindPlaces(keys, maxAdded, places, added);
        made.clear();
        for (std::size_t k = 0; k < taken; ++k)
        {
            if (places[k] >= 0)
            {
                made.push_back(make(k));
            }
        }
        this->Reserve(static_cast<std::int32_t>(stored + added));
        for (std::size_t k = 0; k < taken; ++k)
        {
            if (places[k] < 0)
            {
                found(k, this->Entries[static_cast<std::size_t>(-places[k] - 1)]);
            }
        }
        if (added == 0)
        {
            return {false, 0, taken};
        }
        MoveInPlace(keys.first(taken), made, places, added);
        const TKey last = this->GetEntryKey(this->Count() - 1);
        const bool keyChanged = stored == 0 ? (this->Key = last, true) : this->UpdateKey(last);
        return {keyChanged, static_cast<std::int32_t>(added), taken};
    }

private:
    // For the first items, in one pass over the entries from the front: the position before
    // which each goes in, or -(i + 1) when entry i has its key already. Stops before the item
    // that would be the (maxAdded + 1)th to go in; returns how many items it placed, and
    // added, how many of them go in.
    std::size_t FindPlaces(std::span<const TKey> keys, std::size_t maxAdded,
                           std::vector<std::ptrdiff_t>& places, std::size_t& added) const
    {
        const TComparator less{};
        const auto stored = static_cast<std::size_t>(this->Count());
        const auto storedKey = [this](std::size_t i) -> decltype(auto)
        { return this->GetEntryKey(static_cast<std::int32_t>(i)); };
        if constexpr (!KeepsKeys)
        {
            // The pass below reads the stored keys through their items one after the other,
            // each a cache miss where the items point at scattered records: asked for all at
            // once, their loads overlap instead of waiting for each other.
            for (std::size_t i = 0; i < stored; ++i)
            {
                __builtin_prefetch(&TKeyGetter{}(this->Entries[i]));
            }
        }
        places.resize(keys.size());
        added = 0;
        std::size_t read = 0;
        for (std::size_t k = 0; k < keys.size(); ++k)
        {
            while (read < stored && less(storedKey(read), keys[k]))
            {
                ++read;
            }
            if (read < stored && !less(keys[k], storedKey(read)))
            {
                places[k] = -static_cast<std::ptrdiff_t>(read) - 1;
                continue;
            }
            if (added == maxAdded)
            {
                return k;
            }
            places[k] = static_cast<std::ptrdiff_t>(read);
            ++added;
        }
        return keys.size();
    }

    // Puts the items with a place (not found stored) in, added of them, within the reserved
    // room: from the back, the entries after each item's place move up past the items that go
    // in after them. made holds the items that go in, in order.
    void MoveInPlace(std::span<const TKey> keys, std::vector<TItem>& made,
                     const std::vector<std::ptrdiff_t>& places, std::size_t added)
    {
        const auto stored = static_cast<std::size_t>(this->Count());
        if constexpr (KeepsKeys)
        {
            this->EntryKeys.resize(stored + added);
        }
        this->Entries.resize(stored + added);
        std::size_t read = stored;
        std::size_t write = stored + added;
        std::size_t next = made.size();
        for (std::size_t k = keys.size(); k-- > 0;)
        {
            if (places[k] < 0)
            {
                continue;
            }
            const auto place = static_cast<std::size_t>(places[k]);
            if constexpr (KeepsKeys)
            {
                MoveUp(this->EntryKeys, place, read, write);
                this->EntryKeys[write - (read - place) - 1] = keys[k];
            }
            MoveUp(this->Entries, place, read, write);
            write -= read - place + 1;
            read = place;
            this->Entries[write] = std::move(made[--next]);
        }
        this->SyncCount();
    }

    // Moves entries [from, to) of a vector to end at end.
    template <class TVector>
    static void MoveUp(TVector& vector, std::size_t from, std::size_t to, std::size_t end)
    {
        const auto first = vector.begin();
        std::move_backward(first + static_cast<std::ptrdiff_t>(from),
                           first + static_cast<std::ptrdiff_t>(to),
                           first + static_cast<std::ptrdiff_t>(end));
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
