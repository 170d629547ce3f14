#pragma once

#include "Collections/IEnumerator.h"

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace Collections
{

// Enumerates the items of a list that it keeps itself, for callers that gather items first
// and then hand them to an interface that takes an enumerator (a union of many polygons).
// Current() outside the enumerated range throws std::out_of_range.
template <class T>
class VectorEnumerator final : public IEnumerator<T>
{
public:
    explicit VectorEnumerator(std::vector<T> items) : m_items(std::move(items)) {}

    T Current() const override { return m_items.at(m_position); }
    bool MoveNext() override { return ++m_position < m_items.size(); }
    void Reset() override { m_position = static_cast<std::size_t>(-1); }
    std::unique_ptr<IEnumerator<T>> Clone() const override
    {
        return std::make_unique<VectorEnumerator>(m_items);
    }

private:
    std::vector<T> m_items;
    std::size_t m_position = static_cast<std::size_t>(-1);
};

} // namespace Collections
