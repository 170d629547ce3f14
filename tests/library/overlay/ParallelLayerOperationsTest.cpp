#include "Arealis/DerivedLayerOperations.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/NodeSet.h"
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "Collections/OverallEnumerator.h"
#include "Collections/PlainArray.h"
#include "PolygonQueries.h"
#include "model/FreeNodeStore.h"
#include "model/ModelTestSupport.h"
#include "overlay/ParallelLayerOperations.h"
#include "support/ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;
using namespace Arealis::Testing;

namespace
{

// A coverage of perSide x perSide quadrilaterals whose inner grid points are moved by up to a
// quarter of the pitch, reproducibly.
std::vector<Points> JitteredGrid(int perSide, double pitch, double offset, std::uint32_t seed)
{
    std::vector<std::vector<Point>> corners(perSide + 1, std::vector<Point>(perSide + 1));
    for (int i = 0; i <= perSide; ++i)
    {
        for (int j = 0; j <= perSide; ++j)
        {
            const auto jitter = [&seed, pitch]
            {
                seed = seed * 1664525U + 1013904223U;
                return (static_cast<double>(seed >> 8) / (1U << 24) - 0.5) * pitch / 2;
            };
            const bool inner = i > 0 && j > 0 && i < perSide && j < perSide;
            const double dx = inner ? jitter() : 0.0;
            const double dy = inner ? jitter() : 0.0;
            corners[i][j] = {offset + i * pitch + dx, offset + j * pitch + dy};
        }
    }
    std::vector<Points> cells;
    for (int i = 0; i < perSide; ++i)
    {
        for (int j = 0; j < perSide; ++j)
        {
            cells.push_back(
                {corners[i][j], corners[i][j + 1], corners[i + 1][j + 1], corners[i + 1][j]});
        }
    }
    return cells;
}

// Regular polygons of the given vertex count and radius 0.45 on a grid of pitch 1 shifted by
// offset: two such layers apart by half a pitch cross each other, with enough edges for the
// overlays to search their crossings by the plane sweep.
std::vector<Points> Circles(int perSide, int vertices, double offset)
{
    std::vector<Points> circles;
    for (int i = 0; i < perSide; ++i)
    {
        for (int j = 0; j < perSide; ++j)
        {
            Points circle;
            for (int k = 0; k < vertices; ++k)
            {
                const double angle = -2.0 * 3.141592653589793 * k / vertices; // clockwise
                circle.push_back({offset + i + 0.45 * std::cos(angle),
                                  offset + j + 0.45 * std::sin(angle)});
            }
            circles.push_back(circle);
        }
    }
    return circles;
}

// A clockwise regular polygon of many vertices around (x, y).
Points Disc(double x, double y, double radius, int vertices)
{
    Points disc;
    for (int k = 0; k < vertices; ++k)
    {
        const double angle = -2.0 * 3.141592653589793 * k / vertices;
        disc.push_back({x + radius * std::cos(angle), y + radius * std::sin(angle)});
    }
    return disc;
}

// Overlapping boxes of one layer, so that a candidate's remainder matters.
std::vector<Points> OverlappingBoxes(int count, double extent)
{
    std::vector<Points> boxes;
    for (int k = 0; k < count; ++k)
    {
        const double x = (k * 37 % 101) * extent / 101;
        const double y = (k * 61 % 103) * extent / 103;
        boxes.push_back(Box(x, y, x + extent / 5, y + extent / 7));
    }
    return boxes;
}

// Every polygon of a result in its order: each ring's node positions, exactly, with each node
// numbered at its first use (so that shared nodes show), and the parents by operand and place.
std::string Dump(const PolygonLayer& result, const std::vector<const PolygonLayer*>& operands)
{
    std::map<const Polygon*, std::string> names;
    for (std::size_t l = 0; l < operands.size(); ++l)
    {
        const std::vector<Polygon*> polygons = PolygonsOf(*operands[l]);
        for (std::size_t i = 0; i < polygons.size(); ++i)
        {
            names[polygons[i]] = std::to_string(l) + ":" + std::to_string(i);
        }
    }
    std::map<const Node*, std::size_t> nodes;
    std::ostringstream out;
    out << std::hexfloat;
    for (Polygon* polygon : PolygonsOf(result))
    {
        for (const Ring* ring : RingsOf(*polygon))
        {
            for (std::int32_t i = 0; i < ring->Count(); ++i)
            {
                const Node* node = ring->GetNode(i);
                const auto [at, added] = nodes.emplace(node, nodes.size());
                out << at->second << '(' << node->Position.X << ',' << node->Position.Y << ')';
            }
            out << ';';
        }
        PolygonEnumerator parents = result.GetParents(polygon);
        while (parents.MoveNext())
        {
            out << ' ' << names[parents.Current()];
        }
        out << '\n';
    }
    return out.str();
}

using Operation = std::function<PolygonLayer*(Topology&, PolygonLayer*, PolygonLayer*)>;

class ParallelLayerOperationsTest : public ::testing::Test
{
protected:
    PolygonLayer& MakeLayer(const std::vector<Points>& rings, bool allowOverlap = false)
    {
        return MakeLayerIn(*m_operands, rings, allowOverlap);
    }

