#pragma once

#include <string>

namespace Arealis
{

// Where the shapefile reader and the regression run report to the user: a message box in the
// desktop program, standard error for headless callers.
class IReporter
{
public:
    IReporter() = default;
    IReporter(const IReporter&) = delete;
    IReporter& operator=(const IReporter&) = delete;
    virtual ~IReporter() = default;

    // A message with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // An error with OK and Cancel buttons and the error icon. True for OK: the error is passed
    // on to the caller; false for Cancel: the caller continues after it.
    virtual bool ShowError(const std::string& text) = 0;
};

// Prints to standard error and answers OK, so errors reach the caller as exceptions.
class StderrReporter final : public IReporter
{
public:
    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool ShowError(const std::string& text) override;
};

} // namespace Arealis
