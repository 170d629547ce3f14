#pragma once

#include "Collections/InlineArray.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace Collections
{

// Entries of a node: plain values are kept inside the node up to InlineEntryCapacity (room
// for the R-tree's nodes of nominal size 10, which split at 15 entries); other types, and
// wider nodes, on the heap.
inline constexpr std::size_t InlineEntryCapacity = 16;

template <class T>
using EntryArray =
    std::conditional_t<std::is_trivially_copyable_v<T> && std::is_default_constructible_v<T>,
                       InlineArray<T, InlineEntryCapacity>, std::vector<T>>;

template <class TKey>
class IndexNode;

// A node of a balanced tree (B-tree or R-tree). Every node carries the summary key of its
// subtree (the largest key for the B-tree, the bounding rectangle for the R-tree). The node
// classes below keep the key of each entry next to each other, so that searching a node reads
// one contiguous array: for a leaf the keys of its items (taken when they were inserted), for
// an index node a copy of each child's Key that the tree refreshes whenever that Key changes.
// A B-tree leaf whose keys are read cheaply through its items keeps the items alone
// (KeylessLeafNode).
template <class TKey>
class TreeNode
{
    // First, next to each other, so that a search reads one run of memory per node.
    bool m_isLeaf;
    std::int32_t m_count = 0;

public:
    virtual ~TreeNode() = default;
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;
    TreeNode(TreeNode&&) = delete;
    TreeNode& operator=(TreeNode&&) = delete;

    bool IsLeaf() const noexcept { return m_isLeaf; }
    // Entries held; every node class sets it whenever its entries change.
    std::int32_t Count() const noexcept { return m_count; }

    // The index node holding this one; null for the root.
    IndexNode<TKey>* Parent = nullptr;
    // Summary key of the subtree.
    TKey Key{};

protected:
    explicit TreeNode(bool isLeaf) noexcept : m_isLeaf(isLeaf) {}

    void SetCount(std::size_t count) noexcept { m_count = static_cast<std::int32_t>(count); }
};

// A node with entries of one type, each entry stored with its key.
template <class TKey, class TEntry>
class TemplateNode : public TreeNode<TKey>
{
public:
    const TKey& GetEntryKey(std::int32_t i) const { return EntryKeys[static_cast<std::size_t>(i)]; }
    const TEntry& GetEntry(std::int32_t i) const { return Entries[static_cast<std::size_t>(i)]; }
    TEntry& GetEntry(std::int32_t i) { return Entries[static_cast<std::size_t>(i)]; }

    // Takes copies of the keys and entries of other, in place of its own.
    void CopyEntriesOf(const TemplateNode& other)
    {
        EntryKeys = other.EntryKeys;
        Entries = other.Entries;
        SyncCount();
    }

    // Key of each entry, in entry order.
    EntryArray<TKey> EntryKeys;
    EntryArray<TEntry> Entries;

protected:
    TemplateNode(bool isLeaf, std::int32_t capacity) : TreeNode<TKey>(isLeaf) { Reserve(capacity); }

    // Count() follows the keys; called after every change of the entries.
    void SyncCount() noexcept { this->SetCount(EntryKeys.size()); }

    void InsertEntryAt(std::int32_t i, const TKey& key, TEntry entry)
    {
        const auto at = static_cast<std::ptrdiff_t>(i);
        this->EntryKeys.insert(this->EntryKeys.begin() + at, key);
        try
        {
            Entries.insert(Entries.begin() + at, std::move(entry));
        }
        catch (...)
        {
            this->EntryKeys.erase(this->EntryKeys.begin() + at);
            throw;
        }
        SyncCount();
    }

    void AppendEntry(const TKey& key, TEntry entry)
    {
        InsertEntryAt(this->Count(), key, std::move(entry));
    }

    TEntry RemoveEntryAt(std::int32_t i)
    {
        const auto at = static_cast<std::ptrdiff_t>(i);
        TEntry entry = std::move(Entries[static_cast<std::size_t>(i)]);
        Entries.erase(Entries.begin() + at);
        this->EntryKeys.erase(this->EntryKeys.begin() + at);
        SyncCount();
        return entry;
    }

    // Moves the entries from position first on to the end of target, in order.
    void MoveTailTo(std::int32_t first, TemplateNode& target)
    {
        const auto at = static_cast<std::ptrdiff_t>(first);
        target.EntryKeys.insert(target.EntryKeys.end(), this->EntryKeys.begin() + at,
                                this->EntryKeys.end());
        target.Entries.insert(target.Entries.end(), std::make_move_iterator(Entries.begin() + at),
                              std::make_move_iterator(Entries.end()));
        this->EntryKeys.erase(this->EntryKeys.begin() + at, this->EntryKeys.end());
        Entries.erase(Entries.begin() + at, Entries.end());
        SyncCount();
        target.SyncCount();
    }

    void Reserve(std::int32_t capacity)
    {
        this->EntryKeys.reserve(static_cast<std::size_t>(capacity));
        Entries.reserve(static_cast<std::size_t>(capacity));
    }

    // Empties the node and hands its keys and entries to the caller.
    // The node keeps its reserved room.
    std::pair<EntryArray<TKey>, EntryArray<TEntry>> TakeAll()
    {
        std::pair<EntryArray<TKey>, EntryArray<TEntry>> all;
        all.first.reserve(this->EntryKeys.capacity());
        all.second.reserve(Entries.capacity());
        std::swap(all.first, this->EntryKeys);
        std::swap(all.second, Entries);
        SyncCount();
        return all;
    }
};

// A node whose entries are the items.
template <class TKey, class TItem>
class LeafNode : public TemplateNode<TKey, TItem>
{
public:
    using ItemType = TItem;

protected:
    explicit LeafNode(std::int32_t capacity) : TemplateNode<TKey, TItem>(true, capacity) {}
};

// A leaf that keeps its items alone and reads each item's key through TKeyGetter whenever it
// needs it. Where the item leads to its key (a pointer to a record holding it) and keys are
// large, this takes a fraction of the memory of a leaf with keys, at the price of reading the
// records while searching. The key must not change while the item is stored.
template <class TKey, class TItem, class TKeyGetter>
class KeylessLeafNode : public TreeNode<TKey>
{
public:
    using ItemType = TItem;

    decltype(auto) GetEntryKey(std::int32_t i) const { return TKeyGetter{}(GetEntry(i)); }
    const TItem& GetEntry(std::int32_t i) const { return Entries[static_cast<std::size_t>(i)]; }
    TItem& GetEntry(std::int32_t i) { return Entries[static_cast<std::size_t>(i)]; }

    void CopyEntriesOf(const KeylessLeafNode& other)
    {
        Entries = other.Entries;
        SyncCount();
    }

    EntryArray<TItem> Entries;

protected:
    explicit KeylessLeafNode(std::int32_t capacity) : TreeNode<TKey>(true) { Reserve(capacity); }

    // Count() follows the items; called after every change of the entries.
    void SyncCount() noexcept { this->SetCount(Entries.size()); }

    // The key is the item's own: it is not stored.
    void InsertEntryAt(std::int32_t i, const TKey& /*key*/, TItem item)
    {
        Entries.insert(Entries.begin() + static_cast<std::ptrdiff_t>(i), std::move(item));
        SyncCount();
    }

    TItem RemoveEntryAt(std::int32_t i)
    {
        TItem item = std::move(Entries[static_cast<std::size_t>(i)]);
        Entries.erase(Entries.begin() + static_cast<std::ptrdiff_t>(i));
        SyncCount();
        return item;
    }

    // Moves the entries from position first on to the end of target, in order.
    void MoveTailTo(std::int32_t first, KeylessLeafNode& target)
    {
        const auto at = static_cast<std::ptrdiff_t>(first);
        target.Entries.insert(target.Entries.end(), std::make_move_iterator(Entries.begin() + at),
                              std::make_move_iterator(Entries.end()));
        Entries.erase(Entries.begin() + at, Entries.end());
        SyncCount();
        target.SyncCount();
    }

    void Reserve(std::int32_t capacity) { Entries.reserve(static_cast<std::size_t>(capacity)); }
};

// A node whose entries are its children, which it owns. Every child's Parent points back to
// it, and its entry key equals the child's Key. The children are kept as plain pointers so
// that they sit in the node's inline storage next to their keys; ownership passes in and out
// through std::unique_ptr, and the destructor deletes the children still held.
template <class TKey>
class IndexNode : public TemplateNode<TKey, TreeNode<TKey>*>
{
    using Base = TemplateNode<TKey, TreeNode<TKey>*>;

public:
    ~IndexNode() override
    {
        for (TreeNode<TKey>* child : this->Entries)
        {
            delete child; // NOLINT(cppcoreguidelines-owning-memory): owned, see above
        }
    }

    IndexNode(const IndexNode&) = delete;
    IndexNode& operator=(const IndexNode&) = delete;
    IndexNode(IndexNode&&) = delete;
    IndexNode& operator=(IndexNode&&) = delete;

    TreeNode<TKey>& Child(std::int32_t i) const { return *this->GetEntry(i); }

    std::int32_t IndexOfChild(const TreeNode<TKey>& child) const noexcept
    {
        for (std::int32_t i = 0; i < this->Count(); ++i)
        {
            if (this->Entries[static_cast<std::size_t>(i)] == &child)
            {
                return i;
            }
        }
        return -1;
    }

    // Adds a child after the last one, with its Key.
    void AppendChild(std::unique_ptr<TreeNode<TKey>> child)
    {
        const TKey key = child->Key;
        AppendEntry(key, std::move(child));
    }

    // Refreshes the entry key of a child after its Key changed.
    void SyncChildKey(const TreeNode<TKey>& child)
    {
        this->EntryKeys[static_cast<std::size_t>(IndexOfChild(child))] = child.Key;
    }

    // Takes a child out and destroys it.
    void DestroyChild(const TreeNode<TKey>& child)
    {
        const std::unique_ptr<TreeNode<TKey>> removed(this->RemoveEntryAt(IndexOfChild(child)));
    }

protected:
    explicit IndexNode(std::int32_t capacity) : Base(false, capacity) {}

    void InsertEntryAt(std::int32_t i, const TKey& key, std::unique_ptr<TreeNode<TKey>> child)
    {
        Base::InsertEntryAt(i, key, child.get());
        child.release()->Parent = this; // now held by Entries
    }

    void AppendEntry(const TKey& key, std::unique_ptr<TreeNode<TKey>> child)
    {
        InsertEntryAt(this->Count(), key, std::move(child));
    }

    // Re-adopts a child that this node or a sibling held a moment ago (during a split), into
    // room reserved beforehand.
    void AppendEntry(const TKey& key, TreeNode<TKey>* child)
    {
        Base::AppendEntry(key, child);
        child->Parent = this;
    }

    void MoveTailTo(std::int32_t first, IndexNode& target)
    {
        Base::MoveTailTo(first, target);
        for (TreeNode<TKey>* child : target.Entries)
        {
            child->Parent = &target;
        }
    }
};

} // namespace Collections