    static PolygonLayer& MakeLayerIn(Topology& topology, const std::vector<Points>& rings,
                                     bool allowOverlap = false)
    {
        PolygonLayer& layer = *topology.CreatePolygonLayer(allowOverlap);
        for (const Points& ring : rings)
        {
            AddRings(*layer.CreatePolygon(), {ring});
        }
        layer.Commit();
        return layer;
    }

    // The operation's result with the given thread count, in a topology of its own.
    std::string Run(const Operation& operation, PolygonLayer& a, PolygonLayer& b, int threads)
    {
        ScopedTopology results;
        results->SetLayerThreads(threads);
        const PolygonLayer* result = operation(*results, &a, &b);
        return Dump(*result, {&a, &b});
    }

    // The operation's result in a new layer of A's own topology, committed there as the tool
    // commits it. Its polygons are deleted again afterwards, which must leave the topology's
    // nodes as they were: a reference lost or counted twice while the workers read A shows.
    static std::string RunInTopologyOfA(const Operation& operation, PolygonLayer& a,
                                        PolygonLayer& b, int threads)
    {
        Topology& topology = *a.GetTopology();
        const std::int32_t nodes = topology.GetNodeSet().Count();
        topology.SetLayerThreads(threads);
        PolygonLayer& result = *operation(topology, &a, &b);
        std::string dump = Dump(result, {&a, &b});
        try
        {
            result.Commit();
        }
        catch (const PolygonsOverlapException&) // the pieces of overlapping operands
        {
        }
        result.ClearAllParents();
        result.DeletePolygons(PolygonsOf(result));
        EXPECT_EQ(topology.GetNodeSet().Count(), nodes);
        topology.SetLayerThreads(1);
        return dump;
    }

    ScopedTopology m_operands;
};

// The six two-layer operations by name, parents recorded where the operation records them.
std::map<std::string, Operation> TwoLayerOperations()
{
    return {
        {"intersection", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return t.Intersection(a, b, true); }},
        {"subtraction", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return t.Substract(a, b, true); }},
        {"join", [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Join(a, b, true); }},
        {"union", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return t.Union(a, b, false); }},
        {"identity", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return Identity(t, a, b, true); }},
        {"symmetric difference", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return SymmetricDifference(t, a, b, true); }},
    };
}

// Every polygon of both layers united into one, its parents the polygons in their order.
PolygonLayer* UniteBoth(Topology& topology, PolygonLayer* pA, PolygonLayer* pB)
{
    Collections::PlainArray<Polygon*> polygons;
    for (const PolygonLayer* layer : {pA, pB})
    {
        for (Polygon* polygon : PolygonsOf(*layer))
        {
            polygons.Append(polygon);
        }
    }
    Collections::OverallEnumerator<Collections::PlainArray<Polygon*>> enumerator(polygons);
    PolygonLayer* result = topology.CreatePolygonLayer(false);
    Overlay::UnitePolygons(&enumerator, *result, true);
    return result;
}

