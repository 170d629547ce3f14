#pragma once

#include "Collections/Array.h"
#include "Collections/IEnumerator.h"
#include "Collections/PlainArray.h"
#include "Exceptions/ArgumentException.h"

#include <cstdint>
#include <memory>

namespace Collections
{

// Enumerates every element of an array in index order.
template <class TArray>
class OverallEnumerator;

// Over a PlainArray: works on the storage and count taken at creation, so it never sees
// elements appended later. The array must not reallocate its storage while the enumerator is
// in use. Current() outside the enumerated range (before the first MoveNext(), after Reset()
// or after MoveNext() returned false) throws ArgumentOutOfRangeException.
template <class T, int GrowthPercent>
class OverallEnumerator<PlainArray<T, GrowthPercent>> final : public IEnumerator<T>
{
public:
    explicit OverallEnumerator(const PlainArray<T, GrowthPercent>& array) noexcept
        : m_data(array.Data()), m_count(array.Count())
    {
    }

    T Current() const override
    {
        if (m_position < 0 || m_position >= m_count)
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        return m_data[m_position];
    }

    bool MoveNext() override
    {
        if (m_position < m_count)
        {
            ++m_position;
        }
        return m_position < m_count;
    }

    void Reset() override { m_position = -1; }

    std::unique_ptr<IEnumerator<T>> Clone() const override
    {
        return std::unique_ptr<IEnumerator<T>>(new OverallEnumerator(m_data, m_count));
    }

private:
    OverallEnumerator(const T* data, std::int32_t count) noexcept : m_data(data), m_count(count) {}

    const T* m_data;
    std::int32_t m_count;
    std::int32_t m_position = -1;
};

// Over an Array: reads through the array, so Current() checks the position against the
// array's present count. The number of elements to visit is taken at creation and again at
// each Reset(), so an enumerator sees elements appended before its last Reset().
template <class T, int Param>
class OverallEnumerator<Array<T, Param>> : public IEnumerator<T>
{
public:
    explicit OverallEnumerator(const Array<T, Param>& array) noexcept
        : m_array(&array), m_count(array.Count())
    {
    }

    T Current() const override
    {
        if (m_position < 0 || m_position >= m_array->Count())
        {
            throw Exceptions::ArgumentOutOfRangeException();
        }
        return (*m_array)[m_position];
    }

    bool MoveNext() override
    {
        if (m_position < m_count)
        {
            ++m_position;
        }
        return m_position < m_count;
    }

    void Reset() override
    {
        m_position = -1;
        m_count = m_array->Count();
    }

    std::unique_ptr<IEnumerator<T>> Clone() const override
    {
        return std::make_unique<OverallEnumerator>(*m_array);
    }

    const Array<T, Param>& Source() const noexcept { return *m_array; }

private:
    const Array<T, Param>* m_array;
    std::int32_t m_count;
    std::int32_t m_position = -1;
};

} // namespace Collections
