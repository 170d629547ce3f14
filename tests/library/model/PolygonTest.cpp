#include "Arealis/Polygon.h"

#include "Arealis/GeometryExceptions.h"
#include "Arealis/Overlay.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/Topology.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

std::string ValidationFailure(Polygon& polygon)
{
    return Failure([&] { polygon.Validate(true); });
}

TEST(PolygonTest, RingCircleUsesTheOwnRingFirstAndSurvivesRemovals)
{
    Polygon polygon(nullptr);
    EXPECT_EQ(polygon.GetFirstRing(), nullptr);
    EXPECT_EQ(polygon.GetRingCount(), 0);
    Ring* own = polygon.CreateRing();
    EXPECT_EQ(own, &polygon);
    Ring* second = polygon.CreateRing();
    Ring* third = polygon.CreateRing();
    EXPECT_EQ(RingsOf(polygon), (std::vector<Ring*>{own, second, third}));

    AddPoints(*own, Box(0, 0, 1, 1));
    polygon.RemoveRing(own); // the own ring is emptied and leaves the circle
    EXPECT_EQ(polygon.Count(), 0);
    EXPECT_EQ(RingsOf(polygon), (std::vector<Ring*>{second, third}));
    EXPECT_EQ(polygon.GetFirstRing(), second);

    EXPECT_EQ(polygon.CreateRing(), own); // linked in again after the ring it still points to
    EXPECT_EQ(polygon.GetRingCount(), 3);
    EXPECT_EQ(RingsOf(polygon), (std::vector<Ring*>{second, own, third}));
    polygon.RemoveRing(second);
    EXPECT_EQ(polygon.GetFirstRing(), own); // the head moved on
    polygon.RemoveRing(third);
    polygon.RemoveRing(own);
    EXPECT_EQ(polygon.GetRingCount(), 0);
    EXPECT_TRUE(polygon.IsEmpty());
}

// New rings go to the end of the circle also after the last created ring was removed or the
// circle was reordered.
TEST(PolygonTest, CreateRingAppendsAfterRemovalsAndReordering)
{
    Polygon polygon(nullptr);
    std::vector<Ring*> expected;
    for (int i = 0; i < 5; ++i)
    {
        expected.push_back(polygon.CreateRing());
    }
    polygon.RemoveRing(expected.back());
    expected.pop_back();
    expected.push_back(polygon.CreateRing());
    EXPECT_EQ(RingsOf(polygon), expected);

    // Organise puts the larger exterior ring first: the ring created last is no longer last.
    Polygon organised(nullptr);
    Ring* small = organised.CreateRing();
    AddPoints(*small, Box(0, 0, 1, 1));
    Ring* large = organised.CreateRing();
    AddPoints(*large, Box(10, 10, 20, 20));
    organised.Organise();
    ASSERT_EQ(RingsOf(organised), (std::vector<Ring*>{large, small}));
    Ring* added = organised.CreateRing();
    EXPECT_EQ(RingsOf(organised), (std::vector<Ring*>{large, small, added}));
}