TEST_F(ParallelLayerOperationsTest, EveryThreadCountGivesTheSinglePolygonsNodesParentsAndOrder)
{
    PolygonLayer& coverage = MakeLayer(JitteredGrid(14, 1.0, 0.0, 7));
    PolygonLayer& shifted = MakeLayer(JitteredGrid(11, 1.3, 0.35, 11));
    PolygonLayer& overlapping = MakeLayer(OverlappingBoxes(60, 14.0), true);
    PolygonLayer& circles = MakeLayer(Circles(5, 150, 0.0));
    PolygonLayer& shiftedCircles = MakeLayer(Circles(5, 150, 0.5));
    // Polygons large enough that the subtraction runs them one at a time.
    PolygonLayer& largeCircles = MakeLayer(Circles(2, 8200, 0.0));
    // One long ring over the coverage: the workers test the cells inside it against it at once,
    // and an intersection or join that enumerates it alone runs its pairs on every thread.
    PolygonLayer& discLayer = MakeLayer({Disc(7.0, 7.0, 6.0, 4 * Ring::HeightIndexThreshold)});
    // A few large overlapping polygons, each over more cells than a join takes pair by pair:
    // items of single polygons, whose edge indexes and unions of candidates differ in size.
    PolygonLayer& discs = MakeLayer({Disc(5.0, 5.0, 5.5, 1200), Disc(9.0, 8.0, 4.0, 400),
                                     Disc(4.0, 10.0, 3.0, 800), Disc(10.5, 3.5, 2.5, 200),
                                     Disc(7.0, 7.0, 6.5, 600)},
                                    true);
    const std::map<std::string, Operation> operations = TwoLayerOperations();
    const std::vector<std::pair<PolygonLayer*, PolygonLayer*>> pairs = {
        {&coverage, &shifted}, {&shifted, &coverage}, {&overlapping, &coverage},
        {&coverage, &overlapping}, {&coverage, &coverage}, {&circles, &shiftedCircles},
        {&coverage, &discLayer}, {&largeCircles, &shiftedCircles}, {&discs, &coverage},
        {&coverage, &discs}};
    for (const auto& [name, operation] : operations)
    {
        for (std::size_t p = 0; p < pairs.size(); ++p)
        {
            const std::string single = Run(operation, *pairs[p].first, *pairs[p].second, 1);
            // Only a layer without itself can leave nothing.
            ASSERT_TRUE(!single.empty() || pairs[p].first == pairs[p].second)
                << name << ", pair " << p;
            for (const int threads : {2, 3})
            {
                EXPECT_EQ(Run(operation, *pairs[p].first, *pairs[p].second, threads), single)
                    << name << ", pair " << p << ", " << threads << " threads";
            }
            // Held back all the time: only the work that the merge needs next starts.
            const std::size_t room = LayerOperations::SetPieceBytesAhead(0);
            const std::string heldBack = Run(operation, *pairs[p].first, *pairs[p].second, 2);
            LayerOperations::SetPieceBytesAhead(room);
            EXPECT_EQ(heldBack, single) << name << ", pair " << p << ", held back";
        }
    }
}

// Left to the library, the thread count of an operation on small layers is one (threads would
// add more to its memory than they save of its time), above that every core; a count given
// explicitly is kept. Only the parallel operations time their phases.
TEST_F(ParallelLayerOperationsTest, SmallLayersRunOnOneThreadUnlessACountIsGiven)
{
    PolygonLayer& coverage = MakeLayer(JitteredGrid(14, 1.0, 0.0, 7));
    PolygonLayer& shifted = MakeLayer(JitteredGrid(11, 1.3, 0.35, 11));
    const std::map<std::string, Operation> operations = TwoLayerOperations();
    const auto runsOnThreads =
        [&](const std::string& name, PolygonLayer& a, PolygonLayer& b, int threads)
    {
        LayerOperations::LastParallelPhases() = {};
        Run(operations.at(name), a, b, threads);
        return LayerOperations::LastParallelPhases().Work > 0.0;
    };
    for (const std::string name : {"intersection", "subtraction", "join"})
    {
        EXPECT_FALSE(runsOnThreads(name, coverage, shifted, 0)) << name;
        EXPECT_TRUE(runsOnThreads(name, coverage, shifted, 2)) << name;
    }
    if (Topology::ResolveLayerThreads(0) > 1)
    {
        // The nodes of both operands count: a disc just short of the bound over the cells.
        const auto discNodes = static_cast<int>(LayerOperations::NodesForThreads) - 100;
        PolygonLayer& disc = MakeLayer({Disc(7.0, 7.0, 6.0, discNodes)});
        EXPECT_TRUE(runsOnThreads("intersection", disc, coverage, 0));
        // Two layers of many small polygons each split however few their nodes.
        const int side = 1 << 6; // side * side reaches PolygonsForThreads
        PolygonLayer& fine = MakeLayer(JitteredGrid(side, 14.0 / side, 0.0, 3));
        PolygonLayer& fineShifted = MakeLayer(JitteredGrid(side, 14.0 / side, 0.1, 5));
        EXPECT_TRUE(runsOnThreads("intersection", fine, fineShifted, 0));
        EXPECT_FALSE(runsOnThreads("intersection", fine, coverage, 0));
    }
}

