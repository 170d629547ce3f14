#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/Precision.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/SegmentIntersection.h"
#include "PolygonQueries.h"
#include "overlay/EdgeLineFilter.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace Arealis;
using Arealis::Detail::EdgeLineFilter;

namespace
{

TEST(EdgeLineFilterTest, KeepsEveryPointTheProbeTestPutsOnTheEdgeAndLetsGoOfFarOnes)
{
    const double step = CurrentPrecision().GridStep;
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int onEdge = 0;
    for (const double magnitude : {1.0, 1e3, 1e6, 1e9})
    {
        for (int k = 0; k < 4000; ++k)
        {
            const Point start{magnitude * (2 * unit(random) - 1), magnitude * (2 * unit(random) - 1)};
            const double length = std::pow(10.0, -5.0 + 7.0 * unit(random));
            const double angle = 2 * std::numbers::pi * unit(random);
            const Point end{start.X + length * std::cos(angle), start.Y + length * std::sin(angle)};
            // A point along the edge (a little beyond its ends too), moved off its line by up to
            // three grid steps.
            const double t = -0.01 + 1.02 * unit(random);
            const double off = (6 * unit(random) - 3) * step;
            const Point p{start.X + t * (end.X - start.X) - off * std::sin(angle),
                          start.Y + t * (end.Y - start.Y) + off * std::cos(angle)};
            const EdgeLineFilter line(start, end, step);
            if (IsPointOnSegment(p, start, end, ProximityMode::Exact))
            {
                ++onEdge;
                ASSERT_TRUE(line.MayBeOn(p)) << magnitude << ", " << k;
                ASSERT_TRUE(line.MayMeet(Rectangle(p, Point{p.X + step, p.Y - step})))
                    << magnitude << ", " << k;
            }
            else if (magnitude <= 1e3 && std::fabs(off) > 2.5 * step)
            {
                EXPECT_FALSE(line.MayBeOn(p)) << magnitude << ", " << k;
                EXPECT_FALSE(line.MayMeet(Rectangle(p, p))) << magnitude << ", " << k;
            }
        }
    }
    EXPECT_GT(onEdge, 1000);
}

std::unique_ptr<Polygon> PolygonOf(const std::vector<Point>& points)
{
    auto polygon = std::make_unique<Polygon>(nullptr);
    Ring* ring = polygon->CreateRing();
    for (const Point& p : points)
    {
        ring->AddNode(p.X, p.Y);
    }
    return polygon;
}

std::unique_ptr<Polygon> Square(double x, double y, double side)
{
    return PolygonOf({{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}});
}

// A polygon of many nodes whose straight bottom edge (from (0, 0) to (10, 0), with a node at
// (5, 0) when split) a hole touches at (5, 0): a polygon running along that edge shares a
// stretch with it, and only the hole's edge names the point inside the stretch.
std::unique_ptr<Polygon> Comb(bool split)
{
    auto comb = std::make_unique<Polygon>(nullptr);
    Ring* ring = comb->CreateRing();
    ring->AddNode(0, 0);
    for (int k = 0; k <= 400; ++k)
    {
        ring->AddNode(10.0 * k / 400, 5.0 + 0.5 * (k % 2));
    }
    ring->AddNode(10, 0);
    if (split)
    {
        ring->AddNode(5, 0);
    }
    Ring* hole = comb->CreateRing();
    for (const Point& p : {Point{5, 0}, Point{5.5, 1}, Point{4.5, 1}})
    {
        hole->AddNode(p.X, p.Y);
    }
    return comb;
}

// Every ring's points in order, exactly.
std::string Dump(const Polygon& polygon)
{
    std::ostringstream text;
    text << std::hexfloat;
    RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        for (const Point& p : Testing::PointsOf(*rings.Current()))
        {
            text << p.X << ' ' << p.Y << ',';
        }
        text << ';';
    }
    return text.str();
}

// The overlays of the large polygon with each small one come out the same whether the large
// one's crossing cuts are searched through its edge index or by a scan of its edges.
void ExpectSameCutsIndexed(Polygon& large, const std::vector<std::unique_ptr<Polygon>>& smalls)
{
    for (std::size_t s = 0; s < smalls.size(); ++s)
    {
        std::string scanned;
        for (const bool indexed : {false, true})
        {
            large.SetUseSpatialIndex(indexed);
            const auto common = Overlay::IntersectAndSubstract(large, *smalls[s]);
            const auto outside = Overlay::Substract(*smalls[s], large);
            const std::string cut =
                Dump(*common[0]) + '|' + Dump(*common[1]) + '|' + Dump(*outside);
            if (!indexed)
            {
                scanned = cut;
            }
            else
            {
                EXPECT_EQ(cut, scanned) << "small polygon " << s;
            }
        }
    }
    large.SetUseSpatialIndex(false);
}

TEST(CrossingCutsTest, AnIndexedLargeRingIsCutAsTheScanCutsIt)
{
    // A stretch shared with the comb's bottom edge, inside and outside the comb, which the
    // hole's corner cuts inside the edge or at its node: the cuts that the search adds.
    std::vector<std::unique_ptr<Polygon>> along;
    along.push_back(Square(3, 4.8, 0.5)); // across the teeth
    along.push_back(Square(4, 0, 2));
    along.push_back(Square(4, -2, 2));
    // With a node at the hole's corner too: the two rings share their nodes there.
    along.push_back(PolygonOf({{4, 0}, {4, 2}, {6, 2}, {6, 0}, {5, 0}}));
    for (const bool split : {false, true})
    {
        ExpectSameCutsIndexed(*Comb(split), along);
    }
}

} // namespace
