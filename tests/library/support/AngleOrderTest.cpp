#include "support/AngleOrder.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <vector>

using namespace Arealis::Detail;

namespace
{

double AngleOf(double dx, double dy)
{
    const double angle = std::atan2(dy, dx);
    return angle < 0.0 ? angle + 2.0 * std::numbers::pi : angle;
}

struct Vector
{
    double Dx;
    double Dy;
};

} // namespace

// Random vectors (grid-like and arbitrary, on the axes too): the order is atan2's wherever its
// angles differ clearly, a strict order otherwise, and exact multiples point the same way.
TEST(AngleOrderTest, AgreesWithAtan2AndIsStrict)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-1e3, 1e3);
    std::uniform_int_distribution<int> small(-3, 3);
    std::vector<Vector> vectors;
    for (int i = 0; i < 400; ++i)
    {
        vectors.push_back(i % 2 == 0 ? Vector{coordinate(random), coordinate(random)}
                                     : Vector{small(random) * 1e-6, small(random) * 1e-6});
        if (vectors.back().Dx == 0.0 && vectors.back().Dy == 0.0)
        {
            vectors.back().Dx = 1.0;
        }
    }
    for (const Vector& x : vectors)
    {
        EXPECT_TRUE(IsSameAngle(x.Dx, x.Dy, 4.0 * x.Dx, 4.0 * x.Dy));
        EXPECT_TRUE(IsSameAngle(x.Dx, x.Dy, 3.0 * x.Dx, 3.0 * x.Dy) ||
                    std::fma(3.0, x.Dx, -3.0 * x.Dx) != 0.0 ||
                    std::fma(3.0, x.Dy, -3.0 * x.Dy) != 0.0);
        for (const Vector& y : vectors)
        {
            const bool below = IsAngleBelow(x.Dx, x.Dy, y.Dx, y.Dy);
            const bool above = IsAngleBelow(y.Dx, y.Dy, x.Dx, x.Dy);
            const bool same = IsSameAngle(x.Dx, x.Dy, y.Dx, y.Dy);
            ASSERT_EQ(1, int{below} + int{above} + int{same});
            const double difference = AngleOf(y.Dx, y.Dy) - AngleOf(x.Dx, x.Dy);
            if (std::abs(difference) > 1e-12)
            {
                ASSERT_EQ(below, difference > 0.0);
            }
        }
    }
}

// Directions one rounding step apart, which atan2 may take for equal, are ordered; the axes'
// signed zeros do not change a direction; the half turn lies between its neighbours.
TEST(AngleOrderTest, SeparatesNeighbouringDirections)
{
    const double up = std::nextafter(1.0, 2.0);
    EXPECT_TRUE(IsAngleBelow(3.0, 1.0, 3.0, up));
    EXPECT_FALSE(IsAngleBelow(3.0, up, 3.0, 1.0));
    EXPECT_FALSE(IsSameAngle(3.0, 1.0, 3.0, up));
    EXPECT_TRUE(IsAngleBelow(-3.0, -1.0, -3.0, -up)); // the same pair turned by a half turn
    EXPECT_TRUE(IsSameAngle(1.0, -0.0, 2.0, 0.0));
    EXPECT_TRUE(IsSameAngle(-1.0, -0.0, -2.0, 0.0));
    EXPECT_TRUE(IsAngleBelow(-1.0, 1e-300, -1.0, 0.0));
    EXPECT_TRUE(IsAngleBelow(-1.0, 0.0, -1.0, -1e-300));
    EXPECT_TRUE(IsAngleBelow(1.0, 0.0, 1.0, 1e-300));
    EXPECT_FALSE(IsAngleBelow(1.0, -1e-300, 1.0, -0.0));
}
