// The thinning of two edge lists before their intersection search must leave the search's
// answer as it was: the same meetings (the order may differ; the overlay orders its cuts).

#include "overlay/NearEdges.h"

#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"
#include "intersection/RingEdgeSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <vector>

using namespace Arealis;
using EdgeTesting::EdgesOf;
using EdgeTesting::EntriesOf;
using EdgeTesting::IntersectionEntry;
using EdgeTesting::MakeRing;

namespace
{

// A wavy closed outline of count points around (cx, cy), turned by angle: two of them with
// slightly different centres cross a few times and otherwise run apart.
std::unique_ptr<Ring> Outline(int count, double cx, double cy, double angle, std::mt19937& random)
{
    std::uniform_real_distribution<double> wobble(-0.02, 0.02);
    std::vector<Point> points;
    for (int i = 0; i < count; ++i)
    {
        const double t = 2 * std::numbers::pi * i / count + angle;
        const double r = 10.0 + std::sin(7 * t) + wobble(random);
        points.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
    }
    return MakeRing(points);
}

std::vector<IntersectionEntry> SortedMeetings(const EdgeList& first, const EdgeList& second)
{
    IntersectionList found;
    SweepLineIntersectionAlgorithm::Instance().FindIntersections(first, second, found, false);
    std::vector<IntersectionEntry> entries = EntriesOf(found);
    std::sort(entries.begin(), entries.end());
    return entries;
}

struct Thinned
{
    std::vector<IntersectionEntry> Meetings;
    std::int32_t FirstKept = 0;
    std::int32_t SecondKept = 0;
};

// The lists of all edges of each ring, thinned.
Thinned ThinnedMeetings(const Ring& a, const Ring& b)
{
    EdgeList first = EdgesOf(a);
    EdgeList second = EdgesOf(b);
    Detail::KeepEdgesNearOtherList(first, second, a.GetBounds(), b.GetBounds());
    return {SortedMeetings(first, second), first.Count(), second.Count()};
}

} // namespace

TEST(NearEdges, ThinnedListsGiveTheSameMeetings)
{
    std::mt19937 random(13);
    for (int round = 0; round < 6; ++round)
    {
        const auto a = Outline(1500, 0.0, 0.0, 0.0, random);
        // Shifted and turned copies; the last rounds shift by less than the tolerance along
        // stretches, so edges touch and overlap.
        const double shift = round < 4 ? 0.8 * (round + 1) : 0.0;
        const auto b = Outline(1500, shift, 0.5 * shift, round < 5 ? 0.01 * round : 0.0, random);
        const EdgeList first = EdgesOf(*a);
        const EdgeList second = EdgesOf(*b);
        const Thinned thinned = ThinnedMeetings(*a, *b);
        EXPECT_EQ(thinned.Meetings, SortedMeetings(first, second)) << "round " << round;
        EXPECT_FALSE(thinned.Meetings.empty()) << "round " << round;
        if (round < 4)
        {
            // Boundaries that run apart: most edges go.
            EXPECT_LT(thinned.FirstKept, first.Count() / 2) << "round " << round;
            EXPECT_LT(thinned.SecondKept, second.Count() / 2) << "round " << round;
        }
    }
}

TEST(NearEdges, RandomGridRingsKeepTheirMeetings)
{
    // Rings on a coarse integer grid meet at shared vertices and along collinear stretches.
    std::mt19937 random(7);
    for (int round = 0; round < 2; ++round)
    {
        const auto a = EdgeTesting::RandomRing(random, 520, 400);
        const auto b = EdgeTesting::RandomRing(random, 520, 400);
        const EdgeList first = EdgesOf(*a);
        const EdgeList second = EdgesOf(*b);
        EXPECT_EQ(ThinnedMeetings(*a, *b).Meetings, SortedMeetings(first, second));
    }
}

TEST(NearEdges, ListsApartAndLongEdges)
{
    std::mt19937 random(3);
    const auto a = Outline(1200, 0.0, 0.0, 0.0, random);
    // Far away: nothing can meet, both lists go.
    const auto far = Outline(1200, 100.0, 0.0, 0.0, random);
    const Thinned apart = ThinnedMeetings(*a, *far);
    EXPECT_TRUE(apart.Meetings.empty());
    EXPECT_EQ(apart.FirstKept + apart.SecondKept, 0);
    // A long thin rectangle across the outline: its long edges cover many cells each and
    // stay, with their meetings, as do the outline's edges near them.
    const auto cross = MakeRing({{-15, -1}, {15, -1}, {15, 1}, {-15, 1}});
    const EdgeList first = EdgesOf(*a);
    const EdgeList second = EdgesOf(*cross);
    const Thinned thinned = ThinnedMeetings(*a, *cross);
    EXPECT_EQ(thinned.Meetings, SortedMeetings(first, second));
    EXPECT_EQ(thinned.SecondKept, 2); // the short sides lie beyond the outline
    EXPECT_LT(thinned.FirstKept, first.Count() / 4);
}

TEST(NearEdges, ShortListsStayWhole)
{
    std::mt19937 random(5);
    const auto a = Outline(100, 0.0, 0.0, 0.0, random);
    const auto far = Outline(100, 100.0, 0.0, 0.0, random);
    EdgeList first = EdgesOf(*a);
    EdgeList second = EdgesOf(*far);
    Detail::KeepEdgesNearOtherList(first, second, a->GetBounds(), far->GetBounds());
    EXPECT_EQ(first.Count(), 100);
    EXPECT_EQ(second.Count(), 100);
}