TEST(PolygonTest, RemoveRingAndInteriorRingChecks)
{
    Polygon polygon(nullptr);
    Ring stranger(nullptr, false);
    EXPECT_EQ(Failure([&] { polygon.RemoveRing(nullptr); }),
              "The pointer is not valid. @ Polygon, line: 428");
    EXPECT_EQ(Failure([&] { polygon.RemoveRing(&stranger); }),
              "The ring is not contained in the Polygon. @ Polygon, line: 438");
    AddRings(polygon, {Box(0, 0, 10, 10), Hole(2, 2, 4, 4)});
    EXPECT_EQ(Failure([&] { polygon.RemoveRing(&stranger); }),
              "The ring is not contained in the Polygon. @ Polygon, line: 482");

    Ring otherExterior(nullptr, false);
    AddPoints(otherExterior, Box(0, 0, 1, 1));
    EXPECT_EQ(Failure([&] { polygon.GetInteriorRings(nullptr); }),
              "The pointer is not valid. @ Polygon, line: 225");
    EXPECT_EQ(Failure([&] { polygon.GetInteriorRings(RingsOf(polygon)[1]); }),
              "The ring is interior but must be exterior. @ Polygon, line: 228");
    EXPECT_EQ(Failure([&] { polygon.GetInteriorRings(&otherExterior); }),
              "The ring is not contained in the Polygon. @ Polygon, line: 239");

    RingEnumerator holes = polygon.GetInteriorRings(&polygon);
    ASSERT_TRUE(holes.MoveNext());
    EXPECT_EQ(holes.Current(), RingsOf(polygon)[1]);
    EXPECT_FALSE(holes.MoveNext());
    EXPECT_EQ(Failure([&] { holes.Current(); }),
              "MoveNext() was not called after creation of the enumerator or last Reset() or last "
              "MoveNext() returned false @ RingEnumerator, line: 34");
}

TEST(PolygonTest, ContainsPointWithHolesAndIslands)
{
    Polygon polygon(nullptr);
    AddRings(polygon, {Box(0, 0, 10, 10), Hole(2, 2, 8, 8), Box(4, 4, 6, 6)});
    EXPECT_TRUE(polygon.ContainsPoint({1, 1}));
    EXPECT_FALSE(polygon.ContainsPoint({3, 3})); // in the hole
    EXPECT_TRUE(polygon.ContainsPoint({5, 5}));  // on the island
    EXPECT_FALSE(polygon.ContainsPoint({11, 5}));
    EXPECT_TRUE(polygon.ContainsPoint({1, 2})); // ray along the hole's lower edge
    EXPECT_TRUE(polygon.ContainsPoint({1, 4})); // ray along the island's lower edge
    EXPECT_FALSE(polygon.ContainsPoint({3, 4}));
}

TEST(PolygonTest, ContainsPointWithVerticesAndHorizontalEdgesAtTheRaysHeight)
{
    Polygon diamond(nullptr);
    AddRings(diamond, {{{0, 5}, {5, 10}, {10, 5}, {5, 0}}}); // node 0 lies on the ray's line
    EXPECT_TRUE(diamond.ContainsPoint({2, 5}));
    EXPECT_FALSE(diamond.ContainsPoint({-1, 5})); // passes two vertices
    EXPECT_FALSE(diamond.ContainsPoint({12, 5}));

    Polygon step(nullptr);
    AddRings(step, {{{0, 0}, {0, 4}, {4, 4}, {4, 2}, {8, 2}, {8, 0}}});
    EXPECT_TRUE(step.ContainsPoint({1, 2})); // ray runs along the step's horizontal edge
    EXPECT_TRUE(step.ContainsPoint({1, 3}));
    EXPECT_FALSE(step.ContainsPoint({5, 3}));
    EXPECT_TRUE(step.ContainsPoint({5, 1}));

    Polygon notch(nullptr); // a vertex pointing down onto the ray's line from above
    AddRings(notch, {{{0, 0}, {0, 4}, {2, 4}, {3, 2}, {4, 4}, {6, 4}, {6, 0}}});
    EXPECT_TRUE(notch.ContainsPoint({1, 2}));
    EXPECT_TRUE(notch.ContainsPoint({4, 2}));
}