// A join splits the enumerated polygons over the threads by the centres of their bounds:
// polygons of one centre (a column), fewer polygons than threads, and a layer of one
// polygon each give every thread count the one-thread result.
TEST_F(ParallelLayerOperationsTest, JoinsOfAColumnOrOfFewerPolygonsThanThreadsDependOnNoThreadCount)
{
    PolygonLayer& coverage = MakeLayer(JitteredGrid(8, 1.0, 0.0, 5));
    std::vector<Points> column;
    for (int k = 0; k < 6; ++k)
    {
        const double y = 0.4 + 1.2 * k;
        column.push_back(Box(2.5, y, 5.5, y + 0.9));
    }
    PolygonLayer& columnLayer = MakeLayer(column);
    PolygonLayer& pair = MakeLayer({column[1], column[4]});
    PolygonLayer& single = MakeLayer({Disc(4.0, 4.0, 2.2, 90)});
    std::map<std::string, Operation> operations = TwoLayerOperations();
    for (const char* name : {"intersection", "subtraction", "union"})
    {
        operations.erase(name);
    }
    for (const auto& [name, operation] : operations)
    {
        for (PolygonLayer* layer : {&columnLayer, &pair, &single})
        {
            const std::string one = Run(operation, *layer, coverage, 1);
            ASSERT_FALSE(one.empty()) << name;
            for (const int threads : {2, 3, 5})
            {
                EXPECT_EQ(Run(operation, *layer, coverage, threads), one)
                    << name << ", " << layer->GetPolygonCount() << " polygons, " << threads
                    << " threads";
            }
        }
    }
}

// With the result in the first operand's topology, the merge shares the operand's nodes and
// adds nodes to its node set while the workers read the operands' rings: the same polygons,
// nodes and parents as the one-thread result in a topology of its own, on one thread and two.
TEST_F(ParallelLayerOperationsTest, AResultInTheFirstOperandsTopologyIsTheSameAsInItsOwn)
{
    PolygonLayer& coverage = MakeLayer(JitteredGrid(12, 1.0, 0.0, 7));
    PolygonLayer& shifted = MakeLayer(JitteredGrid(9, 1.3, 0.35, 11));
    PolygonLayer& circles = MakeLayer(Circles(4, 150, 0.0));
    PolygonLayer& largeCircles = MakeLayer(Circles(2, 8200, 0.0));
    PolygonLayer& discs = MakeLayer(
        {Disc(5.0, 5.0, 5.5, 1200), Disc(9.0, 8.0, 4.0, 400), Disc(4.0, 10.0, 3.0, 800)}, true);
    // B in a topology of its own.
    ScopedTopology others;
    PolygonLayer& shiftedCircles = MakeLayerIn(*others, Circles(4, 150, 0.5));
    // Result rings with thousands of vertices of each: A's shared, B's looked up together.
    PolygonLayer& shiftedLargeCircles = MakeLayerIn(*others, Circles(2, 8200, 0.5));
    // The same with B in A's topology, as the command-line tool reads it: the merge shares
    // B's nodes too, counting their references up while the workers read B's rings.
    PolygonLayer& shiftedLargeCirclesHere = MakeLayer(Circles(2, 8200, 0.5));
    std::map<std::string, Operation> operations = TwoLayerOperations();
    operations.emplace("unite", UniteBoth);
    const std::vector<std::pair<PolygonLayer*, PolygonLayer*>> pairs = {
        {&largeCircles, &shiftedLargeCircles}, {&largeCircles, &shiftedLargeCirclesHere},
        {&coverage, &shifted}, {&circles, &shiftedCircles}, {&discs, &coverage}};
    for (const auto& [name, operation] : operations)
    {
        for (std::size_t p = 0; p < pairs.size(); ++p)
        {
            const std::string single = Run(operation, *pairs[p].first, *pairs[p].second, 1);
            // One thread makes the result rings directly: the large pairs' mix of nodes.
            for (const int threads : p < 2 ? std::vector{1, 2} : std::vector{2})
            {
                EXPECT_EQ(RunInTopologyOfA(operation, *pairs[p].first, *pairs[p].second, threads),
                          single)
                    << name << ", pair " << p << ", " << threads << " threads";
            }
        }
    }
}

