#pragma once

// Disjoint sets of the numbers [0, count) (union-find). A set's root is its smallest member,
// so that the roots, and whatever is ordered by them, do not depend on the order in which
// the sets were joined.

#include <algorithm>
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

private:
    std::vector<TIndex> m_parent;
};

} // namespace Arealis
