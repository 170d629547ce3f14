#pragma once

// The intersection, the subtraction and the join of layers with their work split over several
// threads. Workers only read the operands and make free polygons, which they flatten into
// arrays of points in a slot of their own; the calling thread meanwhile adds the pieces of the
// slots that are complete to the result layer, in the order the single-thread operation creates them, so the result is the same
// polygons, nodes, parents and order whatever the thread count, and the merge overlaps the
// work instead of following it. A join makes the pieces of the other layer's polygons ahead of
// that order while the work runs, and puts the result layer's edit list in it at the end.
//
// Each returns false, with the pieces it merged taken out of the result layer again, when a
// worker failed: the caller then runs the single-thread operation, which fails the same way
// and leaves what it leaves. An exception of the progress callback stops the workers and
// propagates, likewise leaving the result layer as it was.

#include "overlay/LayerSetOperations.h"

#include <vector>

namespace Arealis::LayerOperations
{

// A polygon's edges are indexed while it is intersected with more candidates than this: on one
// thread through its edge index, switched on for that polygon's work alone; here through the
// height indexes of its long rings, built ahead, which cost so little that every such polygon
// of the operation can keep one while the threads share them.
inline constexpr std::size_t EdgeIndexThreshold = 50;
// Above this many candidates a join subtracts the united candidates once instead of
// partitioning the polygon candidate by candidate.
inline constexpr std::size_t PairwiseJoinLimit = 100;

// The room that the flat pieces waiting for the merge may take before only the work that the
// merge needs next may start: one slow item at the head of the merge order would otherwise let
// the other threads flatten a large part of the result, all of it waiting, unmerged, for that
// item. Large enough that on ordinary layers, whose pieces arrive about in merge order, the
// threads never wait for it.
inline constexpr std::size_t DefaultPieceBytesAhead = std::size_t{4} << 20;
// Sets that room for the operations started from now on (tests run them held back all the
// time with 0) and returns the one before.
std::size_t SetPieceBytesAhead(std::size_t bytes) noexcept;

// Wall-clock seconds of the phases of the last parallel operation of the calling thread, for
// the benchmarks: preparing (candidates, shared read caches, the split of the work), the work
// the threads share with the merge overlapping it, and the seconds the calling thread
// spent merging into the result layer (serial, but mostly during the work).
struct ParallelPhases
{
    double Prepare = 0.0;
    double Work = 0.0;
    double Merge = 0.0;
};
ParallelPhases& LastParallelPhases() noexcept;

bool IntersectInParallel(const PolygonList& polygons, const PolygonLayer& queried,
                         PolygonLayer& result, bool recordParents, const Progress& progress,
                         unsigned threads);

// The pieces of a join that go into the result, by the operand order of the operation.
struct JoinKeep
{
    bool Common = true;
    bool Enumerated = true; // the rests of the enumerated polygons
    bool Queried = true;    // the remainders of the queried polygons
};

bool JoinInParallel(const PolygonList& polygons, const PolygonLayer& queried,
                    const PolygonList& queriedPolygons, PolygonLayer& result, bool recordParents,
                    const Progress& progress, unsigned threads, JoinKeep keep = {});

bool SubstractInParallel(const PolygonList& polygons, const PolygonLayer& b, PolygonLayer& result,
                         bool recordParents, const Progress& progress, unsigned threads);

} // namespace Arealis::LayerOperations
