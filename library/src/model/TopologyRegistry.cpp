#include "model/TopologyRegistry.h"

namespace Arealis
{

std::array<Topology*, 256>& TopologyRegistry::Slots() noexcept
{
    static std::array<Topology*, 256> slots{};
    return slots;
}

std::uint8_t TopologyRegistry::FindFreeSlot() noexcept
{
    const auto& slots = Slots();
    for (std::size_t id = 1; id < slots.size(); ++id)
    {
        if (slots[id] == nullptr)
        {
            return static_cast<std::uint8_t>(id);
        }
    }
    return NoSlot;
}

void TopologyRegistry::Register(std::uint8_t id, Topology* pTopology) noexcept
{
    Slots()[id] = pTopology;
}

void TopologyRegistry::Unregister(std::uint8_t id) noexcept
{
    Slots()[id] = nullptr;
}

Topology* TopologyRegistry::Get(std::uint8_t id) noexcept
{
    return id == NoSlot ? nullptr : Slots()[id];
}

} // namespace Arealis