TEST(PolygonTest, OrganiseOrdersExteriorRingsAndAssignsNestedHoles)
{
    const Points outer = Box(0, 0, 10, 10);
    Polygon polygon(nullptr);
    // Holes before their exterior rings, an island with a hole of its own, a second part.
    AddRings(polygon, {Hole(2, 2, 8, 8), Box(4, 4, 6, 6), outer, Hole(4.5, 4.5, 5.5, 5.5),
                       Box(20, 0, 30, 10), Hole(22, 2, 24, 4)});
    const std::vector<Ring*> before = RingsOf(polygon);
    polygon.Organise();
    const std::vector<Ring*> after = RingsOf(polygon);
    EXPECT_EQ(after, (std::vector<Ring*>{before[2], before[0], before[4], before[5], before[1],
                                         before[3]}));
    EXPECT_EQ(polygon.GetFirstRing(), before[2]);
    for (Ring* hole : {before[0], before[3], before[5]})
    {
        EXPECT_TRUE(hole->HasFlag(Ring::Flags::Assigned));
    }
    for (Ring* exterior : {before[1], before[2], before[4]})
    {
        EXPECT_FALSE(exterior->HasFlag(Ring::Flags::Assigned));
    }
    EXPECT_FALSE(polygon.IsModified());
    EXPECT_EQ(RingsOf(polygon, RingEnumerator::ExteriorRings),
              (std::vector<Ring*>{before[2], before[4], before[1]}));

    RingEnumerator islandHoles = polygon.GetInteriorRings(before[1]);
    ASSERT_TRUE(islandHoles.MoveNext());
    EXPECT_EQ(islandHoles.Current(), before[3]);
    EXPECT_FALSE(islandHoles.MoveNext());
    EXPECT_NO_THROW(polygon.Validate(true));
    EXPECT_TRUE(polygon.IsValid());
}

TEST(PolygonTest, OrganiseMovesAHoleThatIsInsideALaterHole)
{
    // The small hole is taken first; the large one then displaces it, and it ends unassigned
    // because it is not directly enclosed.
    Polygon polygon(nullptr);
    AddRings(polygon, {Box(0, 0, 10, 10), Hole(4, 4, 5, 5), Hole(2, 2, 8, 8)});
    const std::vector<Ring*> before = RingsOf(polygon);
    polygon.Organise();
    EXPECT_EQ(RingsOf(polygon), (std::vector<Ring*>{before[0], before[2], before[1]}));
    EXPECT_TRUE(before[2]->HasFlag(Ring::Flags::Assigned));
    EXPECT_FALSE(before[1]->HasFlag(Ring::Flags::Assigned));
    EXPECT_EQ(
        ValidationFailure(polygon),
        "An interior ring is not directly enclosed by an exterior ring. @ Polygon, line: 853");
}

// Enough exterior rings, and holes in one of them, that they are found through indices of their
// bounds: the order must be the one the pairwise search gives, a displaced hole included.
TEST(PolygonTest, OrganisesManyRingsInTheOrderOfFew)
{
    constexpr int Cells = 6;
    Polygon polygon(nullptr);
    std::vector<Points> rings{Box(0, 0, 100, 100)};
    for (int i = 0; i < Cells * Cells; ++i)
    {
        const double x = 15.0 * (i % Cells);
        const double y = 15.0 * (i / Cells);
        // A hole with an island in it, the island's hole first and the island last.
        rings.push_back(Hole(x + 5, y + 5, x + 9, y + 9));
        rings.push_back(Hole(x + 1, y + 1, x + 13, y + 13));
        rings.push_back(Box(x + 3, y + 3, x + 11, y + 11));
    }
    // In the strip beside the cells: a hole, then a larger one around it that displaces it.
    rings.push_back(Hole(92, 92, 93, 93));
    rings.push_back(Hole(91, 91, 98, 98));
    for (const Points& points : rings)
    {
        AddPoints(*polygon.CreateRing(), points);
    }
    const std::vector<Ring*> before = RingsOf(polygon);
    polygon.Organise();

    std::vector<Ring*> expected{before[0]};
    for (int i = 0; i < Cells * Cells; ++i)
    {
        expected.push_back(before[2 + 3 * i]);
    }
    const std::size_t last = before.size() - 1;
    expected.push_back(before[last]);
    for (int i = 0; i < Cells * Cells; ++i)
    {
        expected.push_back(before[3 + 3 * i]);
        expected.push_back(before[1 + 3 * i]);
    }
    expected.push_back(before[last - 1]);
    EXPECT_EQ(RingsOf(polygon), expected);
    EXPECT_FALSE(before[last - 1]->HasFlag(Ring::Flags::Assigned));
    EXPECT_TRUE(before[last]->HasFlag(Ring::Flags::Assigned));
}

