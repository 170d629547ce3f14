#include "ErrorBox.h"

#include "Exceptions/Exception.h"

#include <exception>

namespace Orvista
{

namespace
{

constexpr std::string_view UnknownError = "Unknown error.";

// The message of the exception being handled. Library exceptions come first: the argument
// exceptions derive from std::exception twice, so a handler for std::exception misses them.
std::string CurrentExceptionMessage()
{
    try
    {
        throw;
    }
    catch (const CommandAbandoned&)
    {
        throw;
    }
    catch (const Exceptions::Exception& e)
    {
        return e.Message();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    catch (...)
    {
        return std::string(UnknownError);
    }
}

} // namespace

std::string FormatErrorReport(std::string_view message, std::string_view location)
{
    std::string text(message.empty() ? UnknownError : message);
    text += "\nAt:\n    ";
    text += location;
    return text;
}

std::string MakeHandlerLocation(std::string_view unit, int line)
{
    return Exceptions::MakeLocation(unit, line);
}

void ReportCurrentException(IPlatform& platform, std::string_view location)
{
    const std::string message = CurrentExceptionMessage();
    if (platform.ShowMessageBox(FormatErrorReport(message, location), ApplicationTitle,
                                MessageBoxKind::OkCancelError) == BoxAnswer::Ok)
    {
        throw CommandAbandoned{};
    }
}

} // namespace Orvista
