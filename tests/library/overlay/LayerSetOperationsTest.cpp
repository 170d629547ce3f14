#include "Arealis/DerivedLayerOperations.h"
#include "Arealis/GeometryExceptions.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "PolygonQueries.h"
#include "model/ModelTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;
using namespace Arealis::Testing;

namespace
{

using PolygonSet = std::set<const Polygon*>;

double TotalArea(const PolygonLayer& layer)
{
    double area = 0.0;
    for (const Polygon* polygon : PolygonsOf(layer))
    {
        area += NetArea(*polygon);
    }
    return area;
}

PolygonSet ParentsOf(const PolygonLayer& layer, Polygon* pPolygon)
{
    PolygonSet parents;
    PolygonEnumerator enumerator = layer.GetParents(pPolygon);
    while (enumerator.MoveNext())
    {
        parents.insert(enumerator.Current());
    }
    return parents;
}

// Total area of the result pieces per set of parents.
std::map<PolygonSet, double> AreaByParents(const PolygonLayer& result)
{
    std::map<PolygonSet, double> areas;
    for (Polygon* polygon : PolygonsOf(result))
    {
        areas[ParentsOf(result, polygon)] += NetArea(*polygon);
    }
    return areas;
}

// What an operation must leave as it was in an operand layer.
struct LayerState
{
    std::int32_t Count;
    std::int32_t Committed;
    double Area;
    bool AnyEdgeIndex;

    bool operator==(const LayerState&) const = default;
};

LayerState StateOf(const PolygonLayer& layer)
{
    bool anyEdgeIndex = false;
    for (const Polygon* polygon : PolygonsOf(layer))
    {
        for (const Ring* ring : RingsOf(*polygon))
        {
            anyEdgeIndex = anyEdgeIndex || ring->HasFlag(Ring::Flags::UseSpatialIndex);
        }
    }
    return {layer.GetPolygonCount(), layer.GetCommittedCount(), TotalArea(layer), anyEdgeIndex};
}

// Operands live in one topology and results in another, as in the desktop program.
class LayerSetOperationsTest : public ::testing::Test
{
protected:
    // A layer with one single-ring polygon per box, committed unless told otherwise.
    PolygonLayer& MakeLayer(const std::vector<Points>& rings, bool allowOverlap = false,
                            bool commit = true)
    {
        PolygonLayer& layer = *m_operands->CreatePolygonLayer(allowOverlap);
        for (const Points& ring : rings)
        {
            AddRings(*layer.CreatePolygon(), {ring});
        }
        if (commit)
        {
            layer.Commit();
        }
        return layer;
    }

    Topology& Results() { return *m_results; }

private:
    ScopedTopology m_operands;
    ScopedTopology m_results; // deleted first: its Parents collections name operand polygons
};

// A square with extra nodes along its sides, so that it counts as a large polygon.
Points DenseBox(double minX, double minY, double maxX, double maxY, int perSide)
{
    Points points;
    const Points corners = Box(minX, minY, maxX, maxY);
    for (std::size_t c = 0; c < corners.size(); ++c)
    {
        const Point& from = corners[c];
        const Point& to = corners[(c + 1) % corners.size()];
        for (int i = 0; i < perSide; ++i)
        {
            const double t = static_cast<double>(i) / perSide;
            points.push_back({from.X + t * (to.X - from.X), from.Y + t * (to.Y - from.Y)});
        }
    }
    return points;
}

// 11 x 11 squares of side 0.6 on a grid of pitch 1, starting at (0.2, 0.2).
std::vector<Points> SquareGrid(int perSide)
{
    std::vector<Points> squares;
    for (int i = 0; i <= 10; ++i)
    {
        for (int j = 0; j <= 10; ++j)
        {
            squares.push_back(DenseBox(i + 0.2, j + 0.2, i + 0.8, j + 0.8, perSide));
        }
    }
    return squares;
}

// Overlap of [a0, a1] and [b0, b1].
double Overlap(double a0, double a1, double b0, double b1)
{
    return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

// The rectangle (0.5, 0.5) - (10.5, 10.5) that every square of SquareGrid meets.
const Points Frame = Box(0.5, 0.5, 10.5, 10.5);

// Area of the frame covered by the squares of SquareGrid.
double CoveredFrameArea()
{
    double area = 0.0;
    for (int i = 0; i <= 10; ++i)
    {
        for (int j = 0; j <= 10; ++j)
        {
            area += Overlap(i + 0.2, i + 0.8, 0.5, 10.5) * Overlap(j + 0.2, j + 0.8, 0.5, 10.5);
        }
    }
    return area;
}

// --- Intersection and subtraction ----------------------------------------------------------

TEST_F(LayerSetOperationsTest, IntersectionWithAnEmptyOrADisjointLayerIsEmpty)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 1, 1), Box(2, 0, 3, 1)});
    PolygonLayer& empty = MakeLayer({});
    PolygonLayer& disjoint = MakeLayer({Box(0, 5, 1, 6), Box(1, 1, 2, 2)}); // one touches a corner

    EXPECT_EQ(Results().Intersection(&a, &empty, true)->GetPolygonCount(), 0);
    EXPECT_EQ(Results().Intersection(&empty, &a, true)->GetPolygonCount(), 0);
    EXPECT_EQ(Results().Intersection(&a, &disjoint, true)->GetPolygonCount(), 0);
}

