#pragma once

#include <span>

namespace Orvista
{

// The state a command's menu item or button shows.
struct CommandState
{
    bool Enabled = false;
    bool Checked = false;
};

// A link of the command chain: the active view, the document, the main frame, the application.
class ICommandTarget
{
public:
    ICommandTarget() = default;
    ICommandTarget(const ICommandTarget&) = delete;
    ICommandTarget& operator=(const ICommandTarget&) = delete;
    virtual ~ICommandTarget() = default;

    // Runs the command and returns true when this target handles it.
    virtual bool OnCommand(int id) = 0;
    // Fills the state and returns true when this target handles the command. A handled
    // command is enabled unless the target says otherwise.
    virtual bool OnUpdateCommand(int id, CommandState& state) = 0;
};

// Offers the command to the targets in order until one handles it; false when none does.
bool RouteCommand(std::span<ICommandTarget* const> chain, int id);

// The state from the first target that handles the command; disabled when none does.
CommandState QueryCommandState(std::span<ICommandTarget* const> chain, int id);

} // namespace Orvista
