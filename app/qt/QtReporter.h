#pragma once

#include "Shapefile/Reporter.h"

namespace Orvista
{

class IPlatform;

// Shows the shapefile reader's messages in message boxes: plain messages with an OK button,
// errors in the common error box with OK and Cancel.
class QtReporter final : public Arealis::IReporter
{
public:
    explicit QtReporter(IPlatform& platform) : m_platform(platform) {}

    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool ShowError(const std::string& text) override;

private:
    IPlatform& m_platform;
};

// The texts come with Windows line breaks; boxes here break lines at "\n".
std::string WithUnixLineBreaks(std::string text);

} // namespace Orvista
