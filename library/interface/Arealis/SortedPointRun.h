#pragma once

#include "Arealis/Point.h"

#include <cstddef>
#include <memory>
#include <span>

namespace Arealis
{

// A run of points made ready for NodeSet::GetNodes ahead of the lookup: snapped to the node
// grid, sorted into the node index's order and grouped into distinct positions. Preparing
// touches no node set, so a run can be prepared on one thread while another thread looks up
// the nodes of the run before it. The working room is kept from one Prepare to the next.
class SortedPointRun
{
public:
    // Runs from this long on are worth sorting: shorter ones cost more to sort than looking
    // their points up in turn costs.
    static constexpr std::size_t WorthwhileLength = 1024;

    SortedPointRun();
    ~SortedPointRun();
    SortedPointRun(SortedPointRun&&) noexcept;
    SortedPointRun& operator=(SortedPointRun&&) noexcept;
    SortedPointRun(const SortedPointRun&) = delete;
    SortedPointRun& operator=(const SortedPointRun&) = delete;

    // Prepares the run of points, snapped to a node grid of gridStep (that of the node set
    // that will take the run); false, leaving the run empty, when a coordinate is not finite
    // (such a point has no place in the index's order) or the run has 2^32 points or more.
    bool Prepare(std::span<const Point> points, double gridStep);
    // Empties the run, keeping its room.
    void Clear() noexcept;
    // Frees the room that preparing used beside the prepared run, which stays as it is: for
    // runs that wait a while before their lookup. The next Prepare makes the room again.
    void ReleaseWorkingRoom() noexcept;
    // Points of the prepared run (0 when it is empty).
    std::size_t Count() const noexcept;

private:
    friend class NodeSet;
    struct State;

    std::unique_ptr<State> m_state;
};

} // namespace Arealis