TEST(PolygonTest, OrganiseTakesARingWithoutAreaForAHole)
{
    Polygon polygon(nullptr);
    AddRings(polygon, {Box(0, 0, 10, 10), {{1, 1}, {2, 1}, {3, 1}}, Hole(2, 2, 8, 8)});
    const std::vector<Ring*> before = RingsOf(polygon);
    polygon.Organise();
    EXPECT_EQ(RingsOf(polygon), before);
    EXPECT_TRUE(before[1]->HasFlag(Ring::Flags::Assigned));
}

TEST(PolygonTest, ValidateReportsEachStructuralProblemWithItsLine)
{
    Polygon hole(nullptr);
    AddRings(hole, {Hole(0, 0, 1, 1)});
    EXPECT_EQ(
        ValidationFailure(hole),
        "An interior ring is not directly enclosed by an exterior ring. @ Polygon, line: 853");

    Polygon crossingHole(nullptr);
    AddRings(crossingHole, {Box(0, 0, 10, 10), Hole(8, 2, 12, 4)});
    EXPECT_EQ(
        ValidationFailure(crossingHole),
        "An interior ring is not directly enclosed by an exterior ring. @ Polygon, line: 853");

    Polygon empty(nullptr);
    EXPECT_EQ(ValidationFailure(empty), "Polygon has no exterior ring. @ Polygon, line: 857");

    Polygon overlapping(nullptr);
    AddRings(overlapping, {Box(0, 0, 10, 10), Box(5, 5, 15, 15)});
    EXPECT_EQ(ValidationFailure(overlapping),
              "An exterior ring area partially overlaps an other exterior ring area. @ Polygon, "
              "line: 899");

    Polygon nested(nullptr);
    AddRings(nested, {Box(0, 0, 10, 10), Box(2, 2, 4, 4)});
    EXPECT_EQ(ValidationFailure(nested),
              "An exterior ring encloses an other exterior ring that is not directly enclosed by a "
              "corresponding interior ring (directly enclosed by the first exterior ring). @ "
              "Polygon, line: 896");

    Polygon islandAcrossHole(nullptr);
    AddRings(islandAcrossHole, {Box(0, 0, 10, 10), Hole(2, 2, 8, 8), Box(7, 7, 9, 9)});
    EXPECT_EQ(
        ValidationFailure(islandAcrossHole),
        "An exterior ring area partially overlaps an interior ring area. @ Polygon, line: 891");

    Polygon overlappingHoles(nullptr);
    AddRings(overlappingHoles, {Box(0, 0, 10, 10), Hole(2, 2, 6, 6), Hole(4, 4, 8, 8)});
    EXPECT_EQ(ValidationFailure(overlappingHoles),
              "An interior ring area partially overlaps an other interior ring area. @ Polygon, "
              "line: 915");

    // A failed polygon stays known as invalid until it changes.
    EXPECT_FALSE(overlappingHoles.IsValid());
    EXPECT_FALSE(overlappingHoles.HasPolygonFlag(Polygon::PolygonFlags::Valid));
    EXPECT_FALSE(overlappingHoles.HasPolygonFlag(Polygon::PolygonFlags::Unchecked));
}