TEST_F(ParallelLayerOperationsTest,
       AQueriedLayerMostlyOutsideKeepsItsOrderAndLeavesNothingWhenStopped)
{
    // Cells outside the discs, copied ahead of the merge in many blocks, between cells whose
    // remainders end the discs' chains.
    PolygonLayer& discs = MakeLayer(
        {Disc(8.0, 9.0, 4.0, 300), Disc(27.0, 22.0, 5.0, 400), Disc(30.0, 6.0, 2.5, 200)}, true);
    PolygonLayer& cells = MakeLayer(JitteredGrid(40, 1.0, 0.0, 5));
    const std::map<std::string, Operation> operations = {
        {"join", [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return t.Join(a, b, true); }},
        {"identity",
         [](Topology& t, PolygonLayer* a, PolygonLayer* b) { return Identity(t, a, b, true); }},
        {"symmetric difference", [](Topology& t, PolygonLayer* a, PolygonLayer* b)
         { return SymmetricDifference(t, a, b, true); }},
    };
    for (const auto& [name, operation] : operations)
    {
        for (const auto& [a, b] : {std::pair{&cells, &discs}, std::pair{&discs, &cells}})
        {
            const std::string single = Run(operation, *a, *b, 1);
            for (const int threads : {2, 3})
            {
                EXPECT_EQ(Run(operation, *a, *b, threads), single) << name << ", " << threads;
            }
            const std::size_t room = LayerOperations::SetPieceBytesAhead(0);
            EXPECT_EQ(Run(operation, *a, *b, 2), single) << name << ", held back";
            LayerOperations::SetPieceBytesAhead(room);
        }
    }
    // Stopped half way, with copies made ahead of pieces not merged yet: they all leave the
    // result layer again, with their nodes.
    ScopedTopology results;
    results->SetLayerThreads(2);
    const auto halfWay = [](std::int64_t done, std::int64_t total)
    {
        if (2 * done >= total)
        {
            throw std::runtime_error("stop");
        }
    };
    EXPECT_THROW(results->Join(&cells, &discs, true, halfWay), std::runtime_error);
    EXPECT_EQ(results->GetNodeSet().Count(), 0);
}

// The polygons' net areas, largest first.
std::vector<double> AreasOf(const PolygonLayer& layer)
{
    std::vector<double> areas;
    for (const Polygon* polygon : PolygonsOf(layer))
    {
        areas.push_back(NetArea(*polygon));
    }
    std::sort(areas.rbegin(), areas.rend());
    return areas;
}

TEST_F(ParallelLayerOperationsTest, UnionAndUniteDependOnNoThreadCountAndMergeOnlyOverlaps)
{
    // A nested box, a box overlapping the outer one, one touching that along an edge (touching
    // is no overlap) and a box apart; a second layer with a box that overlaps only the outer
    // box, which links the others of the first layer through it.
    PolygonLayer& mixed = MakeLayer({Box(0, 0, 4, 4), Box(1, 1, 2, 2), Box(3, 3, 6, 6),
                                     Box(6, 3, 8, 5), Box(10, 0, 11, 1)},
                                    true);
    PolygonLayer& corner = MakeLayer({Box(-1, -1, 0.5, 0.5)});
    PolygonLayer& overlapping = MakeLayer(OverlappingBoxes(60, 14.0), true);
    PolygonLayer& shifted = MakeLayer(JitteredGrid(11, 1.3, 0.35, 11));
    const std::vector<std::pair<PolygonLayer*, PolygonLayer*>> pairs = {
        {&mixed, &mixed}, {&mixed, &corner}, {&overlapping, &overlapping},
        {&overlapping, &shifted}};
    const auto unionOf = [](Topology& t, PolygonLayer* a, PolygonLayer* b)
    { return t.Union(a, b, false); };
    for (std::size_t p = 0; p < pairs.size(); ++p)
    {
        const std::string single = Run(unionOf, *pairs[p].first, *pairs[p].second, 1);
        for (const int threads : {2, 3})
        {
            EXPECT_EQ(Run(unionOf, *pairs[p].first, *pairs[p].second, threads), single)
                << "pair " << p << ", " << threads << " threads";
        }
    }
    // The overlapping boxes of the larger layer are merged once the corner box reaches one.
    ScopedTopology results;
    results->SetLayerThreads(2);
    EXPECT_EQ(AreasOf(*results->Union(&mixed, &corner, false)), (std::vector<double>{26, 4, 1}));

    // Every polygon of two layers of many-sided polygons united into one, its parents the
    // polygons in their order (enough nodes for the unions to be split over the threads): few
    // large polygons, whose threads take single unions, and many small ones, whose threads
    // take subtrees of several.
    for (const auto& [perSide, vertices] : {std::pair{5, 150}, std::pair{12, 40}})
    {
        PolygonLayer& circles = MakeLayer(Circles(perSide, vertices, 0.0));
        PolygonLayer& shiftedCircles = MakeLayer(Circles(perSide, vertices, 0.5));
        const std::string single = Run(UniteBoth, circles, shiftedCircles, 1);
        EXPECT_EQ(Run(UniteBoth, circles, shiftedCircles, 2), single) << perSide;
        EXPECT_EQ(Run(UniteBoth, circles, shiftedCircles, 3), single) << perSide;
    }

    // Stopped part way, while the threads are inside their subtrees or the unions above them:
    // the stop comes back once every thread has ended, and nothing is added.
    PolygonLayer& many = MakeLayer(Circles(12, 300, 0.25));
    Collections::PlainArray<Polygon*> polygons;
    for (Polygon* polygon : PolygonsOf(many))
    {
        polygons.Append(polygon);
    }
    Collections::OverallEnumerator<Collections::PlainArray<Polygon*>> enumerator(polygons);
    ScopedTopology stopped;
    stopped->SetLayerThreads(2);
    PolygonLayer* result = stopped->CreatePolygonLayer(false);
    const auto stop = [](std::int64_t, std::int64_t) { throw std::runtime_error("stop"); };
    EXPECT_THROW(Overlay::UnitePolygons(&enumerator, *result, false, stop), std::runtime_error);
    EXPECT_EQ(result->GetPolygonCount(), 0);
}

