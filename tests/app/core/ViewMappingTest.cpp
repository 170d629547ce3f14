#include "ViewMapping.h"

#include <gtest/gtest.h>
#include <limits>

namespace Orvista
{
namespace
{

Arealis::Rectangle Rect(double minX, double minY, double maxX, double maxY)
{
    return Arealis::Rectangle(minX, minY, maxX, maxY);
}

TEST(ViewMappingTest, WorldAndPixelsAreMirroredInY)
{
    ViewMapping mapping;
    mapping.Request(Rect(0, 0, 100, 50));
    mapping.Fit({200, 100});

    EXPECT_DOUBLE_EQ(mapping.Scale(), 2.0);
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{0, 50}), (PixelPoint{0, 0}));
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{100, 0}), (PixelPoint{200, 100}));
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{25, 40}), (PixelPoint{50, 20}));

    const Arealis::Point world = mapping.PixelToWorld({50, 20});
    EXPECT_DOUBLE_EQ(world.X, 25.0);
    EXPECT_DOUBLE_EQ(world.Y, 40.0);

    // Top from MaxY, bottom from MinY.
    EXPECT_EQ(mapping.WorldToPixel(Rect(10, 10, 20, 30)), (PixelRect{20, 40, 40, 80}));
}

TEST(ViewMappingTest, PixelsAreTruncatedTowardZero)
{
    ViewMapping mapping;
    mapping.Request(Rect(0, 0, 10, 10));
    mapping.Fit({10, 10});

    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{2.9, 7.1}), (PixelPoint{2, 2}));
    // -0.5 pixels truncates to 0, not to -1.
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{-0.5, 10.5}), (PixelPoint{0, 0}));
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{-1.5, 11.5}), (PixelPoint{-1, -1}));
}

TEST(ViewMappingTest, FarAwayAndUndefinedCoordinatesStayWithinTheLimit)
{
    ViewMapping mapping;
    mapping.Request(Rect(0, 0, 1, 1));
    mapping.Fit({1000, 1000});

    const double huge = std::numeric_limits<double>::max();
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{huge, -huge}),
              (PixelPoint{ViewMapping::PixelLimit, ViewMapping::PixelLimit}));
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{-huge, huge}),
              (PixelPoint{-ViewMapping::PixelLimit, -ViewMapping::PixelLimit}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{nan, nan}), (PixelPoint{0, 0}));
}

// How a requested rectangle fits a window: the scale, what is visible and where one world point
// lands. Covers centring across either axis and a rectangle of zero width.
TEST(ViewMappingTest, ARequestedRectangleIsFittedAndCentred)
{
    struct Case
    {
        Arealis::Rectangle Requested;
        PixelSize Window;
        double Scale;
        Arealis::Rectangle Visible;
        Arealis::Point World;
        PixelPoint Pixel;
    };
    const Case cases[] = {
        {Rect(0, 0, 10, 10), {200, 100}, 10.0, Rect(-5, 0, 15, 10), {5, 5}, {100, 50}},
        {Rect(0, 0, 10, 10), {100, 200}, 10.0, Rect(0, -5, 10, 15), {10, 0}, {100, 150}},
        {Rect(5, 0, 5, 10), {100, 50}, 5.0, Rect(-5, 0, 15, 10), {5, 5}, {50, 25}},
    };
    for (const Case& c : cases)
    {
        ViewMapping mapping;
        mapping.Request(c.Requested);
        mapping.Fit(c.Window);
        EXPECT_DOUBLE_EQ(mapping.Scale(), c.Scale);
        EXPECT_EQ(mapping.VisibleRectangle(), c.Visible);
        EXPECT_EQ(mapping.WorldToPixel(c.World), c.Pixel);
    }
}

TEST(ViewMappingTest, RefittingKeepsTheRequestedRectangleInView)
{
    ViewMapping mapping;
    mapping.Request(Rect(0, 0, 10, 10));
    mapping.Fit({200, 100});
    mapping.Fit({100, 200});
    mapping.Fit({300, 300});

    EXPECT_TRUE(mapping.VisibleRectangle().Contains(mapping.RequestedRectangle()));
    EXPECT_EQ(mapping.RequestedRectangle(), Rect(0, 0, 10, 10));
}

TEST(ViewMappingTest, ZeroWidthRectangleIsScaledByItsHeight)
{
    ViewMapping mapping;
    mapping.Request(Rect(5, 0, 5, 10)); // a vertical line
    mapping.Fit({100, 50});

    EXPECT_DOUBLE_EQ(mapping.Scale(), 5.0);
    EXPECT_DOUBLE_EQ(mapping.VisibleWidth(), 20.0);
    EXPECT_EQ(mapping.VisibleRectangle(), Rect(-5, 0, 15, 10));
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{5, 5}), (PixelPoint{50, 25}));
}

TEST(ViewMappingTest, ZeroAreaRectangleKeepsTheLargestScale)
{
    ViewMapping mapping;
    mapping.Request(Rect(3, 4, 3, 4));
    mapping.Fit({100, 100});

    EXPECT_EQ(mapping.Scale(), std::numeric_limits<double>::max());
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{3, 4}), (PixelPoint{0, 0}));
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{4, 3}),
              (PixelPoint{ViewMapping::PixelLimit, ViewMapping::PixelLimit}));
}

TEST(ViewMappingTest, EmptyWindowGetsTheSmallestPositiveScale)
{
    ViewMapping mapping;
    mapping.Request(Rect(0, 0, 10, 20));
    mapping.Fit({0, 0});

    EXPECT_EQ(mapping.Scale(), std::numeric_limits<double>::min());
    EXPECT_EQ(mapping.WorldToPixel(Arealis::Point{10, 0}), (PixelPoint{0, 0}));
}

} // namespace
} // namespace Orvista
