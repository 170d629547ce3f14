#include "overlay/FlatPolygon.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <cstddef>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

using namespace Arealis;
using namespace Arealis::LayerOperations;
using namespace ModelTesting;

namespace
{

// A free polygon of one ring of count points on a circle, with a triangular hole every third.
std::unique_ptr<Polygon> Circle(std::size_t count, double x)
{
    auto polygon = std::make_unique<Polygon>(nullptr);
    Ring* ring = polygon->CreateRing();
    for (std::size_t k = 0; k < count; ++k)
    {
        const double angle =
            -6.283185307179586 * static_cast<double>(k) / static_cast<double>(count);
        ring->AddNode(x + 10.0 * std::cos(angle), 10.0 * std::sin(angle));
    }
    if (count % 3 == 0)
    {
        Ring* hole = polygon->CreateRing();
        hole->AddNode(x, 0.0);
        hole->AddNode(x + 1.0, 1.0);
        hole->AddNode(x + 1.0, 0.0);
    }
    return polygon;
}

std::vector<Point> PointsOf(const Polygon& polygon)
{
    std::vector<Point> points;
    for (const Ring* ring : RingsOf(polygon))
    {
        for (std::int32_t i = 0; i < ring->Count(); ++i)
        {
            points.push_back(ring->GetNode(i)->Position);
        }
    }
    return points;
}

} // namespace

// Flat polygons made on two threads at once, half of them released (their room reused by the
// next ones) and the rest still holding exactly their polygon's points; one piece larger than
// a chunk among them.
TEST(FlatPolygonTest, ReleasedRoomIsReusedWithoutTouchingTheFlatPolygonsThatRemain)
{
    std::vector<std::unique_ptr<Polygon>> polygons;
    for (std::size_t i = 0; i < 600; ++i)
    {
        polygons.push_back(Circle(i == 17 ? 9000 : 3 + i % 200, static_cast<double>(i)));
    }
    FlatPolygonStore store;
    std::vector<FlatPolygon> flats(2 * polygons.size());
    const auto make = [&](std::size_t first, std::size_t end)
    {
        for (std::size_t i = first; i < end; ++i)
        {
            flats[i] = FlatPolygon(*polygons[i % polygons.size()], store);
        }
    };
    std::thread other(make, 0, polygons.size() / 2);
    make(polygons.size() / 2, polygons.size());
    other.join();
    for (std::size_t i = 0; i < polygons.size(); i += 2)
    {
        flats[i] = FlatPolygon(); // released on another thread than the one that made most
    }
    make(polygons.size(), flats.size());
    for (std::size_t i = 0; i < flats.size(); ++i)
    {
        const std::vector<Point> expected = i % 2 == 0 && i < polygons.size()
                                                ? std::vector<Point>()
                                                : PointsOf(*polygons[i % polygons.size()]);
        ASSERT_EQ(std::vector<Point>(flats[i].Points().begin(), flats[i].Points().end()), expected)
            << "flat polygon " << i;
    }
    // The rings come back as they were, with the layer's nodes.
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(true);
    std::vector<Node*> nodes;
    for (const std::size_t i : {std::size_t{17}, std::size_t{603}})
    {
        const Polygon* added = flats[i].AddTo(layer, nodes);
        ASSERT_EQ(RingsOf(*added).size(), RingsOf(*polygons[i % polygons.size()]).size());
        EXPECT_EQ(PointsOf(*added), PointsOf(*polygons[i % polygons.size()]));
    }
    // The room in use counts what the flat polygons held at most, and only the chunks that
    // the two threads were filling (64 KiB each) once every one is released.
    std::size_t points = 0;
    for (std::size_t i = polygons.size(); i < flats.size(); ++i)
    {
        points += flats[i].Points().size();
    }
    EXPECT_GE(store.PeakHeldBytes(), points * sizeof(Point));
    flats.clear();
    EXPECT_LE(store.HeldBytes(), 2U << 16);
}
