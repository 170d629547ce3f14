#pragma once

#include "Collections/BTree.h"
#include "Collections/DefaultComparator.h"
#include "Collections/KeyGetter.h"

#include <cstdint>
#include <utility>

namespace Collections
{

// An ordered map kept in a B-tree of (key, value) pairs. The default node size (2 to 3
// entries) suits the small maps of a layer. A value is replaced by removing its pair and
// inserting it again. Pointers returned by Find() stay valid until the map next changes.
template <class TKey, class TValue>
class Map : private BTree<TKey, std::pair<TKey, TValue>, KeyGetter, DefaultComparator<TKey>>
{
    using Tree = BTree<TKey, std::pair<TKey, TValue>, KeyGetter, DefaultComparator<TKey>>;

public:
    using ItemType = std::pair<TKey, TValue>;

    explicit Map(std::int32_t minItems = 2, std::int32_t maxItems = 3) : Tree(minItems, maxItems) {}

    using Tree::Count;
    using Tree::ForEach;
    using Tree::GetEnumerator;
    using Tree::IsEmpty;
    using Tree::VisitFrom;

    // Adds the pair unless the key is present; then nothing changes and the result is false.
    bool Insert(const TKey& key, TValue value)
    {
        return Tree::Insert(ItemType(key, std::move(value)));
    }

    // Removes the pair with this key and moves its value to pValue when pValue is not null.
    bool Remove(const TKey& key, TValue* pValue = nullptr)
    {
        ItemType removed;
        if (!Tree::RemoveKey(key, &removed))
        {
            return false;
        }
        if (pValue != nullptr)
        {
            *pValue = std::move(removed.second);
        }
        return true;
    }

    TValue* Find(const TKey& key)
    {
        ItemType* item = Tree::FindItem(key);
        return item == nullptr ? nullptr : &item->second;
    }

    const TValue* Find(const TKey& key) const
    {
        const ItemType* item = Tree::FindItem(key);
        return item == nullptr ? nullptr : &item->second;
    }

    bool Contains(const TKey& key) const { return Tree::FindItem(key) != nullptr; }
};

} // namespace Collections