// Pairs of exterior rings are found by a sweep over their bounds, but a polygon with several
// faults still reports the first pair in ring order: here the overlap of the first and last
// rings, not the enclosed ring that lies further left.
TEST(PolygonTest, ValidateReportsTheFirstFaultyPairInRingOrder)
{
    Polygon polygon(nullptr);
    AddRings(polygon, {Box(10, 0, 20, 10), Box(0, 0, 5, 10), Box(1, 1, 2, 2), Box(15, 5, 25, 15)});
    EXPECT_EQ(ValidationFailure(polygon),
              "An exterior ring area partially overlaps an other exterior ring area. @ Polygon, "
              "line: 899");

    // Two hundred separate squares in shuffled order along a row, then one across a gap.
    Polygon scattered(nullptr);
    for (int i = 0; i < 200; ++i)
    {
        const double left = 3.0 * ((i * 37) % 200);
        AddRings(scattered, {Box(left, 0, left + 2, 2)});
    }
    EXPECT_NO_THROW(scattered.Validate(true));
    AddRings(scattered, {Box(100.5, 1, 101.5, 3)});
    EXPECT_EQ(ValidationFailure(scattered),
              "An exterior ring area partially overlaps an other exterior ring area. @ Polygon, "
              "line: 899");
}

// Rings of many nodes are compared through a grid of their edges instead of an overlay per
// pair: a ring in the notch of a U lies apart from it, one in an arm lies inside it, and a
// hole running along part of a long edge among many others still makes the polygon invalid.
TEST(PolygonTest, ValidatesLargeRingsApartInsideAndAlongEachOther)
{
    Points u{{0, 0}};
    for (int i = 1; i <= 1100; ++i)
    {
        u.push_back({0, i / 110.0});
    }
    u.insert(u.end(), {{10, 10}, {10, 0}, {7, 0}, {7, 7}, {3, 7}, {3, 0}});
    Polygon inNotch(nullptr);
    AddRings(inNotch, {u, Box(4, 1, 6, 3)});
    EXPECT_NO_THROW(inNotch.Validate(true));
    Polygon inArm(nullptr);
    AddRings(inArm, {u, Box(1, 1, 2, 2)});
    EXPECT_EQ(ValidationFailure(inArm),
              "An exterior ring encloses an other exterior ring that is not directly enclosed by a "
              "corresponding interior ring (directly enclosed by the first exterior ring). @ "
              "Polygon, line: 896");

    Polygon holes(nullptr);
    AddRings(holes, {Box(0, 0, 1000, 10)});
    for (int i = 0; i < 99; ++i)
    {
        AddRings(holes, {Hole(10 * i + 1, 1, 10 * i + 5, 5)});
    }
    EXPECT_NO_THROW(holes.Validate(true));
    AddRings(holes, {Hole(995, 0, 997, 3)});
    EXPECT_EQ(
        ValidationFailure(holes),
        "An exterior ring area partially overlaps an interior ring area. @ Polygon, line: 891");
}

TEST(PolygonTest, ValidatesTwoDisjointPartsAndRingErrorsOnlyWhenAsked)
{
    Polygon parts(nullptr);
    AddRings(parts, {Box(0, 0, 1, 1), Box(5, 5, 6, 6)});
    EXPECT_NO_THROW(parts.Validate(true));
    EXPECT_TRUE(parts.HasPolygonFlag(Polygon::PolygonFlags::Valid));

    Polygon withBowTie(nullptr);
    AddRings(withBowTie, {{{0, 0}, {0, 2}, {2, 0}, {2, 2}}});
    EXPECT_THROW(withBowTie.Validate(true), SelfIntersectingRingException);
    EXPECT_FALSE(withBowTie.IsValid());
}

TEST(PolygonTest, IsEqualWithToleranceMatchesRingsInAnyOrder)
{
    Polygon square(nullptr);
    AddRings(square, {Box(0, 0, 10, 10), Hole(2, 2, 4, 4)});
    Polygon shifted(nullptr);
    AddRings(shifted, {Hole(2.005, 2, 4, 4.005), {{10, 10.005}, {10.005, 0}, {0, 0}, {0, 10}}});
    EXPECT_TRUE(square.IsEqual(&shifted, 0.01));
    EXPECT_TRUE(shifted.IsEqual(&square, 0.01));
    EXPECT_FALSE(square.IsEqual(&shifted, 0.001));

    Polygon withoutHole(nullptr);
    AddRings(withoutHole, {Box(0, 0, 10, 10)});
    EXPECT_FALSE(square.IsEqual(&withoutHole, 0.01));
    Polygon empty(nullptr);
    Polygon alsoEmpty(nullptr);
    EXPECT_FALSE(empty.IsEqual(&alsoEmpty, 0.01));
    EXPECT_EQ(Failure([&] { square.IsEqual(nullptr, 0); }),
              "The pointer is not valid. @ Polygon, line: 705");
}

