#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/Precision.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Arealis/SegmentIntersection.h"
#include "PolygonQueries.h"
#include "model/ModelTestSupport.h"
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
            const Point start{magnitude * (2 * unit(random) - 1),
                              magnitude * (2 * unit(random) - 1)};
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

// Every ring's points in order, exactly.
std::string Dump(const Polygon& polygon)
{
    std::ostringstream text;
    text << std::hexfloat;
    for (const Ring* ring : ModelTesting::RingsOf(polygon))
    {
        for (const Point& p : Testing::PointsOf(*ring))
        {
            text << p.X << ' ' << p.Y << ',';
        }
        text << ';';
    }
    return text.str();
}

// A ring of many nodes (teeth along the top) whose straight bottom edge, split at (5, 0) or
// not, a hole touches at (5, 0). The other polygons share a stretch of that edge, inside and
// outside, or cross the teeth: the point inside the stretch is named by the hole's edge only,
// and the search for crossings inside edges (or at nodes) must cut the bottom edge there. The
// overlays are the same with the large ring's edges taken from its index or scanned.
TEST(CrossingCutsTest, AnIndexedLargeRingIsCutAsTheScanCutsIt)
{
    using ModelTesting::Box;
    const std::vector<ModelTesting::Points> others{Box(3, 4.8, 3.5, 5.3),
                                                   Box(4, 0, 6, 2),
                                                   Box(4, -2, 6, 0),
                                                   {{4, 0}, {4, 2}, {6, 2}, {6, 0}, {5, 0}}};
    for (const bool split : {false, true})
    {
        ModelTesting::Points outline{{0, 0}};
        for (int k = 0; k <= 400; ++k)
        {
            outline.push_back({10.0 * k / 400, 5.0 + 0.5 * (k % 2)});
        }
        outline.push_back({10, 0});
        if (split)
        {
            outline.push_back({5, 0});
        }
        Polygon large(nullptr);
        ModelTesting::AddRings(large, {outline, {{5, 0}, {5.5, 1}, {4.5, 1}}});
        for (std::size_t k = 0; k < others.size(); ++k)
        {
            Polygon other(nullptr);
            ModelTesting::AddRings(other, {others[k]});
            std::string cuts[2];
            for (const bool indexed : {false, true})
            {
                large.SetUseSpatialIndex(indexed);
                const auto common = Overlay::IntersectAndSubstract(large, other);
                cuts[indexed ? 1 : 0] = Dump(*common[0]) + '|' + Dump(*common[1]) + '|' +
                                        Dump(*Overlay::Substract(other, large));
            }
            large.SetUseSpatialIndex(false);
            EXPECT_EQ(cuts[1], cuts[0]) << split << ", polygon " << k;
        }
    }
}

} // namespace
