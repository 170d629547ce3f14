#include "Arealis/PolygonEnumerator.h"

#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

namespace Arealis
{

namespace
{

constexpr int CurrentLine = 41;

} // namespace

Polygon* PolygonEnumerator::Current() const
{
    if (!m_enumerator)
    {
        throw Exceptions::InvalidOperationException(
            Exceptions::Messages::EnumeratorNotInitialized,
            Exceptions::MakeLocation("PolygonEnumerator", CurrentLine));
    }
    return m_enumerator->Current();
}

} // namespace Arealis