TEST(PolygonTest, NearestNodeAndEdgeOverAllRings)
{
    Polygon polygon(nullptr);
    AddRings(polygon, {Box(0, 0, 4, 4), Box(6, 0, 10, 4)});
    const std::vector<Ring*> rings = RingsOf(polygon);
    Ring* ring = nullptr;
    std::int32_t index = -1;
    double distance = -1;
    ASSERT_TRUE(polygon.FindNode({5, 2}, 3.0, &ring, &index, &distance)); // a tie: earlier ring
    EXPECT_EQ(ring, rings[0]);
    EXPECT_EQ(index, 2);
    EXPECT_NEAR(distance, std::sqrt(5.0), 1e-12);
    EXPECT_FALSE(polygon.FindNode({5, 2}, 1.0, &ring, &index, nullptr));
    EXPECT_EQ(ring, nullptr);
    EXPECT_EQ(index, -1);

    ASSERT_TRUE(polygon.FindEdge({6.5, 2}, 1.0, &ring, &index, &distance));
    EXPECT_EQ(ring, rings[1]);
    EXPECT_EQ(index, 0);
    EXPECT_DOUBLE_EQ(distance, 0.5);
    ASSERT_TRUE(polygon.FindEdge({3, 0.2}, 1.0, &ring, &index, &distance));
    EXPECT_EQ(ring, rings[0]);
    EXPECT_EQ(index, 3); // the closing edge (3 -> 0) has number 3

    EXPECT_EQ(Failure(
                  [&] {
                      polygon.FindNode({0, 0}, -1, &ring, &index, nullptr);
                  }),
              "dToleranceDistance < 0 @ Polygon, line: 616");
    EXPECT_EQ(Failure(
                  [&] {
                      polygon.FindNode({0, 0}, 1, nullptr, &index, nullptr);
                  }),
              "ppRing == NULL @ Polygon, line: 619");
    EXPECT_EQ(Failure(
                  [&] {
                      polygon.FindNode({0, 0}, 1, &ring, nullptr, nullptr);
                  }),
              "pNodeIndex == NULL @ Polygon, line: 622");
    EXPECT_EQ(Failure(
                  [&] {
                      polygon.FindEdge({0, 0}, -1, &ring, &index, nullptr);
                  }),
              "dToleranceDistance < 0 @ Polygon, line: 561");
    EXPECT_EQ(Failure(
                  [&] {
                      polygon.FindEdge({0, 0}, 1, nullptr, &index, nullptr);
                  }),
              "ppRing == NULL @ Polygon, line: 564");
    EXPECT_EQ(Failure(
                  [&] {
                      polygon.FindEdge({0, 0}, 1, &ring, nullptr, nullptr);
                  }),
              "pEdgeIndex == NULL @ Polygon, line: 567");
}

TEST(PolygonTest, ConvexOnlyWithOneConvexRing)
{
    Polygon one(nullptr);
    AddRings(one, {Box(0, 0, 1, 1)});
    EXPECT_TRUE(one.IsConvex());
    Polygon two(nullptr);
    AddRings(two, {Box(0, 0, 1, 1), Box(3, 3, 4, 4)});
    EXPECT_FALSE(two.IsConvex());
    Polygon none(nullptr);
    EXPECT_FALSE(none.IsConvex());
}

