#pragma once

#include "Collections/IEnumerator.h"
#include "Collections/OverallEnumerator.h"

#include <memory>
#include <utility>

namespace Collections
{

// Enumerates the elements of an array that a criterion admits, in index order.
// TCriterion is a copyable object with `bool Matches(const T& item) const`; it may throw for
// items it cannot judge, and the exception leaves the enumerator on the rejected item.
template <class TArray, class TCriterion>
class CriterionEnumerator final : public IEnumerator<typename TArray::value_type>
{
public:
    using T = typename TArray::value_type;

    CriterionEnumerator(const TArray& array, TCriterion criterion)
        : m_all(array), m_criterion(std::move(criterion))
    {
    }

    T Current() const override { return m_all.Current(); }

    bool MoveNext() override
    {
        while (m_all.MoveNext())
        {
            if (m_criterion.Matches(m_all.Current()))
            {
                return true;
            }
        }
        return false;
    }

    void Reset() override { m_all.Reset(); }

    std::unique_ptr<IEnumerator<T>> Clone() const override
    {
        auto clone = std::make_unique<CriterionEnumerator>(*this);
        clone->Reset();
        return clone;
    }

    const TCriterion& Criterion() const noexcept { return m_criterion; }

private:
    OverallEnumerator<TArray> m_all;
    TCriterion m_criterion;
};

} // namespace Collections
