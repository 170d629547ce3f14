// Overlays of polygons whose boundaries run within the tolerance of each other for a long
// stretch, at the default precision (node grid 1e-6, tolerance 5e-4).
#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "PolygonQueries.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

using namespace Arealis;
using Arealis::Testing::NetArea;

namespace
{

using Points = std::vector<Point>;

// Two neighbours cut out of a pair of wavy borders that cross each other every few vertices:
// a strip 0.0008 wide between a straight edge and a wavy line, and the land east of a second
// wavy line. The wavy lines run 0.0001 to 0.0004 apart, within the tolerance. The east land's
// vertex at (0.000547, 0.007512) lies 0.00018 from the strip's straight edge; put on that
// edge, the edge would pass to the other side of the east land's vertex at
// (0.000366, 0.000807), which lies 0.000003 beside it. Clockwise rings.
const Points WestStrip{{0.001086, 0.00726},  {0.000767, 0.006063}, {0.000714, 0.00485},
                       {0.000612, 0.003639}, {0.00061, 0.002422},  {0.000496, 0.001213},
                       {0.000367, 0.000486}, {0.000363, 0.000486}, {0.000363, 0.008118},
                       {0.001171, 0.008118}};
const Points EastLand{{0.000366, 0.000807}, {0.000702, 0.003024}, {0.000605, 0.005269},
                      {0.000547, 0.007512}, {0.000614, 0.008118}, {0.004311, 0.008118},
                      {0.004311, 0.000486}, {0.000363, 0.000486}};
// The exact union's and intersection's areas (of the shapes before the node grid rounded
// their vertices, which moves the areas by about 1e-9).
constexpr double ExactUnion = 3.0039e-5;
constexpr double ExactIntersection = 1.184e-6;
// What snapping to the tolerance may change: the order of the tolerance times the length of
// the stretch where the lines run together (0.008), a little more than the exact
// intersection's area. Losing the union's area, or turning it inside out, is far beyond this.
constexpr double Slack = 4e-6;

std::unique_ptr<Polygon> Shape(const Points& points)
{
    auto polygon = std::make_unique<Polygon>(nullptr);
    Ring* pRing = polygon->CreateRing();
    for (const Point& p : points)
    {
        pRing->AddNode(p.X, p.Y);
    }
    return polygon;
}

// Validation of a result: the overlay must give rings that bound its area, each exterior
// enclosing its holes.
void ExpectValid(Polygon& polygon)
{
    EXPECT_NO_THROW(polygon.Validate(true));
}

TEST(NearBoundariesTest, ResultsOfBoundariesWithinTheToleranceKeepTheirAreas)
{
    const std::unique_ptr<Polygon> west = Shape(WestStrip);
    const std::unique_ptr<Polygon> east = Shape(EastLand);
    const double westArea = NetArea(*west);
    const double eastArea = NetArea(*east);
    ASSERT_GT(westArea, 0.0);
    ASSERT_GT(eastArea, 0.0);
    for (const auto& [pFirst, pSecond] :
         {std::pair{west.get(), east.get()}, std::pair{east.get(), west.get()}})
    {
        const std::unique_ptr<Polygon> united = Overlay::Union(*pFirst, *pSecond);
        const std::array<std::unique_ptr<Polygon>, 3> parts = Overlay::Partition(*pFirst, *pSecond);
        for (Polygon* pResult : {united.get(), parts[0].get(), parts[1].get(), parts[2].get()})
        {
            ExpectValid(*pResult);
            EXPECT_GE(NetArea(*pResult), 0.0);
        }
        const double unionArea = NetArea(*united);
        EXPECT_NEAR(unionArea, ExactUnion, Slack);
        EXPECT_GE(unionArea, std::max(westArea, eastArea));
        EXPECT_NEAR(NetArea(*parts[0]), ExactIntersection, Slack);
        // The three parts of one graph tile the union traced from it.
        EXPECT_NEAR(NetArea(*parts[0]) + NetArea(*parts[1]) + NetArea(*parts[2]), unionArea, 1e-12);
    }
}

} // namespace
