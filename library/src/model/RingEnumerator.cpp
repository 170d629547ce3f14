#include "Arealis/RingEnumerator.h"

#include "Arealis/Ring.h"
#include "Exceptions/InvalidOperationException.h"
#include "Exceptions/Messages.h"

namespace Arealis
{

namespace
{

constexpr int CurrentLine = 34;

} // namespace

bool RingEnumerator::Admits(const Ring* pRing) const
{
    switch (m_mode)
    {
    case ExteriorRings:
        return pRing->IsExterior();
    case AssignedHoles:
        return pRing->HasFlag(Ring::Flags::Assigned) && !pRing->IsExterior();
    default:
        return true;
    }
}

bool RingEnumerator::MoveNext()
{
    if (m_start == nullptr || m_ended)
    {
        return false;
    }
    for (;;)
    {
        Ring* candidate = m_start;
        if (m_current != nullptr)
        {
            candidate = m_current->GetNext();
            if (candidate == nullptr || candidate == m_start ||
                candidate->HasFlag(Ring::Flags::IsFirst))
            {
                break;
            }
        }
        m_current = candidate;
        if (Admits(candidate))
        {
            return true;
        }
        if (m_mode == AssignedHoles)
        {
            break; // the run of holes ends at the first ring that is not one
        }
    }
    m_current = nullptr;
    m_ended = true;
    return false;
}

Ring* RingEnumerator::Current() const
{
    if (m_current == nullptr)
    {
        throw Exceptions::InvalidOperationException(
            Exceptions::Messages::MoveNextNotCalled,
            Exceptions::MakeLocation("RingEnumerator", CurrentLine));
    }
    return m_current;
}

} // namespace Arealis
