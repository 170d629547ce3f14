#pragma once

// The layer set operations behind Topology::Union, Intersection, Substract and Join, and the
// pieces they share. Each fills a result layer, polygon by polygon: the spatial index of one
// operand finds the polygons whose bounds meet a polygon of the other, and the polygon overlay
// combines those pairs.

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Collections/PlainArray.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace Arealis::LayerOperations
{

using Progress = Topology::LayerProgress;
using PolygonList = std::vector<Polygon*>;

void Intersect(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, bool recordParents,
               const Progress& progress);
void Substract(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, bool recordParents,
               const Progress& progress);
// The pieces of a join that go into its result: the common parts of a polygon of A and one
// of B, and the parts of A's and of B's polygons outside the other layer. The derived
// operations keep some only; they are built alike, so that the kept ones are the same.
struct JoinPieces
{
    bool Common = true;
    bool OutsideB = true; // parts of A's polygons
    bool OutsideA = true; // parts of B's polygons
};

void Join(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, bool recordParents,
          const Progress& progress, JoinPieces kept = {});
// Topology::Join with only the kept pieces in the result layer it creates.
PolygonLayer* JoinKeeping(Topology& topology, PolygonLayer* pA, PolygonLayer* pB,
                          bool recordParents, const Progress& progress, JoinPieces kept);
// Commits the layer with more polygons first; records no parents.
void Unite(PolygonLayer& a, PolygonLayer& b, PolygonLayer& result, const Progress& progress);

// --- Shared pieces ----------------------------------------------------------------------------

// The operations combine committed polygons only: a polygon that its layer's commit refused
// (or one being edited) has not been validated, and overlaying it gives no meaningful answer.
// Callers find the polygons left out as those the layer still edits.
//
// The committed polygons of the layer. Throws InvalidOperationException "Uninitialized
// enumerator." when the layer hands out no enumeration.
PolygonList PolygonsOf(const PolygonLayer& layer);
// The committed polygons of the layer whose bounds meet the polygon's bounds, in the query's
// order.
PolygonList Candidates(const PolygonLayer& layer, const Polygon& polygon);
// A copy of source in the result layer, with the given parents when recordParents is set.
void AddResult(PolygonLayer& result, const Polygon& source, bool recordParents,
               std::initializer_list<Polygon*> parents);
// Records the parents of a polygon already in the result layer.
void RecordParents(PolygonLayer& result, Polygon* added, std::initializer_list<Polygon*> parents);

// Whether uniting the candidates and subtracting the union once is expected to be cheaper
// than subtracting them one by one from a shrinking remainder.
bool ShouldUniteFirst(const Polygon& polygon, const PolygonList& candidates);
// With the thread count left to the library (0, the default), a layer operation on small
// operands runs on one thread: fewer nodes than NodesForThreads together, and one operand of
// fewer polygons than PolygonsForThreads. Such an operation takes some tens of milliseconds,
// which more threads would cut by a few, while their heaps, the pieces waiting for the merge
// and the working room of the largest polygons (each thread has its own) would add a third or
// more to its peak memory. An operand of few polygons over the other's area has large ones;
// two operands of many small polygons (a coverage of 10,000 cells against a mesh) split at
// little cost and gain more. A count given explicitly is kept.
inline constexpr std::int64_t NodesForThreads = std::int64_t{1} << 17;
inline constexpr std::int32_t PolygonsForThreads = 1 << 12;
// The threads a layer operation of items work items on the operand layers a and b splits its
// work across: one for a single item or small operands (above), otherwise the setting of the
// result's topology.
unsigned OperationThreads(const PolygonLayer& result, std::size_t items, const PolygonLayer& a,
                          const PolygonLayer& b);
// The threads that the unions of candidates inside an operation may use: the operation's
// setting (that of its result's topology). The candidates' own layer may allow more; a run
// asked for one thread must not start others.
unsigned UnionThreads(const PolygonLayer& result);
// The polygon without the union of the candidates, united on the given number of threads;
// null when nothing was cut off.
std::unique_ptr<Polygon> SubstractUnited(Polygon& polygon, const PolygonList& candidates,
                                         unsigned threads);
// The polygon without each candidate in turn; null without candidates.
std::unique_ptr<Polygon> SubstractOneByOne(Polygon& polygon, const PolygonList& candidates);

// Keeps a polygon's edge index switched on for the scope when it has many candidates, and
// switches it off at the end, also when an exception leaves the scope.
class EdgeIndexScope
{
public:
    EdgeIndexScope(Polygon& polygon, bool on);
    ~EdgeIndexScope();
    EdgeIndexScope(const EdgeIndexScope&) = delete;
    EdgeIndexScope& operator=(const EdgeIndexScope&) = delete;

private:
    Polygon& m_polygon;
};

// Counts finished work and reports it to the optional progress callback.
class ProgressCounter
{
public:
    ProgressCounter(const Progress& progress, std::int64_t total);

    void Step(std::int64_t work = 1);
    // For work whose extent becomes known on the way (the union's passes).
    void AddToTotal(std::int64_t work);
    void Finish();

private:
    void Report() const;

    const Progress& m_progress;
    std::int64_t m_done = 0;
    std::int64_t m_total;
};

} // namespace Arealis::LayerOperations
