#pragma once

#include "Collections/IEnumerator.h"
#include "Collections/TreeNodes.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Collections
{

// Admits every subtree and every item.
struct InternalMatchAllCriterion
{
    template <class TKey>
    constexpr bool Admits(const TKey& /*key*/) const noexcept
    {
        return true;
    }
};

// Depth-first walk of a balanced tree in stored order, yielding the items that a criterion
// admits. The criterion judges keys: `bool Admits(const TKey& key) const` is asked for the Key
// of each child before descending into it and for the key of each leaf item. The tree must
// stay unchanged while the enumerator is used. TLeaf is the tree's leaf class, through which
// the items and their keys are read.
template <class TKey, class TLeaf, class TCriterion>
class InternalEnumerator final : public IEnumerator<typename TLeaf::ItemType>
{
    using TItem = typename TLeaf::ItemType;

public:
    InternalEnumerator(const TreeNode<TKey>& root, TCriterion criterion)
        : m_root(&root), m_criterion(std::move(criterion))
    {
    }

    TItem Current() const override
    {
        if (!m_hasCurrent)
        {
            throw Exceptions::InvalidOperationException(
                Exceptions::Messages::MoveNextNotCalled,
                Exceptions::MakeLocation("InternalEnumerator", __LINE__));
        }
        return static_cast<const TLeaf&>(*m_node).GetEntry(m_position);
    }

    bool MoveNext() override
    {
        if (m_node == nullptr)
        {
            if (m_finished)
            {
                return false;
            }
            m_node = m_root;
            m_position = -1;
        }
        for (;;)
        {
            if (m_node->IsLeaf())
            {
                if (NextAdmittedItem())
                {
                    m_hasCurrent = true;
                    return true;
                }
            }
            else if (DescendIntoNextAdmittedChild())
            {
                continue;
            }
            if (m_positions.empty())
            {
                Finish();
                return false;
            }
            m_node = m_node->Parent;
            m_position = m_positions.back();
            m_positions.pop_back();
        }
    }

    void Reset() override
    {
        m_node = nullptr;
        m_positions.clear();
        m_hasCurrent = false;
        m_finished = false;
    }

    std::unique_ptr<IEnumerator<TItem>> Clone() const override
    {
        return std::make_unique<InternalEnumerator>(*m_root, m_criterion);
    }

private:
    bool NextAdmittedItem()
    {
        m_hasCurrent = false;
        const auto& leaf = static_cast<const TLeaf&>(*m_node);
        while (++m_position < leaf.Count())
        {
            if (m_criterion.Admits(leaf.GetEntryKey(m_position)))
            {
                return true;
            }
        }
        return false;
    }

    bool DescendIntoNextAdmittedChild()
    {
        const auto& index = static_cast<const IndexNode<TKey>&>(*m_node);
        while (++m_position < index.Count())
        {
            if (m_criterion.Admits(index.GetEntryKey(m_position)))
            {
                m_positions.push_back(m_position);
                m_node = &index.Child(m_position);
                m_position = -1;
                return true;
            }
        }
        return false;
    }

    void Finish()
    {
        m_node = nullptr;
        m_hasCurrent = false;
        m_finished = true;
    }

    const TreeNode<TKey>* m_root;
    TCriterion m_criterion;
    const TreeNode<TKey>* m_node = nullptr;
    std::int32_t m_position = -1;
    std::vector<std::int32_t> m_positions;
    bool m_hasCurrent = false;
    bool m_finished = false;
};

} // namespace Collections
