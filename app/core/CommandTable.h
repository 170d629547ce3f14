#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace Orvista
{

// The texts and keys of one command.
struct CommandInfo
{
    int Id = 0;
    // Menu text with '&' before the mnemonic and, after a tab, the accelerator shown.
    std::string_view MenuText;
    // Status-bar prompt, then '\n' and the tooltip; the tooltip alone for toolbar buttons.
    std::string_view Prompt;
    // Accelerators in portable text form ("Ctrl+N", "Shift+F6"), up to two.
    std::string_view Shortcut;
    std::string_view AlternateShortcut;
};

// Every command of the program, in no particular order.
std::span<const CommandInfo> AllCommands();
// The command's entry; throws std::out_of_range for an unknown id.
const CommandInfo& FindCommand(int id);

std::string_view StatusPrompt(const CommandInfo& info);
// The tooltip: the part of the prompt after '\n', the whole prompt without one, or the menu
// text without '&' and accelerator when there is no prompt.
std::string ToolTip(const CommandInfo& info);
// The menu text without the accelerator part.
std::string_view MenuLabel(const CommandInfo& info);

// A top-level menu; 0 in Items is a separator.
struct MenuInfo
{
    std::string_view Title;
    std::vector<int> Items;
};

// The menu bar as the program shows it. New, Save, Save As and the clipboard commands are left
// out of it (their commands stay reachable through their accelerators); the Edit menu holds
// Undo, Redo and Delete Polygon.
std::vector<MenuInfo> MainMenu();

// The buttons of a toolbar in order (0 is a separator) and which of them are hidden, by
// command id and by position.
struct ToolbarLayout
{
    std::vector<int> Buttons;
    std::vector<int> HiddenIds;
    bool HideFirstSeparator = false;
    std::vector<int> HiddenPositions;
};

ToolbarLayout FirstToolbar();
ToolbarLayout SecondToolbar();
// The second toolbar with the buttons of the editing modes and commands shown as well.
ToolbarLayout SecondToolbarWithEditingTools();

// The entries of the layout that remain visible, in order; 0 is a separator.
std::vector<int> VisibleButtons(const ToolbarLayout& layout);

} // namespace Orvista
