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
//
// On the heap the values need not start at the first slot of the block: there is room before
// them as well as after, and an insertion or erasure moves whichever part of the values is
// shorter (the part before the position into the room in front, or the part after it into the
// room behind). When the side to move into is full but the block is not, the values are laid
// out once more with the remaining room shared between both ends, so a run of insertions at the
// front of a wide node costs a few passes over it instead of one pass per insertion. The block
// is replaced only when it is full: an array that reserved capacity C keeps its block while it
// holds at most C values.
template <class T, std::size_t N>
class InlineArray
{
    static_assert(std::is_trivially_copyable_v<T>, "InlineArray holds trivially copyable values");
    static_assert(std::is_default_constructible_v<T>, "InlineArray default-constructs its slots");

public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = const T*;

    InlineArray() noexcept { m_data = m_inline.data(); }

    InlineArray(const InlineArray& other) : InlineArray()
    {
        reserve(other.m_size);
        std::copy(other.begin(), other.end(), begin());
        m_size = other.m_size;
    }

    InlineArray(InlineArray&& other) noexcept : InlineArray() { TakeValuesOf(other); }

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
            m_heap.reset();
            m_data = m_inline.data();
            m_capacity = N;
            TakeValuesOf(other);
        }
        return *this;
    }

    ~InlineArray() = default;

    std::size_t size() const noexcept { return m_size; }
    std::size_t capacity() const noexcept { return m_capacity; }
    bool empty() const noexcept { return m_size == 0; }

    T* data() noexcept { return m_data; }
    const T* data() const noexcept { return m_data; }
    T* begin() noexcept { return m_data; }
    T* end() noexcept { return m_data + m_size; }
    const T* begin() const noexcept { return m_data; }
    const T* end() const noexcept { return m_data + m_size; }

    T& operator[](std::size_t i) noexcept { return m_data[i]; }
    const T& operator[](std::size_t i) const noexcept { return m_data[i]; }
    T& back() noexcept { return m_data[m_size - 1]; }
    const T& back() const noexcept { return m_data[m_size - 1]; }

    void reserve(std::size_t capacity)
    {
        if (capacity <= m_capacity)
        {
            return;
        }
        Reallocate(capacity, m_size, 0);
    }

    // An emptied array starts again at the front of its storage, where a run of appends (the
    // common way of filling an array) finds all the room.
    void clear() noexcept
    {
        m_size = 0;
        m_data = Storage();
    }

    void push_back(const T& value) { insert(end(), value); }

    // Grows with default values at the end, or drops values from the end.
    void resize(std::size_t size)
    {
        if (size <= m_size)
        {
            erase(begin() + size, end());
            return;
        }
        const std::size_t added = size - m_size;
        MakeRoom(m_size, added);
        std::fill(end() - added, end(), T{});
    }

    T* insert(const T* position, const T& value)
    {
        const auto at = static_cast<std::size_t>(position - begin());
        const T copy = value; // value may live in this array
        MakeRoom(at, 1);
        m_data[at] = copy;
        return m_data + at;
    }

    template <class TIterator>
    T* insert(const T* position, TIterator first, TIterator last)
    {
        const auto at = static_cast<std::size_t>(position - begin());
        const auto count = static_cast<std::size_t>(std::distance(first, last));
        if (count == 0)
        {
            return m_data + at;
        }
        MakeRoom(at, count);
        std::copy(first, last, m_data + at);
        return m_data + at;
    }

    T* erase(const T* position) { return erase(position, position + 1); }

    T* erase(const T* first, const T* last)
    {
        const auto at = static_cast<std::size_t>(first - begin());
        const auto count = static_cast<std::size_t>(last - first);
        if (count == 0)
        {
            return m_data + at;
        }
        if (m_heap && at < m_size - at - count)
        {
            std::copy_backward(m_data, m_data + at, m_data + at + count);
            m_data += count;
        }
        else
        {
            std::copy(m_data + at + count, m_data + m_size, m_data + at);
        }
        m_size -= count;
        if (m_size == 0)
        {
            m_data = Storage();
        }
        return m_data + at;
    }

    friend bool operator==(const InlineArray& a, const InlineArray& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    // The first slot of the storage in use: the heap block, or the inline room.
    T* Storage() noexcept { return m_heap ? m_heap.get() : m_inline.data(); }

    // Takes over the values of other; this array must be empty and in its inline room. Other is
    // left empty, in its inline room.
    void TakeValuesOf(InlineArray& other) noexcept
    {
        if (other.m_heap)
        {
            m_heap = std::move(other.m_heap);
            m_data = std::exchange(other.m_data, other.m_inline.data());
            m_capacity = std::exchange(other.m_capacity, N);
        }
        else
        {
            std::copy(other.begin(), other.end(), m_data);
        }
        m_size = std::exchange(other.m_size, 0);
    }

    // Opens count slots at position at. In the inline room the values after the position move
    // up; on the heap the shorter side moves if there is room on that side. The rest is left
    // to MakeRoomElsewhere, out of line so that the common cases stay small enough to inline.
    void MakeRoom(std::size_t at, std::size_t count)
    {
        const std::size_t tail = m_size - at;
        if (m_heap && at < tail && RoomBefore() >= count)
        {
            std::copy(m_data, m_data + at, m_data - count);
            m_data -= count;
        }
        else if ((at >= tail || !m_heap) && RoomAfter() >= count)
        {
            std::copy_backward(m_data + at, m_data + m_size, m_data + m_size + count);
        }
        else
        {
            MakeRoomElsewhere(at, count);
        }
        m_size += count;
    }

    // Lays the values out afresh around count slots opened at position at: in the same block
    // while it has room, in a larger one when it is full.
    [[gnu::noinline]] void MakeRoomElsewhere(std::size_t at, std::size_t count)
    {
        if (m_size + count > m_capacity)
        {
            Reallocate(std::max(m_size + count, 2 * m_capacity), at, count);
        }
        else
        {
            Recentre(at, count);
        }
    }

    std::size_t RoomBefore() const noexcept
    {
        return m_heap ? static_cast<std::size_t>(m_data - m_heap.get()) : 0;
    }

    std::size_t RoomAfter() const noexcept { return m_capacity - RoomBefore() - m_size; }

    // The offset in a block of capacity slots that leaves as much room before size values as
    // after them.
    static std::size_t CentredOffset(std::size_t capacity, std::size_t size) noexcept
    {
        return (capacity - size) / 2;
    }

    // Moves the values within the heap block so that, with count slots opened at position at,
    // the room left over is shared between both ends.
    void Recentre(std::size_t at, std::size_t count) noexcept
    {
        T* const front = m_heap.get() + CentredOffset(m_capacity, m_size + count);
        T* const back = front + at + count;
        // Whichever part moves towards the other goes second, so that neither overwrites
        // values of the other that have not moved yet.
        if (front <= m_data)
        {
            MoveWithinBlock(m_data, m_data + at, front);
            MoveWithinBlock(m_data + at, m_data + m_size, back);
        }
        else
        {
            MoveWithinBlock(m_data + at, m_data + m_size, back);
            MoveWithinBlock(m_data, m_data + at, front);
        }
        m_data = front;
    }

    // Copies [first, last) to destination, which may overlap it on either side.
    static void MoveWithinBlock(T* first, T* last, T* destination) noexcept
    {
        if (destination < first)
        {
            std::copy(first, last, destination);
        }
        else if (destination > first)
        {
            std::copy_backward(first, last, destination + (last - first));
        }
    }

    // Moves the values to a new heap block of the given capacity, with count slots opened at
    // position at. Opening them before the end centres the values in the new block; appending
    // (and reserving) keeps them at its front, where further appends find all the room. The
    // old block is released only after the new one was allocated, so a failed allocation
    // leaves the array as it was.
    void Reallocate(std::size_t capacity, std::size_t at, std::size_t count)
    {
        auto heap = std::make_unique<T[]>(capacity);
        T* const front = heap.get() + (at == m_size ? 0 : CentredOffset(capacity, m_size + count));
        std::copy(m_data, m_data + at, front);
        std::copy(m_data + at, m_data + m_size, front + at + count);
        m_heap = std::move(heap);
        m_data = front;
        m_capacity = capacity;
    }

    // The first value: in the heap block when there is one, else in the inline room. It and
    // the counts come first so that reading them brings the first inline values into the cache.
    T* m_data = nullptr;
    std::unique_ptr<T[]> m_heap;
    std::size_t m_size = 0;
    std::size_t m_capacity = N;
    std::array<T, N> m_inline{};
};

} // namespace Collections
