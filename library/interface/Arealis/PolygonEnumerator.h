#pragma once

#include "Collections/IEnumerator.h"

#include <memory>

namespace Arealis
{

class Polygon;

// A value that owns one enumerator of polygons, so that query results can be kept and passed
// around like plain values. Copies clone the held enumerator (positioned before the first
// item). An empty holder enumerates nothing.
class PolygonEnumerator
{
public:
    PolygonEnumerator() noexcept = default;
    explicit PolygonEnumerator(
        std::unique_ptr<Collections::IEnumerator<Polygon*>> pEnumerator) noexcept
        : m_enumerator(std::move(pEnumerator))
    {
    }

    PolygonEnumerator(const PolygonEnumerator& other)
        : m_enumerator(other.m_enumerator ? other.m_enumerator->Clone() : nullptr)
    {
    }
    PolygonEnumerator& operator=(const PolygonEnumerator& other)
    {
        if (this != &other)
        {
            m_enumerator.reset();
            if (other.m_enumerator)
            {
                m_enumerator = other.m_enumerator->Clone();
            }
        }
        return *this;
    }
    PolygonEnumerator(PolygonEnumerator&&) noexcept = default;
    PolygonEnumerator& operator=(PolygonEnumerator&&) noexcept = default;
    ~PolygonEnumerator() = default;

    // False for an empty holder.
    bool MoveNext() { return m_enumerator && m_enumerator->MoveNext(); }
    // Throws InvalidOperationException "The enumerator is not initialized." for an empty
    // holder.
    Polygon* Current() const;
    void Reset()
    {
        if (m_enumerator)
        {
            m_enumerator->Reset();
        }
    }

    bool IsEmpty() const noexcept { return !m_enumerator; }
    // The held enumerator (still owned by the holder), for operations that take one.
    Collections::IEnumerator<Polygon*>* GetEnumerator() const noexcept
    {
        return m_enumerator.get();
    }
    // Hands the held enumerator over to the caller; the holder becomes empty.
    std::unique_ptr<Collections::IEnumerator<Polygon*>> Release() noexcept
    {
        return std::move(m_enumerator);
    }

private:
    std::unique_ptr<Collections::IEnumerator<Polygon*>> m_enumerator;
};

} // namespace Arealis
