#include "validation/RingAreas.h"

#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

using namespace Arealis;

namespace
{

Ring* AddRing(Polygon& polygon, const std::vector<Point>& points)
{
    Ring* ring = polygon.CreateRing();
    for (const Point& p : points)
    {
        ring->AddNode(p.X, p.Y);
    }
    return ring;
}

std::vector<Point> Square(double x, double y, double size)
{
    return {{x, y}, {x, y + size}, {x + size, y + size}, {x + size, y}};
}

// A large ring's temporary polygon is kept and used again: every answer, asked twice and in
// both orders, is the one of Ring::Overlaps and Ring::Contains.
TEST(RingAreasTest, KeptTemporaryPolygonsGiveTheRingsOwnAnswers)
{
    Polygon polygon(nullptr);
    std::vector<Point> star;
    for (int k = 0; k < 200; ++k)
    {
        const double angle = std::numbers::pi * k / 100;
        const double radius = k % 2 == 0 ? 100.0 : 40.0;
        star.push_back({radius * std::cos(angle), -radius * std::sin(angle)});
    }
    const Ring* large = AddRing(polygon, star);
    const std::vector<const Ring*> small{
        AddRing(polygon, Square(-5, -5, 10)),      // in the core
        AddRing(polygon, Square(60, -2, 10)),      // across a spike
        AddRing(polygon, Square(200, 200, 5)),     // far outside
        AddRing(polygon, Square(100, -1, 2)),      // at a spike's tip
        AddRing(polygon, Square(-150, -150, 300)), // around it all
    };
    Detail::RingAreaRelations relations;
    for (int round = 0; round < 2; ++round)
    {
        for (const Ring* ring : small)
        {
            EXPECT_EQ(relations.Overlaps(*large, *ring), large->Overlaps(ring));
            EXPECT_EQ(relations.Overlaps(*ring, *large), ring->Overlaps(large));
            EXPECT_EQ(relations.Contains(*large, *ring), large->Contains(ring));
            EXPECT_EQ(relations.Contains(*ring, *large), ring->Contains(large));
        }
    }
    EXPECT_TRUE(relations.Contains(*large, *small[0]));
    EXPECT_TRUE(relations.Overlaps(*large, *small[1]));
    EXPECT_FALSE(relations.Overlaps(*large, *small[2]));
    EXPECT_TRUE(relations.Contains(*small[4], *large));
}

} // namespace