TEST_F(LayerSetOperationsTest, IntersectionGivesEveryCommonPartWithBothSources)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2), Box(2, 0, 4, 2)});
    PolygonLayer& b = MakeLayer({Box(1, 1, 3, 3)});
    Polygon* across = PolygonsOf(b).front();

    PolygonLayer* result = Results().Intersection(&a, &b, true);

    ASSERT_EQ(result->GetPolygonCount(), 2);
    for (Polygon* piece : PolygonsOf(*result))
    {
        EXPECT_DOUBLE_EQ(NetArea(*piece), 1.0);
        const PolygonSet parents = ParentsOf(*result, piece);
        EXPECT_EQ(parents.size(), 2U);
        EXPECT_TRUE(parents.contains(across));
    }
    const PolygonLayer* unrecorded = Results().Intersection(&a, &b, false);
    for (Polygon* piece : PolygonsOf(*unrecorded))
    {
        EXPECT_TRUE(ParentsOf(*unrecorded, piece).empty());
    }
}

TEST_F(LayerSetOperationsTest, SubstractionCopiesPolygonsWithoutCandidatesAndCutsTheOthers)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 1, 1), Box(5, 5, 6, 6), Box(10, 0, 14, 4)});
    PolygonLayer& b = MakeLayer({Box(20, 20, 21, 21), Box(11, 1, 12, 2), Box(12, 2, 13, 5)});

    PolygonLayer* result = Results().Substract(&a, &b, true);

    ASSERT_EQ(result->GetPolygonCount(), 3);
    std::map<const Polygon*, double> areaByParent;
    for (Polygon* piece : PolygonsOf(*result))
    {
        const PolygonSet parents = ParentsOf(*result, piece);
        ASSERT_EQ(parents.size(), 1U);
        areaByParent[*parents.begin()] = NetArea(*piece);
    }
    const std::vector<Polygon*> sources = PolygonsOf(a);
    for (const Polygon* source : sources)
    {
        const double expected = NetArea(*source) == 16.0 ? 16.0 - 1.0 - 2.0 : NetArea(*source);
        EXPECT_DOUBLE_EQ(areaByParent.at(source), expected);
    }
    // A polygon covered completely leaves nothing.
    PolygonLayer& cover = MakeLayer({Box(-1, -1, 7, 7)});
    EXPECT_EQ(Results().Substract(&a, &cover, true)->GetPolygonCount(), 1);
}

// --- Join -----------------------------------------------------------------------------------

TEST_F(LayerSetOperationsTest, JoinOfTwoOverlappingSquaresGivesThreePieces)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2)});
    PolygonLayer& b = MakeLayer({Box(1, 1, 3, 3)});
    Polygon* first = PolygonsOf(a).front();
    Polygon* second = PolygonsOf(b).front();

    PolygonLayer* result = Results().Join(&a, &b, true);

    ASSERT_EQ(result->GetPolygonCount(), 3);
    const std::map<PolygonSet, double> expected = {
        {{first, second}, 1.0}, {{first}, 3.0}, {{second}, 3.0}};
    EXPECT_EQ(AreaByParents(*result), expected);
}

