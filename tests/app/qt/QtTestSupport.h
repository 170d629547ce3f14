#pragma once

#include "QtPlatform.h"

#include <QApplication>
#include <QStandardPaths>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace Orvista::Testing
{

// The application object of the tests: made before the first test and destroyed after the
// last one, while Qt's own global objects still exist. The offscreen platform needs no
// display; the settings go to Qt's test locations, away from the user's own.
QApplication& TestApplication();

// A first base class for fixtures with widgets among their members: the application exists
// before them.
struct WithApplication
{
    WithApplication() { TestApplication(); }
};

// Like WithApplication, and forgets the remembered "Editing Tools" before the window reads
// it, so that a fixture's window starts as a first start does whatever another test left.
struct WithFreshSettings
{
    WithFreshSettings();
};

// The desktop platform with its modal boxes and dialogs answered from scripts.
class ScriptedPlatform : public QtPlatform
{
public:
    std::vector<std::string> Boxes;
    std::deque<std::string> FileAnswers;
    std::deque<Colour> ColourAnswers;

    BoxAnswer ShowMessageBox(const std::string& text, const std::string& /*caption*/,
                             MessageBoxKind /*kind*/) override
    {
        Boxes.push_back(text);
        return BoxAnswer::Cancel;
    }
    std::optional<std::string> AskOpenFileName(const std::string& /*filter*/) override
    {
        if (FileAnswers.empty())
        {
            return std::nullopt;
        }
        std::string answer = FileAnswers.front();
        FileAnswers.pop_front();
        return answer;
    }
    std::optional<Colour> AskColour(Colour /*initial*/) override
    {
        if (ColourAnswers.empty())
        {
            return std::nullopt;
        }
        const Colour answer = ColourAnswers.front();
        ColourAnswers.pop_front();
        return answer;
    }
};

} // namespace Orvista::Testing
