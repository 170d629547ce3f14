#pragma once

#include "ErrorBox.h"
#include "Platform.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Orvista::Testing
{

struct ShownBox
{
    std::string Text;
    std::string Caption;
    MessageBoxKind Kind;
};

// A platform that records the message boxes and answers the dialogs from scripts.
class FakePlatform : public IPlatform
{
public:
    std::vector<ShownBox> Boxes;
    std::deque<BoxAnswer> BoxAnswers;                   // OK once they run out
    std::deque<std::optional<std::string>> FileAnswers; // cancel once they run out
    std::deque<std::optional<Colour>> ColourAnswers;    // cancel once they run out
    std::deque<std::optional<std::string>> SaveAnswers; // cancel once they run out
    std::deque<std::optional<std::size_t>> ChoiceAnswers; // cancel once they run out
    std::deque<std::optional<Arealis::Precision>> PrecisionAnswers; // cancel once they run out
    std::vector<Arealis::Precision> PrecisionsShown; // the current values each dialog showed
    std::function<DialogResult(CSetOperationDlg&)> SetOperationDialog;
    std::uint32_t Now = 1000;
    std::uint32_t TickStep = 0; // how far the clock advances at every reading
    int WaitCursorDepth = 0;
    int WaitCursorShown = 0;

    BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption,
                             MessageBoxKind kind) override
    {
        Boxes.push_back({text, caption, kind});
        return Pop(BoxAnswers, BoxAnswer::Ok);
    }
    std::optional<std::string> AskOpenFileName(const std::string& filter) override
    {
        LastFilter = filter;
        return Pop(FileAnswers, std::optional<std::string>{});
    }
    std::optional<std::string> AskSaveFileName(const std::string& filter) override
    {
        LastFilter = filter;
        return Pop(SaveAnswers, std::optional<std::string>{});
    }
    std::optional<std::size_t> AskChoice(const std::string& prompt,
                                         const std::vector<std::string>& choices) override
    {
        LastPrompt = prompt;
        LastChoices = choices;
        return Pop(ChoiceAnswers, std::optional<std::size_t>{});
    }
    std::optional<Arealis::Precision> AskPrecision(const std::string&,
                                                   const Arealis::Precision& current) override
    {
        PrecisionsShown.push_back(current);
        return Pop(PrecisionAnswers, std::optional<Arealis::Precision>{});
    }
    std::optional<Colour> AskColour(Colour initial) override
    {
        LastInitialColour = initial;
        return Pop(ColourAnswers, std::optional<Colour>{});
    }
    void BeginWaitCursor() override
    {
        ++WaitCursorDepth;
        ++WaitCursorShown;
    }
    void EndWaitCursor() override { --WaitCursorDepth; }
    std::uint32_t TickCount() override { return Now += TickStep; }
    void ShowStatusText(const std::string& text) override { StatusText = text; }
    DialogResult RunSetOperationDialog(CSetOperationDlg& dialog) override
    {
        return SetOperationDialog ? SetOperationDialog(dialog) : DialogResult::Cancel;
    }

    std::string LastFilter;
    std::string StatusText;
    std::string LastPrompt;
    std::vector<std::string> LastChoices;
    std::optional<Colour> LastInitialColour;

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const ShownBox& box : Boxes)
        {
            texts.push_back(box.Text);
        }
        return texts;
    }

private:
    template <class T>
    static T Pop(std::deque<T>& answers, T fallback)
    {
        if (answers.empty())
        {
            return fallback;
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Runs an event the way the window system's dispatch does: an abandoned command ends quietly.
template <class Work>
void Dispatch(Work&& work)
{
    try
    {
        work();
    }
    catch (const CommandAbandoned&)
    {
    }
}

} // namespace Orvista::Testing