TEST_F(LayerSetOperationsTest, JoinKeepsPolygonsThatMeetNothing)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 1, 1), Box(4, 4, 5, 5)});
    PolygonLayer& b = MakeLayer({Box(0.5, 0, 1.5, 1), Box(8, 8, 9, 9), Box(9, 9, 10, 10)});

    PolygonLayer* result = Results().Join(&a, &b, false);

    // Common part, two rests of the overlapping pair, and three untouched polygons.
    EXPECT_EQ(result->GetPolygonCount(), 6);
    EXPECT_DOUBLE_EQ(TotalArea(*result), 4.5);
}

// Many candidates switch the join to one subtraction of the united candidates, and the
// subtraction to uniting the candidates first; both must agree with the pair-by-pair paths.
TEST_F(LayerSetOperationsTest, PathsForManyCandidatesAgreeWithThePairwisePaths)
{
    PolygonLayer& frame = MakeLayer({Frame});
    // The frame cut into quadrants between the squares: fewer than 100 candidates each.
    PolygonLayer& quadrants = MakeLayer(
        {Box(0.5, 0.5, 5, 5), Box(5, 0.5, 10.5, 5), Box(0.5, 5, 5, 10.5), Box(5, 5, 10.5, 10.5)});
    PolygonLayer& squares = MakeLayer(SquareGrid(1));
    // The same squares with many nodes: subtracting them one by one is cheaper.
    PolygonLayer& denseSquares = MakeLayer(SquareGrid(10));
    const double covered = CoveredFrameArea();
    const LayerState before = StateOf(frame);

    const PolygonLayer* united = Results().Join(&frame, &squares, true);
    const PolygonLayer* pairwise = Results().Join(&quadrants, &squares, true);
    double frameOnly = 0.0;
    double common = 0.0;
    for (const auto& [parents, area] : AreaByParents(*united))
    {
        common += parents.size() == 2 ? area : 0.0;
        frameOnly +=
            parents.contains(PolygonsOf(frame).front()) && parents.size() == 1 ? area : 0.0;
    }
    EXPECT_NEAR(common, covered, 1e-9);
    EXPECT_NEAR(frameOnly, 100.0 - covered, 1e-9);
    EXPECT_NEAR(TotalArea(*united), TotalArea(*pairwise), 1e-9);
    EXPECT_EQ(united->GetPolygonCount(), 121 + 1 + 40);   // common parts, frame rest, square rests
    EXPECT_EQ(pairwise->GetPolygonCount(), 121 + 4 + 40); // each quadrant has its own rest

    EXPECT_NEAR(TotalArea(*Results().Substract(&frame, &squares, true)), 100.0 - covered, 1e-9);
    EXPECT_NEAR(TotalArea(*Results().Substract(&frame, &denseSquares, true)), 100.0 - covered,
                1e-9);
    EXPECT_NEAR(TotalArea(*Results().Intersection(&frame, &squares, true)), covered, 1e-9);
    EXPECT_EQ(StateOf(frame), before);
}

// --- Union ----------------------------------------------------------------------------------

TEST_F(LayerSetOperationsTest, UnionKeepsTouchingPolygonsSeparate)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 1, 1), Box(2, 0, 3, 1)});
    PolygonLayer& b = MakeLayer({Box(1, 0, 2, 1), Box(3, 1, 4, 2)}); // an edge each, a corner

    PolygonLayer* result = Results().Union(&a, &b, true);

    EXPECT_EQ(result->GetPolygonCount(), 4);
    EXPECT_DOUBLE_EQ(TotalArea(*result), 4.0);
}

TEST_F(LayerSetOperationsTest, UnionDissolvesChainsOfOverlapsAcrossBothLayers)
{
    // t1 links s1 and s2, t2 links s2 and s3; t2 also overlaps t1, which the layer allows.
    PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2), Box(3, 0, 5, 2), Box(6, 0, 8, 2)});
    PolygonLayer& b =
        MakeLayer({Box(1.5, 0.5, 3.5, 1.5), Box(3.2, 1, 6.5, 1.8), Box(20, 0, 21, 1)}, true);

    // Both layers have three polygons: the first operand's index is the start of the union.
    for (const bool aFirst : {true, false})
    {
        PolygonLayer* result =
            aFirst ? Results().Union(&a, &b, true) : Results().Union(&b, &a, true);

        ASSERT_EQ(result->GetPolygonCount(), 2);
        std::vector<double> areas;
        for (Polygon* polygon : PolygonsOf(*result))
        {
            areas.push_back(NetArea(*polygon));
            EXPECT_TRUE(ParentsOf(*result, polygon).empty());
            EXPECT_EQ(RingsOf(*polygon).size(), 1U);
        }
        std::sort(areas.begin(), areas.end());
        // 3 squares of 4, plus the parts of t1 (1 x 1) and t2 (1 x 0.8) between them.
        EXPECT_DOUBLE_EQ(areas[0], 1.0);
        EXPECT_NEAR(areas[1], 12.0 + 1.0 + 0.8, 1e-12);
        EXPECT_FALSE(result->AllowsOverlap());
    }
}

