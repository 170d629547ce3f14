#pragma once

#include "Platform.h"

#include <string>
#include <string_view>

namespace Orvista
{

// Thrown once the user has confirmed a reported error with OK: every level above passes it on
// unreported, and the event dispatch of the window system drops it, so the event that failed is
// abandoned as a whole. It does not derive from std::exception, so general handlers leave it
// alone.
struct CommandAbandoned
{
};

// The text of the common error box: the message, then "At:" and the location of the handler
// ("OrvistaDoc, line: 120") on an indented line of its own.
std::string FormatErrorReport(std::string_view message, std::string_view location);

// The location of a handler: "OrvistaDoc, line: 120".
std::string MakeHandlerLocation(std::string_view unit, int line);

// Reports the exception being handled in the common error box, with OK and Cancel and the
// error icon; call it from a catch block. OK throws CommandAbandoned; Cancel returns, so that
// the caller continues after its handler. A library exception shows its Message(), any other
// standard exception its what(), anything else "Unknown error.". A CommandAbandoned passes
// through unreported.
void ReportCurrentException(IPlatform& platform, std::string_view location);

// Runs work under the common error box; unit and line name the handler in the report.
template <class Work>
void RunGuarded(IPlatform& platform, std::string_view unit, int line, Work&& work)
{
    try
    {
        work();
    }
    catch (...)
    {
        ReportCurrentException(platform, MakeHandlerLocation(unit, line));
    }
}

} // namespace Orvista
