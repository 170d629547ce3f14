#pragma once

#include "Shapefile/Reporter.h"

#include <string>
#include <vector>

// Records what the reader reports and answers its error boxes with a preset button.
class RecordingReporter final : public Arealis::IReporter
{
public:
    explicit RecordingReporter(bool answerOk = true) : m_answerOk(answerOk) {}

    void ShowMessage(const std::string& text, const std::string&) override
    {
        Messages.push_back(text);
    }
    bool ShowError(const std::string& text) override
    {
        Errors.push_back(text);
        return m_answerOk;
    }

    std::vector<std::string> Messages;
    std::vector<std::string> Errors;

private:
    bool m_answerOk;
};
