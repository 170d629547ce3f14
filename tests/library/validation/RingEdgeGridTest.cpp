#include "validation/RingEdgeGrid.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <vector>

using namespace Arealis;

namespace
{

// A star of thin spikes: long slanted edges and narrow gaps between them, where a grid cell
// holds parts of many edges.
std::vector<Point> Star(int spikes)
{
    std::vector<Point> points;
    for (int k = 0; k < 2 * spikes; ++k)
    {
        const double angle = std::numbers::pi * k / spikes;
        const double radius = k % 2 == 0 ? 100.0 : 40.0;
        points.push_back({radius * std::cos(angle), radius * std::sin(angle)});
    }
    return points;
}

bool Inside(const std::vector<Point>& ring, const Point& p)
{
    bool inside = false;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        if ((a.Y > p.Y) != (b.Y > p.Y) && a.X + (p.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y) > p.X)
        {
            inside = !inside;
        }
    }
    return inside;
}

// Whether the segment meets the rectangle, by clipping it: the reference for HasEdgeNear.
bool Meets(const Point& a, const Point& b, const Rectangle& r)
{
    double t0 = 0.0;
    double t1 = 1.0;
    const double d[2] = {b.X - a.X, b.Y - a.Y};
    const double lo[2] = {r.MinX - a.X, r.MinY - a.Y};
    const double hi[2] = {r.MaxX - a.X, r.MaxY - a.Y};
    for (int axis = 0; axis < 2; ++axis)
    {
        if (d[axis] == 0.0)
        {
            if (lo[axis] > 0.0 || hi[axis] < 0.0)
            {
                return false;
            }
            continue;
        }
        double enter = lo[axis] / d[axis];
        double leave = hi[axis] / d[axis];
        if (enter > leave)
        {
            std::swap(enter, leave);
        }
        t0 = std::max(t0, enter);
        t1 = std::min(t1, leave);
    }
    return t0 <= t1;
}

// Against a scan of every edge: inside or outside for points clear of the boundary, and an
// edge reported near every small box that an edge passes through.
TEST(RingEdgeGridTest, AgreesWithAScanOfAllEdges)
{
    const std::vector<Point> star = Star(200);
    Polygon polygon(nullptr);
    Ring* ring = polygon.CreateRing();
    for (const Point& p : star)
    {
        ring->AddNode(p.X, p.Y);
    }
    const Detail::RingEdgeGrid grid(*ring);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> coordinate(-110.0, 110.0);
    std::uniform_real_distribution<double> size(0.0, 2.0);
    int near = 0;
    for (int i = 0; i < 3000; ++i)
    {
        const Point corner{coordinate(random), coordinate(random)};
        const Rectangle box{corner.X, corner.Y, corner.X + size(random), corner.Y + size(random)};
        bool meets = false;
        for (std::size_t k = 0; k < star.size() && !meets; ++k)
        {
            meets = Meets(star[k], star[(k + 1) % star.size()], box);
        }
        const bool said = grid.HasEdgeNear(box, 0.0);
        near += said ? 1 : 0;
        if (meets)
        {
            EXPECT_TRUE(said) << corner.X << " " << corner.Y;
        }
        else if (!said)
        {
            EXPECT_EQ(grid.Encloses(corner), Inside(star, corner)) << corner.X << " " << corner.Y;
        }
    }
    // Both kinds of boxes came up.
    EXPECT_GT(near, 100);
    EXPECT_LT(near, 2900);
}

} // namespace
