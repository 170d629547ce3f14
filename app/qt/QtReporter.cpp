#include "QtReporter.h"

#include "Platform.h"

namespace Orvista
{

std::string WithUnixLineBreaks(std::string text)
{
    for (auto found = text.find("\r\n"); found != std::string::npos;
         found = text.find("\r\n", found))
    {
        text.erase(found, 1);
    }
    return text;
}

void QtReporter::ShowMessage(const std::string& text, const std::string& caption)
{
    m_platform.ShowMessageBox(WithUnixLineBreaks(text), caption, MessageBoxKind::Ok);
}

bool QtReporter::ShowError(const std::string& text)
{
    return m_platform.ShowMessageBox(WithUnixLineBreaks(text), ApplicationTitle,
                                     MessageBoxKind::OkCancelError) == BoxAnswer::Ok;
}

} // namespace Orvista
