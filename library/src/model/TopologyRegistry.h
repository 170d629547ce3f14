#pragma once

#include <array>
#include <cstdint>

namespace Arealis
{

class Topology;

// The process-wide table of live topologies, indexed by identifier. Slot 0 is never used, so
// identifiers run from 1 to 255. One thread only.
class TopologyRegistry
{
public:
    static constexpr std::uint8_t NoSlot = 0;

    // The lowest free identifier, or NoSlot when all are taken.
    static std::uint8_t FindFreeSlot() noexcept;
    static void Register(std::uint8_t id, Topology* pTopology) noexcept;
    static void Unregister(std::uint8_t id) noexcept;
    static Topology* Get(std::uint8_t id) noexcept;

private:
    static std::array<Topology*, 256>& Slots() noexcept;
};

} // namespace Arealis