TEST_F(LayerSetOperationsTest, UnionFollowsOverlapsWithinTheLargerLayerFromWhereTheOtherReachesIt)
{
    // A chain of five overlapping boxes in the larger layer, which the other layer's one box
    // reaches at its first; a sixth box touches the chain's end, a seventh overlaps nothing.
    PolygonLayer& start = MakeLayer({Box(0, 0, 2, 1), Box(1, 0, 3, 1), Box(2.5, 0, 4, 1),
                                     Box(3.5, 0, 5, 1), Box(4.5, 0, 6, 1), Box(6, 0, 7, 1),
                                     Box(10, 0, 11, 1)},
                                    true);
    PolygonLayer& listed = MakeLayer({Box(-1, 0.25, 0.5, 0.75)});

    for (const unsigned threads : {1U, 2U})
    {
        Results().SetLayerThreads(static_cast<std::int32_t>(threads));
        PolygonLayer* result = Results().Union(&listed, &start, false);
        ASSERT_EQ(result->GetPolygonCount(), 3) << threads << " threads";
        std::vector<double> areas;
        for (Polygon* polygon : PolygonsOf(*result))
        {
            areas.push_back(NetArea(*polygon));
        }
        std::sort(areas.begin(), areas.end());
        EXPECT_DOUBLE_EQ(areas[0], 1.0);
        EXPECT_DOUBLE_EQ(areas[1], 1.0);
        EXPECT_NEAR(areas[2], 6.0 + 0.5, 1e-12);
    }
}

TEST_F(LayerSetOperationsTest, UnionDropsPolygonsLyingInsideAPolygonOfTheOtherLayer)
{
    // The union starts from the layer with more polygons and examines the other one's.
    PolygonLayer& smallInStart = MakeLayer({Box(2, 2, 3, 3), Box(20, 20, 21, 21)});
    PolygonLayer& bigExamined = MakeLayer({Box(0, 0, 10, 10)});
    PolygonLayer& bigInStart = MakeLayer({Box(0, 0, 10, 10), Box(30, 30, 31, 31)});
    PolygonLayer& smallExamined = MakeLayer({Box(2, 2, 3, 3)});

    for (PolygonLayer* result : {Results().Union(&smallInStart, &bigExamined, false),
                                 Results().Union(&smallExamined, &bigInStart, false)})
    {
        EXPECT_EQ(result->GetPolygonCount(), 2);
        EXPECT_DOUBLE_EQ(TotalArea(*result), 101.0);
    }
}

TEST_F(LayerSetOperationsTest, UnionOfALayerWithItselfDissolvesItsOwnOverlapsOnly)
{
    PolygonLayer& overlapping =
        MakeLayer({Box(0, 0, 2, 2), Box(1, 1, 3, 3), Box(5, 5, 6, 6)}, true);
    PolygonLayer& plain = MakeLayer({Box(0, 0, 1, 1), Box(1, 0, 2, 1)});

    PolygonLayer* dissolved = Results().Union(&overlapping, &overlapping, false);
    EXPECT_EQ(dissolved->GetPolygonCount(), 2);
    EXPECT_DOUBLE_EQ(TotalArea(*dissolved), 8.0);
    PolygonLayer* copied = Results().Union(&plain, &plain, false);
    EXPECT_EQ(copied->GetPolygonCount(), 2);
    EXPECT_DOUBLE_EQ(TotalArea(*copied), 2.0);
}

// --- All operations -------------------------------------------------------------------------

