#pragma once

// Disjoint sets of the numbers [0, count) (union-find). A set's root is its smallest member,
// so that the roots, and whatever is ordered by them, do not depend on the order in which
// the sets were joined.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <numeric>
#include <vector>

namespace Arealis
{

template <class TIndex>
class DisjointSets
{
public:
    explicit DisjointSets(std::size_t count) : m_parent(count)
    {
        std::iota(m_parent.begin(), m_parent.end(), TIndex{0});
    }

    TIndex Root(TIndex a)
    {
        while (m_parent[static_cast<std::size_t>(a)] != a)
        {
            // Halving the path keeps the trees flat.
            TIndex& parent = m_parent[static_cast<std::size_t>(a)];
            parent = m_parent[static_cast<std::size_t>(parent)];
            a = parent;
        }
        return a;
    }

    // Joins the sets of a and b; false when they were one set already.
    bool Join(TIndex a, TIndex b)
    {
        a = Root(a);
        b = Root(b);
        if (a == b)
        {
            return false;
        }
        m_parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        return true;
    }

    // Root and Join for several threads at once, without a lock; not at the same time as the
    // plain ones. Every parent is smaller than its child and stays an ancestor for good (a
    // root is only ever linked below a smaller root), so a parent read at any moment is a
    // valid step towards the root, and a shortcut written by one thread never undoes
    // another's. Connectivity only grows: two members found under one root are connected for
    // good, while members found under different roots may have been joined meanwhile.
    TIndex SharedRoot(TIndex a)
    {
        for (;;)
        {
            const std::atomic_ref<TIndex> parent = SharedParent(a);
            const TIndex up = parent.load(std::memory_order_acquire);
            if (up == a)
            {
                return a;
            }
            const TIndex upper = SharedParent(up).load(std::memory_order_acquire);
            if (upper != up)
            {
                // Halving the path, as Root does; a lost race leaves another ancestor there.
                TIndex expected = up;
                parent.compare_exchange_strong(expected, upper, std::memory_order_acq_rel);
            }
            a = upper;
        }
    }

    bool SharedConnected(TIndex a, TIndex b)
    {
        for (;;)
        {
            const TIndex rootA = SharedRoot(a);
            const TIndex rootB = SharedRoot(b);
            if (rootA == rootB)
            {
                return true;
            }
            // rootA may have been linked below another root while rootB was sought.
            if (SharedParent(rootA).load(std::memory_order_acquire) == rootA)
            {
                return false;
            }
        }
    }

    // Joins the sets of a and b as Join does.
    bool SharedJoin(TIndex a, TIndex b)
    {
        for (;;)
        {
            const TIndex rootA = SharedRoot(a);
            const TIndex rootB = SharedRoot(b);
            if (rootA == rootB)
            {
                return false;
            }
            const TIndex high = std::max(rootA, rootB);
            TIndex expected = high;
            // Fails when another thread linked high meanwhile; then both roots are sought again.
            if (SharedParent(high).compare_exchange_strong(expected, std::min(rootA, rootB),
                                                           std::memory_order_acq_rel))
            {
                return true;
            }
        }
    }

private:
    std::atomic_ref<TIndex> SharedParent(TIndex a)
    {
        return std::atomic_ref<TIndex>(m_parent[static_cast<std::size_t>(a)]);
    }

    std::vector<TIndex> m_parent;
};

} // namespace Arealis
