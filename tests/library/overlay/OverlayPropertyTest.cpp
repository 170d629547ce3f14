// Algebraic properties of the overlay on random pairs of polygons: areas add up, every
// result validates, and the composite operations agree with the single ones.
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "Arealis/Topology.h"
#include "overlay/LayerOverlay.h"
#include "overlay/OverlayTestShapes.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

using namespace Arealis;
using namespace OverlayTesting;

namespace
{

std::string Describe(const Shape& shape)
{
    std::ostringstream text;
    for (const Part& part : shape.Parts)
    {
        text << "[";
        for (const Point& p : part.Exterior)
        {
            text << "(" << p.X << "," << p.Y << ")";
        }
        for (const Vertices& hole : part.Holes)
        {
            text << " hole ";
            for (const Point& p : hole)
            {
                text << "(" << p.X << "," << p.Y << ")";
            }
        }
        text << "]";
    }
    return text.str();
}

// The valid result of an operation, or a failure naming the operation.
::testing::AssertionResult IsValidResult(Polygon& result, const char* operation)
{
    if (result.IsEmpty())
    {
        return ::testing::AssertionSuccess();
    }
    try
    {
        result.Validate(true);
        return ::testing::AssertionSuccess();
    }
    catch (const Exceptions::Exception& e)
    {
        return ::testing::AssertionFailure() << operation << ": " << e.Message();
    }
}

// Whether both polygons hold the same rings in the same order, node for node.
::testing::AssertionResult AreIdentical(const Polygon& expected, const Polygon& actual)
{
    RingEnumerator left = expected.GetRings();
    RingEnumerator right = actual.GetRings();
    for (int ring = 0;; ++ring)
    {
        const bool more = left.MoveNext();
        if (more != right.MoveNext())
        {
            return ::testing::AssertionFailure() << "ring counts differ after " << ring;
        }
        if (!more)
        {
            return ::testing::AssertionSuccess();
        }
        const std::span<Node* const> a = left.Current()->GetNodes();
        const std::span<Node* const> b = right.Current()->GetNodes();
        if (!std::ranges::equal(
                a, b, [](const Node* x, const Node* y) { return x->Position == y->Position; }))
        {
            return ::testing::AssertionFailure() << "ring " << ring << " differs";
        }
    }
}

// The union that takes its given-up operands' untouched rings over makes the polygon that the
// copying union makes, whichever operands are given up; an operand ring that the result keeps
// whole then keeps its node records (checked where the caller knows that one does).
void CheckUnionTakingOver(const Polygon& a, const Polygon& b, bool keepsARingWhole)
{
    const std::unique_ptr<Polygon> copyA = Overlay::CopyAsFree(a);
    const std::unique_ptr<Polygon> copyB = Overlay::CopyAsFree(b);
    const std::unique_ptr<Polygon> expected = Overlay::Union(*copyA, *copyB);
    for (const int givenUp : {1, 2, 3})
    {
        auto pA = Overlay::CopyAsFree(a);
        auto pB = Overlay::CopyAsFree(b);
        std::set<const Node*> records;
        for (const Polygon* pOperand : {pA.get(), pB.get()})
        {
            RingEnumerator rings = pOperand->GetRings();
            while (rings.MoveNext())
            {
                records.insert(rings.Current()->GetNodes().begin(),
                               rings.Current()->GetNodes().end());
            }
        }
        Polygon& first = *pA;
        Polygon& second = *pB;
        const auto result =
            Overlay::UnionTakingOver(first, (givenUp & 1) != 0 ? std::move(pA) : nullptr, second,
                                     (givenUp & 2) != 0 ? std::move(pB) : nullptr);
        EXPECT_TRUE(AreIdentical(*expected, *result)) << "given up: " << givenUp;
        // An operand that was only read is left as it was.
        EXPECT_TRUE(pA == nullptr || AreIdentical(a, *pA));
        EXPECT_TRUE(pB == nullptr || AreIdentical(b, *pB));
        bool kept = false;
        RingEnumerator rings = result->GetRings();
        while (rings.MoveNext())
        {
            kept = kept || records.contains(rings.Current()->GetNode(0));
        }
        EXPECT_TRUE(kept || !keepsARingWhole || givenUp != 3) << "nothing taken over";
    }
}

struct Areas
{
    double A = 0;
    double B = 0;
    double Union = 0;
    double Intersection = 0;
    double AMinusB = 0;
    double BMinusA = 0;
};

// Checks one pair on polygons a and b (free, or in one topology); returns the areas.
void CheckPair(Polygon& a, Polygon& b, const std::string& context)
{
    SCOPED_TRACE(context);
    auto united = Overlay::Union(a, b);
    auto common = Overlay::Intersection(a, b);
    auto difference = Overlay::Substract(a, b);
    auto parts = Overlay::Partition(a, b);
    auto two = Overlay::IntersectAndSubstract(a, b);

    Areas areas;
    areas.A = NetArea(a);
    areas.B = NetArea(b);
    areas.Union = NetArea(*united);
    areas.Intersection = NetArea(*common);
    areas.AMinusB = NetArea(*difference);
    areas.BMinusA = NetArea(*parts[2]);
    // Each identity sums up to three results, each rounded to the node grid.
    const double tolerance = 3 * RoundingBound(a, b);
    EXPECT_NEAR(areas.Union + areas.Intersection, areas.A + areas.B, tolerance);
    EXPECT_NEAR(areas.AMinusB, areas.A - areas.Intersection, tolerance);
    EXPECT_NEAR(areas.BMinusA, areas.B - areas.Intersection, tolerance);
    EXPECT_NEAR(areas.Intersection + areas.AMinusB + areas.BMinusA, areas.Union, tolerance);
    EXPECT_GE(areas.Union, std::max(areas.A, areas.B) - tolerance);
    EXPECT_GE(areas.Intersection, -tolerance);
    EXPECT_LE(areas.Intersection, std::min(areas.A, areas.B) + tolerance);

    EXPECT_TRUE(IsValidResult(*united, "union"));
    EXPECT_TRUE(IsValidResult(*common, "intersection"));
    EXPECT_TRUE(IsValidResult(*difference, "A - B"));
    EXPECT_TRUE(IsValidResult(*parts[2], "B - A"));

    const auto same = [](const std::unique_ptr<Polygon>& x, const std::unique_ptr<Polygon>& y)
    { return x->IsEqual(y.get(), 0) || (x->IsEmpty() && y->IsEmpty()); };
    EXPECT_TRUE(same(parts[0], common));
    EXPECT_TRUE(same(parts[1], difference));
    EXPECT_TRUE(same(two[0], common));
    EXPECT_TRUE(same(two[1], difference));
    // The parts traced without the others are the partition's own.
    auto outside = Overlay::PartitionParts(a, b, {false, true, true});
    EXPECT_EQ(outside[0], nullptr);
    EXPECT_TRUE(same(outside[1], parts[1]));
    EXPECT_TRUE(same(outside[2], parts[2]));
    auto commonOnly = Overlay::PartitionParts(a, b, {true, false, false});
    EXPECT_TRUE(same(commonOnly[0], parts[0]));
    EXPECT_EQ(commonOnly[1], nullptr);
    CheckUnionTakingOver(a, b, false);
}

class OverlayPropertyTest : public ::testing::TestWithParam<int>
{
};

TEST_P(OverlayPropertyTest, AreasAddUpAndResultsValidate)
{
    const auto kind = static_cast<ShapeGenerator::PairKind>(GetParam());
    ShapeGenerator generator(1000U + static_cast<std::uint32_t>(GetParam()));
    for (int i = 0; i < 300; ++i)
    {
        const auto [shapeA, shapeB] = generator.RandomPair(kind);
        auto a = MakeFreePolygon(shapeA);
        auto b = MakeFreePolygon(shapeB);
        ASSERT_NEAR(NetArea(*a), Area(shapeA), 1e-6);
        CheckPair(*a, *b,
                  std::string(ShapeGenerator::Name(kind)) + " #" + std::to_string(i) + " A " +
                      Describe(shapeA) + " B " + Describe(shapeB));
        if (HasFailure())
        {
            return;
        }
    }
}

// The same pairs as polygons of one topology, whose common vertices are shared nodes.
TEST_P(OverlayPropertyTest, AreasAddUpWithSharedNodes)
{
    const auto kind = static_cast<ShapeGenerator::PairKind>(GetParam());
    ShapeGenerator generator(2000U + static_cast<std::uint32_t>(GetParam()));
    Topology* pTopology = Topology::Create();
    PolygonLayer* pLayer = pTopology->CreatePolygonLayer(true);
    for (int i = 0; i < 60 && !HasFailure(); ++i)
    {
        const auto [shapeA, shapeB] = generator.RandomPair(kind);
        Polygon* a = MakeLayerPolygon(*pLayer, shapeA);
        Polygon* b = MakeLayerPolygon(*pLayer, shapeB);
        CheckPair(*a, *b,
                  std::string(ShapeGenerator::Name(kind)) + " #" + std::to_string(i) + " A " +
                      Describe(shapeA) + " B " + Describe(shapeB));
        pLayer->DeletePolygon(a);
        pLayer->DeletePolygon(b);
    }
    Topology::Delete(pTopology);
}

std::unique_ptr<Polygon> PolygonOf(const Vertices& ring)
{
    auto polygon = std::make_unique<Polygon>(nullptr);
    Ring* pRing = polygon->CreateRing();
    for (const Point& p : ring)
    {
        pRing->AddNode(p.X, p.Y);
    }
    return polygon;
}

// Polygons in degrees along a common boundary whose vertices lie 2e-4 to 4e-4 apart, finer
// than the overlay's tolerance: A lies west of a wandering line; B lies either east of it
// (sharing A's vertices) or west of it inside A, through points part way along A's edges.
// Snapping may move the areas by the tolerance along the boundary, never more: a union smaller
// than an operand or an intersection larger than one is wrong whatever the tolerance.
TEST(OverlayFineSpacingTest, UnionCoversAndIntersectionLiesInBothOperands)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 120 && !HasFailure(); ++i)
    {
        const double spacing = 2e-4 + 2e-4 * unit(random);
        const int count = 150 + static_cast<int>(200 * unit(random));
        const double height = spacing * count;
        std::vector<Point> line;
        double x = 10.0;
        for (int k = 0; k <= count; ++k)
        {
            x += (2 * unit(random) - 1) * 0.8 * spacing;
            line.push_back({x, 45.0 + k * height / count});
        }
        const bool inside = i % 2 == 0;
        Vertices a{{9.9, 45.0}, {9.9, 45.0 + height}};
        Vertices b;
        if (inside)
        {
            b = {{9.95, 45.0}, {9.95, 45.0 + height}};
        }
        for (int k = count; k >= 0; --k)
        {
            a.push_back(line[static_cast<std::size_t>(k)]);
            const Point& p = line[static_cast<std::size_t>(k)];
            const Point& q = line[static_cast<std::size_t>(std::max(k - 1, 0))];
            const double t = inside && k > 0 ? unit(random) : 0.0;
            b.push_back({p.X + (q.X - p.X) * t, p.Y + (q.Y - p.Y) * t});
        }
        if (!inside)
        {
            std::reverse(b.begin(), b.end());
            b.push_back({10.1, 45.0 + height});
            b.push_back({10.1, 45.0});
        }
        auto pA = PolygonOf(a);
        auto pB = PolygonOf(b);
        if (!pA->IsValid() || !pB->IsValid())
        {
            continue;
        }
        SCOPED_TRACE("pair " + std::to_string(i));
        const double allowance = DefaultIntersectionTolerance * (Perimeter(*pA) + Perimeter(*pB));
        const double areaA = NetArea(*pA);
        const double areaB = NetArea(*pB);
        EXPECT_GE(NetArea(*Overlay::Union(*pA, *pB)), std::max(areaA, areaB) - allowance);
        const double common = NetArea(*Overlay::Intersection(*pA, *pB));
        EXPECT_LE(common, std::min(areaA, areaB) + allowance);
        // B inside A: the intersection is B, give or take the snapping.
        EXPECT_GE(common, inside ? areaB - allowance : -allowance);
    }
}

