#include "QtCanvas.h"

#include "QtComboList.h"
#include "QtPlatform.h"
#include "QtReporter.h"
#include "QtTestSupport.h"

#include <QComboBox>
#include <gtest/gtest.h>

namespace Orvista
{
namespace
{

using Testing::TestApplication;

class QtCanvasTest : public ::testing::Test, private Testing::WithApplication
{
protected:
    QRgb At(int x, int y) { return bitmap.Image().pixel(x, y) & 0xFFFFFFU; }

    QtBitmap bitmap{PixelSize{20, 20}};
    ICanvas& canvas = bitmap.Canvas();
};

TEST_F(QtCanvasTest, LinesLeaveOutTheirEndPixel)
{
    canvas.SelectPen({0, 0, 255}, 0);
    canvas.MoveTo({2, 5});
    canvas.LineTo({8, 5});

    EXPECT_EQ(At(2, 5), 0x0000FFU);
    EXPECT_EQ(At(7, 5), 0x0000FFU);
    EXPECT_EQ(At(8, 5), 0xFFFFFFU);

    // Segments drawn at once alike; a segment of equal ends is its one pixel.
    const PixelPoint ends[] = {{2, 9}, {8, 9}, {4, 12}, {4, 12}};
    canvas.DrawSegments(ends);
    EXPECT_EQ(At(2, 9), 0x0000FFU);
    EXPECT_EQ(At(7, 9), 0x0000FFU);
    EXPECT_EQ(At(8, 9), 0xFFFFFFU);
    EXPECT_EQ(At(4, 12), 0x0000FFU);
    EXPECT_EQ(At(5, 12), 0xFFFFFFU);
}

TEST_F(QtCanvasTest, NotXorLinesDrawnTwiceDisappear)
{
    canvas.FillRect({0, 0, 20, 20}, {10, 200, 30});
    canvas.SelectPen({0, 0, 0}, 0);
    canvas.SetRasterOp(RasterOp::NotXorPen);
    for (int pass = 0; pass < 2; ++pass)
    {
        canvas.MoveTo({1, 1});
        canvas.LineTo({15, 1});
        canvas.LineTo({15, 15});
        if (pass == 0)
        {
            EXPECT_EQ(At(5, 1), 0xF537E1U);  // NOT (pixel XOR black) = NOT pixel
            EXPECT_EQ(At(15, 1), 0xF537E1U); // the joint is drawn once
        }
    }
    EXPECT_EQ(At(5, 1), 0x0AC81EU);
    EXPECT_EQ(At(15, 1), 0x0AC81EU);
    EXPECT_EQ(At(15, 8), 0x0AC81EU);
}

TEST_F(QtCanvasTest, MaskFillsCombineWithWhatIsThere)
{
    canvas.SelectPen({200, 100, 50}, 0);
    canvas.MoveTo({2, 2});
    canvas.LineTo({2, 12});
    canvas.SetRasterOp(RasterOp::MaskPen);
    const std::vector<PixelPoint> square{{2, 2}, {12, 2}, {12, 12}, {2, 12}, {2, 2}};
    const std::vector<int> sizes{5};
    canvas.FillPolyPolygon(square, sizes, {100, 200, 255});

    EXPECT_EQ(At(6, 6), qRgb(100, 200, 255) & 0xFFFFFFU); // white AND fill
    EXPECT_EQ(At(2, 6), qRgb(200 & 100, 100 & 200, 50 & 255) & 0xFFFFFFU);
    EXPECT_EQ(At(12, 6), 0xFFFFFFU); // right edge outside the fill
}

TEST_F(QtCanvasTest, WindingFillsKeepHolesOfTheOtherOrientation)
{
    const std::vector<PixelPoint> rings{{0, 0}, {18, 0}, {18, 18}, {0, 18}, {0, 0},
                                        {6, 6}, {6, 12}, {12, 12}, {12, 6}, {6, 6}};
    const std::vector<int> sizes{5, 5};
    canvas.FillPolyPolygon(rings, sizes, {0, 0, 0});

    EXPECT_EQ(At(3, 3), 0x000000U);
    EXPECT_EQ(At(9, 9), 0xFFFFFFU);
}

TEST_F(QtCanvasTest, TransparentAndStretchedCopies)
{
    QtBitmap layer{PixelSize{20, 20}};
    layer.Canvas().FillRect({5, 5, 10, 10}, {1, 2, 3});
    canvas.FillRect({0, 0, 20, 20}, {9, 9, 9});
    canvas.CopyTransparent(layer, White);
    EXPECT_EQ(At(0, 0), 0x090909U);
    EXPECT_EQ(At(7, 7), 0x010203U);

    QtBitmap wide{PixelSize{40, 20}};
    wide.Canvas().CopyStretched(bitmap, {0, 0, 20, 20}, {0, 0, 40, 20});
    EXPECT_EQ(wide.Image().pixel(15, 7) & 0xFFFFFFU, 0x010203U);
    EXPECT_EQ(wide.Image().pixel(30, 7) & 0xFFFFFFU, 0x090909U);
}

TEST(QtComboListTest, BehavesLikeANativeComboBox)
{
    TestApplication();
    QComboBox combo;
    QtComboList list(combo);
    DisplayLayer* pA = nullptr;
    auto* pB = reinterpret_cast<DisplayLayer*>(&combo); // any distinct address will do

    EXPECT_EQ(list.InsertString(0, "a", pA), 0);
    EXPECT_EQ(list.GetCurSel(), IComboList::Error); // inserting selects nothing
    EXPECT_EQ(list.InsertString(0, "b", pB), 0);
    list.SetCurSel(1);
    EXPECT_EQ(list.GetText(list.GetCurSel()), "a");
    EXPECT_EQ(list.FindItemData(pB), 0);
    EXPECT_EQ(list.InsertString(5, "c", nullptr), IComboList::Error);

    list.DeleteString(1);
    EXPECT_EQ(list.GetCurSel(), IComboList::Error); // the selected entry went
    EXPECT_EQ(list.Count(), 1);
}

TEST(QtPlatformTest, FileFiltersAndLineBreaks)
{
    EXPECT_EQ(ToFileDialogFilter("Shape Files|*.shp||"), QStringLiteral("Shape Files (*.shp)"));
    EXPECT_EQ(ToFileDialogFilter("A|*.a;*.b|B|*.c||"), QStringLiteral("A (*.a *.b);;B (*.c)"));
    EXPECT_EQ(WithUnixLineBreaks("Bad\r\nAt:\r\n    shp, line: 1623"),
              "Bad\nAt:\n    shp, line: 1623");
}

} // namespace
} // namespace Orvista