TEST(PolygonTest, CleanRemovesDegenerateRingsAndSplitsSelfIntersections)
{
    Polygon polygon(nullptr);
    AddRings(polygon, {{{0, 0}, {0, 2}, {2, 0}, {2, 2}}, {{5, 5}, {6, 6}, {5, 5}}});
    polygon.Clean(false);
    ASSERT_EQ(polygon.GetRingCount(), 1); // the spike ring left only two nodes
    EXPECT_EQ(polygon.GetFirstRing()->Count(), 4);
    polygon.Clean(true);
    EXPECT_EQ(polygon.GetRingCount(), 2);
    EXPECT_EQ(polygon.GetNodeCount(), 6);
}

TEST(PolygonTest, OverlapsNeedsACommonArea)
{
    Polygon a(nullptr);
    AddRings(a, {Box(0, 0, 10, 10)});
    Polygon b(nullptr);
    AddRings(b, {Box(5, 5, 15, 15)});
    Polygon touching(nullptr);
    AddRings(touching, {Box(10, 0, 20, 10)});
    Polygon inHole(nullptr);
    AddRings(inHole, {Box(20, 20, 30, 30), Hole(22, 22, 28, 28)});
    Polygon island(nullptr);
    AddRings(island, {Box(24, 24, 26, 26)});
    EXPECT_TRUE(a.Overlaps(&b));
    EXPECT_FALSE(a.Overlaps(&touching));
    EXPECT_FALSE(inHole.Overlaps(&island));
    EXPECT_EQ(Failure([&] { a.Overlaps(nullptr); }),
              "The pointer is not valid. @ Polygon, line: 692");
}

// Committed valid polygons may be told to overlap by a point clear inside both; whatever the
// way, the answer is the overlay's: holes (with an island in one), a sliver overlap narrower
// than the margin, neighbours that touch, two crossing stars.
TEST(PolygonTest, OverlapsOfCommittedPolygonsIsTheOverlaysAnswer)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(true);
    const auto add = [&](std::initializer_list<Points> rings)
    {
        Polygon* polygon = layer.CreatePolygon();
        AddRings(*polygon, rings);
        return polygon;
    };
    const auto star = [](double turn)
    {
        Points points;
        for (int k = 0; k < 400; ++k)
        {
            const double angle = (k + turn) * 3.141592653589793 / 200;
            const double radius = k % 2 == 0 ? 100.0 : 30.0;
            points.push_back({radius * std::cos(angle), -radius * std::sin(angle)});
        }
        return points;
    };
    const std::vector<Polygon*> polygons{
        add({Box(0, 0, 10, 10)}),
        add({Box(5, 5, 15, 15)}),
        add({Box(10, 0, 20, 10)}),                                             // touches the first
        add({Box(9.99, 0, 30, 10)}),                                           // a sliver over it
        add({Box(20, 20, 40, 40), Hole(22, 22, 38, 38), Box(28, 28, 32, 32)}), // island in hole
        add({Box(24, 24, 36, 36)}), // in the hole, over it
        add({Box(25, 25, 27, 27)}), // in the hole only
        add({star(0.0)}),
        add({star(0.5)}),
    };
    layer.Commit();
    int overlapping = 0;
    for (Polygon* a : polygons)
    {
        for (Polygon* b : polygons)
        {
            if (a == b)
            {
                continue;
            }
            const bool overlay = Arealis::Overlay::Intersection(*a, *b)->GetNodeCount() > 0;
            EXPECT_EQ(a->Overlaps(b), overlay) << a->GetBounds().MinX << " " << b->GetBounds().MinX;
            overlapping += overlay ? 1 : 0;
        }
    }
    EXPECT_GT(overlapping, 10);
}