TEST_F(ParallelLayerOperationsTest, AUnionMadeAfterThePolygonsAloneBehindItTakesItsPlace)
{
    // The first cells' group unites them with a disc of many vertices: on two threads the
    // cells alone after it are added while its union is still being made, and it is put in
    // its place afterwards. A second slow group further on, and a group of two cells in
    // between, which are added in turn.
    PolygonLayer& cells = MakeLayer(JitteredGrid(30, 1.0, 0.0, 13));
    PolygonLayer& discs = MakeLayer({Disc(1.0, 1.0, 0.8, 40000), Box(14.6, 14.6, 15.4, 15.4),
                                     Disc(25.0, 20.0, 0.7, 30000)});
    const auto unionOf = [](Topology& t, PolygonLayer* a, PolygonLayer* b)
    { return t.Union(a, b, false); };
    const std::string single = Run(unionOf, cells, discs, 1);
    EXPECT_EQ(Run(unionOf, cells, discs, 2), single);

    // Stopped by the progress once some polygons were added: they leave the result again.
    ScopedTopology results;
    results->SetLayerThreads(2);
    const auto stop = [](std::int64_t done, std::int64_t total)
    {
        if (done >= total / 2)
        {
            throw std::runtime_error("stop");
        }
    };
    EXPECT_THROW(results->Union(&cells, &discs, false, stop), std::runtime_error);
    ASSERT_EQ(results->GetLayerCount(), 1);
    EXPECT_EQ(results->GetLayer(0)->GetPolygonCount(), 0);
    EXPECT_EQ(results->GetNodeSet().Count(), 0);
}

TEST_F(ParallelLayerOperationsTest, AUnionOfOverAThousandPolygonsCommitsAsOnOneThread)
{
    // Enough polygons that the result's commit tests them on the threads while it adds them.
    // Boxes over cells that no disc reaches stay apart from them in the union: the commit
    // refuses one of each such pair, in the same places on one thread and on two.
    std::vector<Points> cellsAndBoxes = JitteredGrid(40, 1.0, 0.0, 5);
    for (int k = 0; k < 6; ++k)
    {
        cellsAndBoxes.push_back(Box(33.3 + k, 35.3, 33.8 + k, 35.7));
    }
    PolygonLayer& cells = MakeLayer(cellsAndBoxes, true);
    PolygonLayer& discs = MakeLayer({Disc(8.0, 9.0, 4.0, 300), Disc(27.0, 22.0, 5.0, 400)}, true);
    std::vector<std::string> outcomes;
    for (const int threads : {1, 2})
    {
        ScopedTopology results;
        results->SetLayerThreads(threads);
        PolygonLayer& result = *results->Union(&cells, &discs, false);
        EXPECT_THROW(result.Commit(), PolygonsOverlapException) << threads;
        EXPECT_GT(result.GetCommittedCount(), 1024) << threads;
        EXPECT_EQ(result.GetEditingCount(), 6) << threads;
        std::string outcome = Dump(result, {&cells, &discs});
        for (const Polygon* polygon : PolygonsOf(result))
        {
            outcome += polygon->IsEditing() ? 'e' : 'c';
        }
        outcomes.push_back(outcome);
    }
    EXPECT_EQ(outcomes[1], outcomes[0]);
}

