#pragma once

#include <memory>

namespace Collections
{

// Iteration protocol of every container: a new enumerator stands before the first item;
// MoveNext() advances and tells whether there is a current item; Current() is valid only
// while the last MoveNext() returned true; Reset() goes back before the first item. The
// caller owns enumerators, and the container must outlive them and stay unchanged while
// they are used unless the container says otherwise.
template <class T>
class IEnumerator
{
public:
    virtual ~IEnumerator() = default;

    virtual T Current() const = 0;
    virtual bool MoveNext() = 0;
    virtual void Reset() = 0;
    // A new enumerator over the same source and criterion, before the first item.
    virtual std::unique_ptr<IEnumerator<T>> Clone() const = 0;

protected:
    IEnumerator() = default;
    IEnumerator(const IEnumerator&) = default;
    IEnumerator& operator=(const IEnumerator&) = default;
};

} // namespace Collections
