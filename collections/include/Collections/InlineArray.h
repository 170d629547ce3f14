#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace Collections
{

// A growable array of plain values that keeps up to N of them inside the object and moves to
// the heap beyond that. Tree nodes hold their entry keys (and plain entries) in it, so that a
// small node's entries lie next to the node itself and a search touches one block of memory.
// It offers the part of the std::vector interface that the nodes use.
template <class T, std::size_t N>
class InlineArray
{
    static_assert(std::is_trivially_copyable_v<T>, "InlineArray holds trivially copyable values");
    static_assert(std::is_default_constructible_v<T>, "InlineArray default-constructs its slots");

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    InlineArray() = default;

    InlineArray(const InlineArray& other)
    {
        reserve(other.m_size);
        std::copy(other.begin(), other.end(), begin());
        m_size = other.m_size;
    }

    InlineArray(InlineArray&& other) noexcept
    {
        if (other.m_heap)
        {
            m_heap = std::move(other.m_heap);
            m_capacity = std::exchange(other.m_capacity, N);
        }
        else
        {
            std::copy(other.begin(), other.end(), begin());
        }
        m_size = std::exchange(other.m_size, 0);
    }

    InlineArray& operator=(const InlineArray& other)
    {
        if (this != &other)
        {
            clear();
            reserve(other.m_size);
            std::copy(other.begin(), other.end(), begin());
            m_size = other.m_size;
        }
        return *this;
    }

    InlineArray& operator=(InlineArray&& other) noexcept
    {
        if (this != &other)
        {
            if (other.m_heap)
            {
                m_heap = std::move(other.m_heap);
                m_capacity = std::exchange(other.m_capacity, N);
            }
            else
            {
                m_heap.reset();
                m_capacity = N;
                std::copy(other.begin(), other.end(), begin());
            }
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }

    ~InlineArray() = default;

    std::size_t size() const noexcept { return m_size; }
    std::size_t capacity() const noexcept { return m_capacity; }
    bool empty() const noexcept { return m_size == 0; }

    T* data() noexcept { return m_heap ? m_heap.get() : m_inline.data(); }
    const T* data() const noexcept { return m_heap ? m_heap.get() : m_inline.data(); }
    T* begin() noexcept { return data(); }
    T* end() noexcept { return data() + m_size; }
    const T* begin() const noexcept { return data(); }
    const T* end() const noexcept { return data() + m_size; }

    T& operator[](std::size_t i) noexcept { return data()[i]; }
    const T& operator[](std::size_t i) const noexcept { return data()[i]; }
    T& back() noexcept { return data()[m_size - 1]; }
    const T& back() const noexcept { return data()[m_size - 1]; }

    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
        {
            return;
        }
        auto heap = std::make_unique<T[]>(capacity);
        std::copy(begin(), end(), heap.get());
        m_heap = std::move(heap);
        m_capacity = capacity;
    }

    void clear() noexcept { m_size = 0; }

    void push_back(const T& value) { insert(end(), value); }

    T* insert(const T* position, const T& value)
    {
        const auto at = static_cast<std::size_t>(position - begin());
        const T copy = value; // value may live in this array
        MakeRoom(at, 1);
        data()[at] = copy;
        return data() + at;
    }

    template <class TIterator>
    T* insert(const T* position, TIterator first, TIterator last)
    {
        const auto at = static_cast<std::size_t>(position - begin());
        const auto count = static_cast<std::size_t>(std::distance(first, last));
        MakeRoom(at, count);
        std::copy(first, last, data() + at);
        return data() + at;
    }

    T* erase(const T* position) { return erase(position, position + 1); }

    T* erase(const T* first, const T* last)
    {
        const auto at = static_cast<std::size_t>(first - begin());
        const auto count = static_cast<std::size_t>(last - first);
        std::copy(begin() + at + count, end(), begin() + at);
        m_size -= count;
        return begin() + at;
    }

    friend bool operator==(const InlineArray& a, const InlineArray& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    // Opens count slots at position at, moving to a larger heap block when full.
    void MakeRoom(std::size_t at, std::size_t count)
    {
        if (m_size + count > m_capacity)
        {
            reserve(std::max(m_size + count, 2 * m_capacity));
        }
        std::copy_backward(begin() + at, end(), end() + count);
        m_size += count;
    }

    // The counts come first so that reading them brings the first elements into the cache.
    std::unique_ptr<T[]> m_heap;
    std::size_t m_size = 0;
    std::size_t m_capacity = N;
    std::array<T, N> m_inline{};
};

} // namespace Collections