TEST_F(ParallelLayerOperationsTest, AThrowingProgressCallbackStopsTheWorkersAndRestoresTheOperands)
{
    // Two halves with over 100 candidates each: their edges are indexed during the operation.
    PolygonLayer& halves = MakeLayer({Box(0, 0, 10, 20), Box(10, 0, 20, 20)});
    PolygonLayer& coverage = MakeLayer(JitteredGrid(20, 1.0, 0.0, 3));
    const auto stop = [](std::int64_t, std::int64_t) { throw std::runtime_error("stop"); };
    ScopedTopology results;
    results->SetLayerThreads(2);
    EXPECT_THROW(results->Intersection(&halves, &coverage, true, stop), std::runtime_error);
    EXPECT_THROW(results->Join(&halves, &coverage, true, stop), std::runtime_error);
    EXPECT_THROW(results->Substract(&coverage, &halves, true, stop), std::runtime_error);
    EXPECT_THROW(results->Union(&halves, &coverage, false, stop), std::runtime_error);
    // Stopped at the end, after the pieces were merged: they leave the result layers again,
    // with their nodes.
    const auto late = [](std::int64_t done, std::int64_t total)
    {
        if (done + 1 >= total)
        {
            throw std::runtime_error("stop");
        }
    };
    EXPECT_THROW(results->Intersection(&halves, &coverage, true, late), std::runtime_error);
    EXPECT_THROW(results->Join(&halves, &coverage, true, late), std::runtime_error);
    EXPECT_THROW(results->Substract(&coverage, &halves, true, late), std::runtime_error);
    EXPECT_THROW(results->Union(&halves, &coverage, false, late), std::runtime_error);
    EXPECT_EQ(results->GetNodeSet().Count(), 0);
    for (const Polygon* polygon : PolygonsOf(halves))
    {
        for (const Ring* ring : RingsOf(*polygon))
        {
            EXPECT_FALSE(ring->HasFlag(Ring::Flags::UseSpatialIndex));
        }
    }
    EXPECT_EQ(halves.GetCommittedCount(), 2);
}

TEST_F(ParallelLayerOperationsTest, RepeatedRunsReuseTheNodeRecordsOfEndedWorkers)
{
    // A run's workers may be new threads or ones kept from earlier runs; what they and the
    // merge leave must serve the next runs.
    // The results go into the operands' topology, whose node set the merge then changes
    // while the workers read the operands.
    PolygonLayer& coverage = MakeLayer(JitteredGrid(14, 1.0, 0.0, 7));
    PolygonLayer& shifted = MakeLayer(JitteredGrid(11, 1.3, 0.35, 11));
    m_operands->SetLayerThreads(3);
    const auto run = [&] { m_operands->Join(&coverage, &shifted, true); };
    for (int i = 0; i < 3; ++i)
    {
        run();
    }
    const std::size_t blocks = FreeNodeStore::BlockCount();
    for (int i = 0; i < 20; ++i)
    {
        run();
    }
    // The merge runs beside the workers, so a run may hold more pieces at once than the runs
    // before and take another block or two; records left behind by ended workers would instead
    // add blocks with every run (about three a run: 9 blocks became 64 over these runs).
    EXPECT_LE(FreeNodeStore::BlockCount(), 2 * blocks);
}

TEST_F(ParallelLayerOperationsTest, AFailingItemStopsTheOthersAndComesBackAfterEveryWorkerEnded)
{
    constexpr std::size_t count = 100000;
    std::atomic<std::size_t> ran{0};
    // Also when the calling thread does items beside the serial work, and the failing item
    // may be its own.
    for (const bool callerWorks : {false, true})
    {
        ran = 0;
        std::atomic<int> polls{0};
        const std::exception_ptr failure = Parallel::ForEach(
            count, 3,
            [&](std::size_t k)
            {
                ran.fetch_add(1);
                if (k == 10 || k == 11)
                {
                    throw std::runtime_error("failing item");
                }
                // Items that take a while: the others must not finish the whole count while
                // the failing thread waits to be scheduled on a loaded machine.
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            },
            [&] { polls.fetch_add(1); }, [] { return false; }, callerWorks);
        ASSERT_NE(failure, nullptr) << callerWorks;
        EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
        EXPECT_LT(ran.load(), count);
        EXPECT_GE(polls.load(), 1);
    }

    // An exception of the polling callback stops the workers too and propagates.
    ran = 0;
    EXPECT_THROW(Parallel::ForEach(
                     count, 2,
                     [&](std::size_t)
                     {
                         ran.fetch_add(1);
                         std::this_thread::sleep_for(std::chrono::milliseconds(1));
                     },
                     [] { throw std::logic_error("stop"); }),
                 std::logic_error);
    EXPECT_LT(ran.load(), count);
}