// A square with a grid of square holes against small squares that no ring crosses, one per
// cell: in the solid part or in a hole by turns. Enough rings on both sides that where each
// uncrossed ring lies is looked up through an index of the other side's rings.
TEST(OverlayManyRingsTest, UncrossedRingsLieWhereTheirPointsLie)
{
    constexpr int Cells = 6;
    constexpr double Side = 6.0 * Cells + 4.0;
    const auto square = [](double x0, double y0, double x1, double y1, bool exterior)
    {
        return exterior ? Vertices{{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}}
                        : Vertices{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    };
    Shape holed{{Part{square(0, 0, Side, Side, true), {}}}};
    Shape squares;
    int inHoles = 0;
    for (int i = 0; i < Cells; ++i)
    {
        for (int j = 0; j < Cells; ++j)
        {
            const double x = 6.0 * i;
            const double y = 6.0 * j;
            holed.Parts[0].Holes.push_back(square(x + 3, y + 3, x + 6, y + 6, false));
            const bool inHole = (i + j) % 2 == 0;
            inHoles += inHole ? 1 : 0;
            const double at = inHole ? 4.0 : 1.0;
            squares.Parts.push_back(Part{square(x + at, y + at, x + at + 1, y + at + 1, true), {}});
        }
    }
    ASSERT_TRUE(IsValid(holed));
    ASSERT_TRUE(IsValid(squares));
    auto a = MakeFreePolygon(holed);
    auto b = MakeFreePolygon(squares);
    const double cell = GridScale * GridScale;
    const double solid = (Side * Side - 9.0 * Cells * Cells) * cell;
    const double inSolid = Cells * Cells - inHoles;
    EXPECT_NEAR(NetArea(*Overlay::Intersection(*a, *b)), inSolid * cell, 1e-6);
    EXPECT_NEAR(NetArea(*Overlay::Union(*a, *b)), solid + inHoles * cell, 1e-6);
    EXPECT_NEAR(NetArea(*Overlay::Substract(*a, *b)), solid - inSolid * cell, 1e-6);
    EXPECT_NEAR(NetArea(*Overlay::Substract(*b, *a)), inHoles * cell, 1e-6);
    CheckPair(*a, *b, "holed square against small squares");
    CheckUnionTakingOver(*a, *b, true);
}

INSTANTIATE_TEST_SUITE_P(PairKinds, OverlayPropertyTest,
                         ::testing::Range(0, static_cast<int>(ShapeGenerator::PairKind::Count)),
                         [](const ::testing::TestParamInfo<int>& parameter)
                         {
                             std::string name = ShapeGenerator::Name(
                                 static_cast<ShapeGenerator::PairKind>(parameter.param));
                             std::erase(name, ' ');
                             return name;
                         });

} // namespace
