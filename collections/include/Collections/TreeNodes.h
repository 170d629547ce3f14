#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace Collections
{

template <class TKey>
class IndexNode;

// A node of a balanced tree (B-tree or R-tree). Every node carries the summary key of its
// subtree (the largest key for the B-tree, the bounding rectangle for the R-tree) and the key
// of each of its entries, kept next to each other so that searching a node reads one
// contiguous array: for a leaf the keys of its items (taken when they were inserted), for an
// index node a copy of each child's Key that the tree refreshes whenever that Key changes.
template <class TKey>
class TreeNode
{
public:
    virtual ~TreeNode() = default;
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;
    TreeNode(TreeNode&&) = delete;
    TreeNode& operator=(TreeNode&&) = delete;

    bool IsLeaf() const noexcept { return m_isLeaf; }
    std::int32_t Count() const noexcept { return static_cast<std::int32_t>(EntryKeys.size()); }
    const TKey& GetEntryKey(std::int32_t i) const { return EntryKeys[static_cast<std::size_t>(i)]; }

    // Summary key of the subtree.
    TKey Key{};
    // The index node holding this one; null for the root.
    IndexNode<TKey>* Parent = nullptr;
    // Key of each entry, in entry order.
    std::vector<TKey> EntryKeys;

protected:
    TreeNode(bool isLeaf, std::int32_t capacity) : m_isLeaf(isLeaf)
    {
        EntryKeys.reserve(static_cast<std::size_t>(capacity));
    }

private:
    bool m_isLeaf;
};

// A node with entries of one type, each entry stored with its key.
template <class TKey, class TEntry>
class TemplateNode : public TreeNode<TKey>
{
public:
    const TEntry& GetEntry(std::int32_t i) const { return Entries[static_cast<std::size_t>(i)]; }
    TEntry& GetEntry(std::int32_t i) { return Entries[static_cast<std::size_t>(i)]; }

    std::vector<TEntry> Entries;

protected:
    TemplateNode(bool isLeaf, std::int32_t capacity) : TreeNode<TKey>(isLeaf, capacity)
    {
        Entries.reserve(static_cast<std::size_t>(capacity));
    }

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
    }

    // Empties the node and hands its keys and entries to the caller.
    // The node keeps its reserved room.
    std::pair<std::vector<TKey>, std::vector<TEntry>> TakeAll()
    {
        std::pair<std::vector<TKey>, std::vector<TEntry>> all;
        all.first.reserve(this->EntryKeys.capacity());
        all.second.reserve(Entries.capacity());
        std::swap(all.first, this->EntryKeys);
        std::swap(all.second, Entries);
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

// A node whose entries are its children, which it owns. Every child's Parent points back to
// it, and its entry key equals the child's Key.
template <class TKey>
class IndexNode : public TemplateNode<TKey, std::unique_ptr<TreeNode<TKey>>>
{
    using Base = TemplateNode<TKey, std::unique_ptr<TreeNode<TKey>>>;

public:
    TreeNode<TKey>& Child(std::int32_t i) const { return *this->GetEntry(i); }

    std::int32_t IndexOfChild(const TreeNode<TKey>& child) const noexcept
    {
        for (std::int32_t i = 0; i < this->Count(); ++i)
        {
            if (this->Entries[static_cast<std::size_t>(i)].get() == &child)
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

protected:
    explicit IndexNode(std::int32_t capacity) : Base(false, capacity) {}

    void InsertEntryAt(std::int32_t i, const TKey& key, std::unique_ptr<TreeNode<TKey>> child)
    {
        TreeNode<TKey>& adopted = *child;
        Base::InsertEntryAt(i, key, std::move(child));
        adopted.Parent = this;
    }

    void AppendEntry(const TKey& key, std::unique_ptr<TreeNode<TKey>> child)
    {
        InsertEntryAt(this->Count(), key, std::move(child));
    }

    void MoveTailTo(std::int32_t first, IndexNode& target)
    {
        Base::MoveTailTo(first, target);
        for (auto& child : target.Entries)
        {
            child->Parent = &target;
        }
    }
};

} // namespace Collections
