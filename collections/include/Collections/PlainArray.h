#pragma once

#include "Exceptions/ArgumentException.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace Collections
{

// A growable array of plain values (pointers, small structs). It grows by GrowthPercent per
// cent of its capacity (at least one slot) so that each use can trade memory for copies:
// 25 for the node pointer arrays of rings, 10 for edit lists, 50 otherwise.
// Get, Set, Insert and RemoveAt check their index; operator[] does not.
//
// The storage comes from std::malloc and grows with std::realloc: the values are trivially
// copyable, so the block may move as raw bytes, and a block that can grow in place is not
// copied at all. Slots beyond Count are never initialised, so reserving room costs no pass
// over it.
template <class T, int GrowthPercent = 50>
class PlainArray
{
    static_assert(std::is_trivially_copyable_v<T>, "PlainArray holds trivially copyable values");
    static_assert(std::is_default_constructible_v<T>, "PlainArray allocates default slots");
    static_assert(GrowthPercent >= 0, "The growth fraction cannot be negative");
    static_assert(alignof(T) <= alignof(std::max_align_t), "PlainArray storage comes from malloc");

public:
    using value_type = T;

    PlainArray() noexcept = default;

    // The copy has the source's capacity and elements.
    PlainArray(const PlainArray& other) : m_capacity(other.m_capacity), m_count(other.m_count)
    {
        if (other.m_data)
        {
            m_data = Allocate(m_capacity);
            CopyValues(other.m_data.get(), m_count, m_data.get());
        }
    }

    PlainArray(PlainArray&& other) noexcept
        : m_data(std::move(other.m_data)), m_capacity(std::exchange(other.m_capacity, 0)),
          m_count(std::exchange(other.m_count, 0))
    {
    }

    PlainArray& operator=(const PlainArray& other)
    {
        if (this != &other)
        {
            PlainArray copy(other);
            Swap(copy);
        }
        return *this;
    }

    PlainArray& operator=(PlainArray&& other) noexcept
    {
        PlainArray moved(std::move(other));
        Swap(moved);
        return *this;
    }

    ~PlainArray() = default;

    void Swap(PlainArray& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_count, other.m_count);
    }

    std::int32_t Count() const noexcept { return m_count; }
    std::int32_t Capacity() const noexcept { return m_capacity; }
    bool IsEmpty() const noexcept { return m_count == 0; }
    // Empties the array but keeps its storage for the next values (SetCount(0) releases it).
    void Clear() noexcept { m_count = 0; }

    T* Data() noexcept { return m_data.get(); }
    const T* Data() const noexcept { return m_data.get(); }

    T& operator[](std::int32_t i) noexcept { return m_data.get()[static_cast<std::size_t>(i)]; }
    const T& operator[](std::int32_t i) const noexcept
    {
        return m_data.get()[static_cast<std::size_t>(i)];
    }

    T* begin() noexcept { return m_data.get(); }
    T* end() noexcept { return m_data.get() + m_count; }
    const T* begin() const noexcept { return m_data.get(); }
    const T* end() const noexcept { return m_data.get() + m_count; }

    const T& Get(std::int32_t i) const
    {
        CheckIndex(i);
        return (*this)[i];
    }

    void Set(std::int32_t i, const T& value)
    {
        CheckIndex(i);
        (*this)[i] = value;
    }

    // Places value at i (0 .. Count; Count appends) and moves the following elements up.
    void Insert(std::int32_t i, const T& value)
    {
        if (i < 0 || i > m_count)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        const T copy = value; // value may live in this array's storage
        if (m_count == m_capacity)
        {
            Resize(GrownCapacity(std::max<std::int64_t>(1, GrowthOf(m_capacity))));
        }
        MoveValues(begin() + i, m_count - i, begin() + i + 1);
        (*this)[i] = copy;
        ++m_count;
    }

    void Append(const T& value)
    {
        const T copy = value; // value may live in this array's storage
        if (m_count == std::numeric_limits<std::int32_t>::max())
        {
            throw std::bad_alloc();
        }
        SetCount(m_count + 1);
        (*this)[m_count - 1] = copy;
    }

    // Removes the element at i; the storage is kept.
    void RemoveAt(std::int32_t i)
    {
        CheckIndex(i);
        MoveValues(begin() + i + 1, m_count - i - 1, begin() + i);
        --m_count;
    }

    // Makes room for at least capacity elements without changing them, so that appending up
    // to that many allocates nothing more.
    void Reserve(std::int32_t capacity)
    {
        if (capacity <= m_capacity)
        {
            return;
        }
        Resize(capacity);
    }

    // Resizes to n elements. Zero releases the storage; new slots are not initialised.
    void SetCount(std::int32_t n)
    {
        if (n < 0)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        if (n == 0)
        {
            m_data.reset();
            m_capacity = 0;
        }
        else if (!m_data)
        {
            m_data = Allocate(n);
            m_capacity = n;
        }
        else if (n > m_capacity)
        {
            Resize(std::max(n, GrownCapacity(GrowthOf(m_capacity))));
        }
        m_count = n;
    }

private:
    static std::int64_t GrowthOf(std::int32_t capacity) noexcept
    {
        return static_cast<std::int64_t>(capacity) * GrowthPercent / 100;
    }

    // The capacity after growing by growth slots; an array that cannot grow any further
    // reports the allocation failure rather than wrapping its counters.
    std::int32_t GrownCapacity(std::int64_t growth) const
    {
        const std::int64_t capacity = static_cast<std::int64_t>(m_capacity) + growth;
        constexpr std::int64_t limit = std::numeric_limits<std::int32_t>::max();
        if (m_count >= limit)
        {
            throw std::bad_alloc();
        }
        return static_cast<std::int32_t>(std::min(capacity, limit));
    }

    struct FreeStorage
    {
        void operator()(T* p) const noexcept { std::free(p); }
    };
    using Storage = std::unique_ptr<T, FreeStorage>;

    static std::size_t BytesFor(std::int32_t capacity) noexcept
    {
        // T is the element type, which may well be a pointer.
        return static_cast<std::size_t>(capacity) * sizeof(T); // NOLINT(bugprone-sizeof-expression)
    }

    static Storage Allocate(std::int32_t capacity)
    {
        void* block = std::malloc(BytesFor(capacity));
        if (block == nullptr)
        {
            throw std::bad_alloc();
        }
        return Storage(static_cast<T*>(block));
    }

    // Moves the storage to a block of capacity slots (at least Count), keeping the values; on
    // failure the array stays as it was.
    void Resize(std::int32_t capacity)
    {
        void* block = std::realloc(m_data.get(), BytesFor(capacity));
        if (block == nullptr)
        {
            throw std::bad_alloc();
        }
        static_cast<void>(m_data.release()); // realloc has taken or freed the old block
        m_data.reset(static_cast<T*>(block));
        m_capacity = capacity;
    }

    static void CopyValues(const T* from, std::int32_t count, T* to) noexcept
    {
        if (count > 0)
        {
            std::memcpy(to, from, BytesFor(count));
        }
    }

    // Like CopyValues, for ranges that may overlap.
    static void MoveValues(const T* from, std::int32_t count, T* to) noexcept
    {
        if (count > 0)
        {
            std::memmove(to, from, BytesFor(count));
        }
    }

    void CheckIndex(std::int32_t i) const
    {
        if (i < 0 || i >= m_count)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
    }

    Storage m_data;
    std::int32_t m_capacity = 0;
    std::int32_t m_count = 0;
};

} // namespace Collections
