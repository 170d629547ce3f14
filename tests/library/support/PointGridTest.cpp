#include "support/PointGrid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory_resource>
#include <random>
#include <vector>

using namespace Arealis;

namespace
{

// Distance from p to the segment a-b, in doubles: precise enough against a reach of 1e-6
// when the point was put on the segment or clearly off it.
double DistanceToSegment(const Point& p, const Point& a, const Point& b)
{
    const double dx = b.X - a.X;
    const double dy = b.Y - a.Y;
    const double length2 = dx * dx + dy * dy;
    const double t =
        length2 == 0.0 ? 0.0 : std::clamp(((p.X - a.X) * dx + (p.Y - a.Y) * dy) / length2, 0.0, 1.0);
    return std::hypot(p.X - (a.X + t * dx), p.Y - (a.Y + t * dy));
}

// Every point on or very near a segment is among the grid's candidates, whatever the layout of
// the points: spread, on one horizontal or vertical line, all in one place, far from zero.
TEST(PointGridTest, FindsEveryPointNearASegment)
{
    struct Layout
    {
        const char* Name;
        double OffsetX;
        double OffsetY;
        double ScaleX;
        double ScaleY;
    };
    const Layout layouts[] = {{"spread", 0.0, 0.0, 100.0, 100.0},
                              {"flat", 0.0, 5.0, 100.0, 0.0},
                              {"upright", -3.0, 0.0, 0.0, 100.0},
                              {"one place", 7.0, 7.0, 0.0, 0.0},
                              {"far out", 1e9, -1e9, 1000.0, 10.0}};
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Layout& layout : layouts)
    {
        SCOPED_TRACE(layout.Name);
        const auto place = [&](double u, double v)
        { return Point{layout.OffsetX + u * layout.ScaleX, layout.OffsetY + v * layout.ScaleY}; };
        std::vector<Point> points;
        std::vector<std::pair<Point, Point>> segments;
        for (int s = 0; s < 60; ++s)
        {
            const Point a = place(unit(random), unit(random));
            const Point b = place(unit(random), unit(random));
            segments.emplace_back(a, b);
            // Points on the segment, and some scattered around it.
            for (int k = 0; k < 5; ++k)
            {
                const double t = unit(random);
                points.push_back({a.X + t * (b.X - a.X), a.Y + t * (b.Y - a.Y)});
                points.push_back(place(unit(random), unit(random)));
            }
        }
        std::pmr::monotonic_buffer_resource memory;
        const Detail::PointGrid grid(
            points.size(), [&](std::size_t i) { return points[i]; }, &memory);
        std::pmr::vector<std::int32_t> found(&memory);
        for (const auto& [a, b] : segments)
        {
            found.clear();
            grid.CollectNearSegment(a, b, 1e-6, found);
            std::sort(found.begin(), found.end());
            ASSERT_EQ(std::adjacent_find(found.begin(), found.end()), found.end());
            for (std::size_t i = 0; i < points.size(); ++i)
            {
                if (DistanceToSegment(points[i], a, b) <= 5e-7)
                {
                    EXPECT_TRUE(std::binary_search(found.begin(), found.end(),
                                                   static_cast<std::int32_t>(i)))
                        << "point " << i;
                }
            }
        }
    }
}

} // namespace
