#include "Shapefile/Reporter.h"

#include <iostream>

namespace Arealis
{

namespace
{

// Message texts use the "\r\n" line breaks of message boxes; a terminal wants plain ones.
std::string WithPlainLineBreaks(std::string text)
{
    std::string::size_type position = 0;
    while ((position = text.find("\r\n", position)) != std::string::npos)
    {
        text.erase(position, 1);
    }
    return text;
}

} // namespace

void StderrReporter::ShowMessage(const std::string& text, const std::string& caption)
{
    std::cerr << (caption.empty() ? std::string() : caption + ": ") << WithPlainLineBreaks(text)
              << '\n';
}

bool StderrReporter::ShowError(const std::string& text)
{
    std::cerr << "error: " << WithPlainLineBreaks(text) << '\n';
    return true;
}

} // namespace Arealis
