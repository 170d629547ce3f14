#pragma once

#include "Arealis/Topology.h"
#include "support/ParallelWork.h"

namespace Arealis::Detail
{

// The threads a topology's layer work may use: its setting resolved (0 asks for every usable
// core).
inline unsigned LayerThreadsOf(const Topology& topology)
{
    return Parallel::ResolveThreadCount(topology.GetLayerThreads());
}

} // namespace Arealis::Detail
