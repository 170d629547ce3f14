#include "Arealis/LayerPolygonEnumerator.h"

#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

#include <utility>

namespace Arealis
{

namespace
{

constexpr int UninitializedLine = 90;

[[noreturn]] void ThrowUninitialized()
{
    throw Exceptions::InvalidOperationException(
        Exceptions::Messages::UninitializedEnumerator,
        Exceptions::MakeLocation("Collections/Enumerator", UninitializedLine));
}

std::unique_ptr<Collections::IEnumerator<Polygon*>>
CloneOf(const std::unique_ptr<Collections::IEnumerator<Polygon*>>& enumerator)
{
    return enumerator ? enumerator->Clone() : nullptr;
}

} // namespace

LayerPolygonEnumerator::LayerPolygonEnumerator(
    std::unique_ptr<Collections::IEnumerator<Polygon*>> pFirst,
    std::unique_ptr<Collections::IEnumerator<Polygon*>> pSecond) noexcept
    : m_first(std::move(pFirst)), m_second(std::move(pSecond))
{
}

Polygon* LayerPolygonEnumerator::Current() const
{
    const auto& part = m_inFirst ? m_first : m_second;
    if (!part)
    {
        ThrowUninitialized();
    }
    return part->Current();
}

bool LayerPolygonEnumerator::MoveNext()
{
    if (m_inFirst)
    {
        if (m_first && m_first->MoveNext())
        {
            return true;
        }
        m_inFirst = false;
    }
    return m_second && m_second->MoveNext();
}

void LayerPolygonEnumerator::Reset()
{
    if (m_first)
    {
        m_first->Reset();
    }
    if (m_second)
    {
        m_second->Reset();
    }
    m_inFirst = true;
}

std::unique_ptr<Collections::IEnumerator<Polygon*>> LayerPolygonEnumerator::Clone() const
{
    return std::make_unique<LayerPolygonEnumerator>(CloneOf(m_first), CloneOf(m_second));
}

} // namespace Arealis