TEST_F(ParallelLayerOperationsTest, TheCallingThreadSleepsWhileTheWorkersRunWithoutAPoll)
{
    // Without a polling callback the calling thread only waits for the workers; waiting in a
    // loop instead would take a core from them. A loop would use most of the 300 ms; the
    // waits, well under a millisecond.
    const double start = Parallel::CallingThreadCpuSeconds();
    const std::exception_ptr failure = Parallel::ForEach(
        2, 2, [](std::size_t) { std::this_thread::sleep_for(std::chrono::milliseconds(300)); },
        {});
    EXPECT_EQ(failure, nullptr);
    EXPECT_LT(Parallel::CallingThreadCpuSeconds() - start, 0.1);
}

TEST_F(ParallelLayerOperationsTest, ASlowItemAtTheHeadOfTheMergeHoldsTheOthersBackToTheBound)
{
    // Items merged in order, at most `ahead` of them past the merge may start; item 0 lingers
    // once the others went as far as they may, so that threads ignoring the bound (the calling
    // thread among them) would do many more meanwhile, all waiting unmerged for it.
    constexpr std::size_t count = 3000;
    constexpr std::size_t ahead = 16;
    for (const unsigned threads : {2U, 3U})
    {
        std::vector<std::atomic<bool>> done(count);
        std::atomic<std::size_t> merged{0};
        std::atomic<std::size_t> started{0};
        std::atomic<std::size_t> unmerged{0}; // done and waiting for the merge
        std::atomic<std::size_t> mostUnmerged{0};
        const auto task = [&](std::size_t k)
        {
            started.fetch_add(1);
            if (k == 0)
            {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (started.load() < ahead && std::chrono::steady_clock::now() < until)
                {
                    std::this_thread::yield();
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            const std::size_t now = unmerged.fetch_add(1) + 1;
            std::size_t most = mostUnmerged.load();
            while (most < now && !mostUnmerged.compare_exchange_weak(most, now))
            {
            }
            done[k].store(true);
        };
        const auto merge = [&]
        {
            std::size_t next = merged.load();
            const std::size_t first = next;
            for (; next < count && done[next].load(); ++next)
            {
                unmerged.fetch_sub(1);
            }
            merged.store(next);
            return next != first;
        };
        const std::exception_ptr failure = Parallel::ForEach(
            count, threads, task, {}, merge, true,
            [&](std::size_t k) { return k < merged.load() + ahead; });
        EXPECT_EQ(failure, nullptr);
        EXPECT_EQ(merged.load(), count) << threads << " threads";
        EXPECT_EQ(started.load(), count) << threads << " threads";
        EXPECT_LE(mostUnmerged.load(), ahead) << threads << " threads";
    }
}

} // namespace

TEST_F(ParallelLayerOperationsTest, RunsAtOnceAndRunsInsideATaskFinishAndRepeatedRunsKeepTheirThreads)
{
    // Every item of a run starts a run of its own, and two callers do this at once: a run
    // that waited for busy threads instead of getting its own would never end.
    const auto nestedSum = []
    {
        std::atomic<std::size_t> sum{0};
        const std::exception_ptr failure = Parallel::ForEach(
            8, 2,
            [&](std::size_t k)
            {
                const std::exception_ptr inner = Parallel::ForEach(
                    10, 2, [&](std::size_t m) { sum.fetch_add(k * 10 + m); }, {});
                if (inner != nullptr)
                {
                    std::rethrow_exception(inner);
                }
            },
            {});
        EXPECT_EQ(failure, nullptr);
        return sum.load();
    };
#if defined(__linux__)
    const auto threadCount = []
    { return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}); };
    const auto atStart = threadCount();
#endif
    std::size_t first = 0;
    std::size_t second = 0;
    {
        const std::jthread other([&] { second = nestedSum(); });
        first = nestedSum();
    }
    EXPECT_EQ(first, 3160U); // 0 + 1 + ... + 79
    EXPECT_EQ(second, 3160U);
#if defined(__linux__)
    // One run holds at most 6 workers at once (2 outer ones, 2 inner ones under each). How
    // many it reaches depends on how the threads happen to overlap on a busy machine, so the
    // pool may still grow up to that; a pool that did not keep its threads would grow by up
    // to 6 with every run.
    constexpr std::ptrdiff_t workersOfOneRun = 6;
    nestedSum();
    const auto threads = threadCount();
    for (int i = 0; i < 20; ++i)
    {
        nestedSum();
    }
    EXPECT_LE(threadCount(), std::max(threads, atStart + workersOfOneRun));
#endif
}