TEST_F(LayerSetOperationsTest, OverlapPermissionOfTheResultLayers)
{
    for (const bool aAllows : {false, true})
    {
        for (const bool bAllows : {false, true})
        {
            PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2)}, aAllows);
            PolygonLayer& b = MakeLayer({Box(1, 1, 3, 3)}, bAllows);
            EXPECT_FALSE(Results().Union(&a, &b, false)->AllowsOverlap());
            EXPECT_EQ(Results().Intersection(&a, &b, false)->AllowsOverlap(), aAllows || bAllows);
            EXPECT_EQ(Results().Join(&a, &b, false)->AllowsOverlap(), aAllows || bAllows);
            EXPECT_EQ(Results().Substract(&a, &b, false)->AllowsOverlap(), aAllows);
        }
    }
}

TEST_F(LayerSetOperationsTest, OperandLayersStayAsTheyWereExceptTheUnionsCommitOfTheLarger)
{
    PolygonLayer& larger =
        MakeLayer({Box(0, 0, 2, 2), Box(4, 0, 6, 2), Box(8, 0, 9, 1)}, false, false);
    PolygonLayer& smaller = MakeLayer({Box(1, 1, 5, 3)}, false, false);
    const LayerState largerBefore = StateOf(larger);
    const LayerState smallerBefore = StateOf(smaller);

    Results().Intersection(&larger, &smaller, true);
    Results().Substract(&larger, &smaller, true);
    Results().Join(&smaller, &larger, true);
    EXPECT_EQ(StateOf(larger), largerBefore);
    EXPECT_EQ(StateOf(smaller), smallerBefore);

    Results().Union(&smaller, &larger, true);
    LayerState committed = largerBefore;
    committed.Committed = committed.Count;
    EXPECT_EQ(StateOf(larger), committed);
    EXPECT_EQ(StateOf(smaller), smallerBefore);
}

// Polygons that the commit refused (here a lone hole) or that are being edited never reach a
// result: intersection, subtraction and join answer as if the layer held its committed
// polygons only. (The union commits the larger layer first, which refuses the operation.)
TEST_F(LayerSetOperationsTest, PolygonsLeftOutOfTheCommitTakeNoPartInAnyOperation)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2)}, false, false);
    Polygon* refused = a.CreatePolygon();
    AddRings(*refused, {Hole(0, 0, 10, 10)});
    EXPECT_THROW(a.Commit(), InvalidPolygonException);
    Polygon* edited = a.CreatePolygon(); // valid but never committed
    AddRings(*edited, {Box(0, 5, 10, 9)});
    ASSERT_EQ(a.GetEditingCount(), 2);
    PolygonLayer& b = MakeLayer({Box(1, 0, 3, 2), Box(4, 4, 6, 10)});
    PolygonLayer& onlyValid = MakeLayer({Box(0, 0, 2, 2)});

    using Operation = PolygonLayer* (Topology::*)(PolygonLayer*, PolygonLayer*, bool,
                                                  const Topology::LayerProgress&);
    for (const Operation operation :
         {&Topology::Intersection, &Topology::Substract, &Topology::Join})
    {
        for (const bool aFirst : {true, false})
        {
            PolygonLayer* first = aFirst ? &a : &b;
            PolygonLayer* second = aFirst ? &b : &a;
            PolygonLayer* expected = aFirst ? &onlyValid : &b;
            PolygonLayer* expectedSecond = aFirst ? &b : &onlyValid;
            PolygonLayer* result = (Results().*operation)(first, second, true, {});
            PolygonLayer* reference = (Results().*operation)(expected, expectedSecond, true, {});
            EXPECT_EQ(result->GetPolygonCount(), reference->GetPolygonCount());
            EXPECT_NEAR(TotalArea(*result), TotalArea(*reference), 1e-9);
            for (Polygon* polygon : PolygonsOf(*result))
            {
                const PolygonSet parents = ParentsOf(*result, polygon);
                EXPECT_FALSE(parents.contains(refused) || parents.contains(edited));
            }
        }
    }
    EXPECT_EQ(a.GetEditingCount(), 2);
}

