#pragma once

#include "ErrorBox.h"
#include "Platform.h"

namespace Orvista
{

// The outermost level of every event that reaches the program's logic: Qt's event loop must
// not see exceptions. An event abandoned after an error report ends quietly; anything that
// escaped the handlers' own error boxes is reported here.
template <class Work>
void DispatchEvent(IPlatform& platform, Work&& work) noexcept
{
    try
    {
        work();
    }
    catch (const CommandAbandoned&)
    {
    }
    catch (...)
    {
        try
        {
            ReportCurrentException(platform, "Orvista");
        }
        catch (...) // NOLINT(bugprone-empty-catch): the event ends here either way
        {
        }
    }
}

} // namespace Orvista
