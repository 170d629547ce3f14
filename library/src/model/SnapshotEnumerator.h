#pragma once

#include "Collections/IEnumerator.h"
#include "Exceptions/ArgumentException.h"

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace Arealis
{

// Enumerates its own copy of a list of items, so that it stays valid whatever happens to the
// container the items were taken from.
template <class T>
class SnapshotEnumerator final : public Collections::IEnumerator<T>
{
public:
    explicit SnapshotEnumerator(std::vector<T> items) noexcept : m_items(std::move(items)) {}

    T Current() const override
    {
        if (m_position < 0 || static_cast<std::size_t>(m_position) >= m_items.size())
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        return m_items[static_cast<std::size_t>(m_position)];
    }

    bool MoveNext() override
    {
        if (static_cast<std::size_t>(m_position + 1) > m_items.size())
        {
            return false;
        }
        ++m_position;
        return static_cast<std::size_t>(m_position) < m_items.size();
    }

    void Reset() override { m_position = -1; }

    std::unique_ptr<Collections::IEnumerator<T>> Clone() const override
    {
        return std::make_unique<SnapshotEnumerator>(m_items);
    }

private:
    std::vector<T> m_items;
    std::ptrdiff_t m_position = -1;
};

} // namespace Arealis