TEST_F(LayerSetOperationsTest, NullOperandsAreRefusedBeforeAnyLayerIsCreated)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 1, 1)});
    using Operation = PolygonLayer* (Topology::*)(PolygonLayer*, PolygonLayer*, bool,
                                                  const Topology::LayerProgress&);
    for (const Operation operation :
         {&Topology::Union, &Topology::Intersection, &Topology::Substract, &Topology::Join})
    {
        const std::vector<std::pair<PolygonLayer*, PolygonLayer*>> operands = {{nullptr, &a},
                                                                               {&a, nullptr}};
        for (const auto& [first, second] : operands)
        {
            const std::string failure =
                Failure([&, first = first, second = second]
                        { (Results().*operation)(first, second, true, {}); });
            EXPECT_EQ(failure.substr(0, failure.find(" @ ")), "The pointer is not valid.");
        }
    }
    EXPECT_EQ(Results().GetLayerCount(), 0);
}

TEST_F(LayerSetOperationsTest, ProgressRunsUpToItsTotalWithoutChangingTheResult)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2), Box(3, 0, 5, 2), Box(6, 0, 8, 2)});
    PolygonLayer& b = MakeLayer({Box(1.5, 0.5, 3.5, 1.5), Box(5.5, 0.5, 6.5, 1.5)});
    using Operation = PolygonLayer* (Topology::*)(PolygonLayer*, PolygonLayer*, bool,
                                                  const Topology::LayerProgress&);
    for (const Operation operation :
         {&Topology::Union, &Topology::Intersection, &Topology::Substract, &Topology::Join})
    {
        std::vector<std::pair<std::int64_t, std::int64_t>> reports;
        const PolygonLayer* reported =
            (Results().*operation)(&a, &b, true,
                                   [&reports](std::int64_t done, std::int64_t total)
                                   { reports.emplace_back(done, total); });
        const PolygonLayer* silent = (Results().*operation)(&a, &b, true, {});

        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back().first, reports.back().second);
        for (std::size_t i = 0; i < reports.size(); ++i)
        {
            EXPECT_LE(reports[i].first, reports[i].second);
            EXPECT_TRUE(i == 0 || reports[i - 1].first <= reports[i].first);
        }
        EXPECT_EQ(reported->GetPolygonCount(), silent->GetPolygonCount());
        EXPECT_DOUBLE_EQ(TotalArea(*reported), TotalArea(*silent));
    }
}

} // namespace

// --- Operations made of the join ------------------------------------------------------------

TEST_F(LayerSetOperationsTest, IdentityAndSymmetricDifferenceKeepTheirPiecesOfTheJoin)
{
    PolygonLayer& a = MakeLayer({Box(0, 0, 2, 2), Box(6, 0, 7, 1)});
    PolygonLayer& b = MakeLayer({Box(1, 1, 3, 3), Box(9, 9, 10, 10)});
    Polygon* first = PolygonsOf(a).front()->GetBounds().MinX == 0 ? PolygonsOf(a).front()
                                                                  : PolygonsOf(a).back();
    Polygon* lone = first == PolygonsOf(a).front() ? PolygonsOf(a).back() : PolygonsOf(a).front();
    Polygon* second = PolygonsOf(b).front()->GetBounds().MinX == 1 ? PolygonsOf(b).front()
                                                                   : PolygonsOf(b).back();
    Polygon* far = second == PolygonsOf(b).front() ? PolygonsOf(b).back() : PolygonsOf(b).front();

    const std::map<PolygonSet, double> identity = {
        {{first, second}, 1.0}, {{first}, 3.0}, {{lone}, 1.0}};
    EXPECT_EQ(AreaByParents(*Identity(Results(), &a, &b, true)), identity);
    const std::map<PolygonSet, double> symmetric = {
        {{first}, 3.0}, {{lone}, 1.0}, {{second}, 3.0}, {{far}, 1.0}};
    EXPECT_EQ(AreaByParents(*SymmetricDifference(Results(), &a, &b, true)), symmetric);

    // Without parents asked for, the same pieces carry none.
    PolygonLayer* unrecorded = SymmetricDifference(Results(), &a, &b, false);
    EXPECT_EQ(unrecorded->GetPolygonCount(), 4);
    EXPECT_DOUBLE_EQ(TotalArea(*unrecorded), 8.0);
    EXPECT_EQ(AreaByParents(*unrecorded), (std::map<PolygonSet, double>{{{}, 8.0}}));
    EXPECT_ANY_THROW(Identity(Results(), nullptr, &b, true));
}
