#include "CommandRouting.h"

namespace Orvista
{

bool RouteCommand(std::span<ICommandTarget* const> chain, int id)
{
    for (ICommandTarget* pTarget : chain)
    {
        if (pTarget != nullptr && pTarget->OnCommand(id))
        {
            return true;
        }
    }
    return false;
}

CommandState QueryCommandState(std::span<ICommandTarget* const> chain, int id)
{
    for (ICommandTarget* pTarget : chain)
    {
        CommandState state{true, false};
        if (pTarget != nullptr && pTarget->OnUpdateCommand(id, state))
        {
            return state;
        }
    }
    return {};
}

} // namespace Orvista