// A polygon of many rings is tested through its rings near the other polygon only; the answer
// stays the overlay's with all rings, whichever side it is on: small polygons over one of its
// boxes, touching one, within the tolerance of one, in a gap, in a hole, over an island in a
// hole and across several boxes.
TEST(PolygonTest, OverlapsOfAPolygonOfManyRingsIsTheOverlaysAnswer)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(true);
    Polygon& many = *layer.CreatePolygon();
    for (int i = 0; i < 10; ++i)
    {
        for (int j = 0; j < 10; ++j)
        {
            AddPoints(*many.CreateRing(), Box(2 * i, 2 * j, 2 * i + 1, 2 * j + 1));
        }
    }
    AddPoints(*many.CreateRing(), Hole(6.2, 6.2, 6.8, 6.8));
    AddPoints(*many.CreateRing(), Box(6.4, 6.4, 6.6, 6.6));
    const auto add = [&](const Points& ring) { return &AddRings(*layer.CreatePolygon(), {ring}); };
    const std::vector<Polygon*> smalls{
        add(Box(0.5, 0.5, 1.5, 1.5)),         add(Box(1, 2, 1.8, 2.8)),
        add(Box(1.0003, 4, 1.8, 4.8)),        add(Box(1.2, 1.2, 1.8, 1.8)),
        add(Box(6.3, 6.3, 6.35, 6.35)),       add(Box(6.3, 6.3, 6.5, 6.5)),
        add(Box(3.5, 3.5, 9.5, 9.5)),         add(Box(18.9999, 18.5, 19.5, 19.5))};
    layer.Commit();
    int overlapping = 0;
    for (Polygon* small : smalls)
    {
        const bool overlay = Arealis::Overlay::Intersection(many, *small)->GetNodeCount() > 0;
        EXPECT_EQ(many.Overlaps(small), overlay) << small->GetBounds().MinX;
        EXPECT_EQ(small->Overlaps(&many), overlay) << small->GetBounds().MinX;
        overlapping += overlay ? 1 : 0;
    }
    EXPECT_GE(overlapping, 3);
    EXPECT_LE(overlapping, 6);
}

// A spike a grid step wide that folds back across itself is split into slivers thinner than the
// node grid; they enclose nothing and are dropped, so that the rest of the polygon is valid. A ring
// that is such a sliver all over still fails as a ring of zero area.
TEST(PolygonTest, CleanDropsSliversCutFromAFoldedSpike)
{
    Polygon polygon(nullptr);
    AddRings(
        polygon,
        {{{0, 0}, {0, 10}, {5, 10}, {5, 12}, {5.000001, 11}, {4.999999, 10.2}, {10, 10}, {10, 0}}});
    polygon.Clean(true);
    EXPECT_EQ(polygon.GetRingCount(), 1);
    EXPECT_NO_THROW(polygon.Validate(false));
    EXPECT_NEAR(polygon.GetFirstRing()->GetSignedArea(), 100.5, 1e-5);

    Polygon sliver(nullptr);
    AddRings(sliver, {{{5, 10.6}, {5, 12}, {5.000001, 11}, {4.999999, 10.2}}});
    sliver.Clean(true);
    EXPECT_EQ(Failure([&] { sliver.Validate(false); }).substr(0, 23), "The ring has zero area.");
}

// A hole (or a part) a grid step thin encloses nothing the node grid holds, but simple-features
// readers take the polygon as valid: the thin ring goes, the polygon stays. Without any ring of
// clear area the polygon still fails.
TEST(PolygonTest, CleanDropsRingsThinnerThanTheNodeGrid)
{
    const Points square{{0, 0}, {0, 10}, {10, 10}, {10, 0}};
    const Points thinHole{{2, 2}, {8, 2}, {5, 2.000001}};
    const Points thinPart{{20, 0}, {26, 0.000001}, {30, 0}};
    Polygon polygon(nullptr);
    AddRings(polygon, {square, thinHole, thinPart});
    polygon.Clean(true);
    EXPECT_EQ(polygon.GetRingCount(), 1);
    EXPECT_NO_THROW(polygon.Validate(false));
    EXPECT_DOUBLE_EQ(polygon.GetFirstRing()->GetSignedArea(), 100.0);

    Polygon onlyThin(nullptr);
    AddRings(onlyThin, {thinPart});
    onlyThin.Clean(true);
    EXPECT_EQ(Failure([&] { onlyThin.Validate(false); }).substr(0, 23), "The ring has zero area.");
}

} // namespace
