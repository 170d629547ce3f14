#include "validation/ApartPolygons.h"

#include "Arealis/Overlay.h"
#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "model/ModelTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;

namespace
{

// A coverage of jittered cells whose neighbours share their corner nodes and, along every
// other column, a node in the middle of the shared side; then polygons that break it in the
// ways the quick test must notice: a copy of a cell, a triangle on a cell's side inside it, a
// box inside a cell, a cell moved by less than the tolerance, a vertex on a cell's side from
// outside, a sliver over a cell thinner than the test's margin, a wedge at a shared corner,
// two crossing bars.
class ApartPolygonsTest : public ::testing::Test
{
protected:
    static constexpr int Cells = 5;

    static Point Corner(int i, int j)
    {
        const double jitter = 3.0 * std::sin(7.1 * i + 3.3 * j);
        return {10.0 * i + jitter, 10.0 * j + 2.0 * std::cos(5.7 * i - 1.9 * j)};
    }
    static Point Middle(const Point& p, const Point& q)
    {
        return {(p.X + q.X) / 2, (p.Y + q.Y) / 2};
    }

    // Clockwise: up the left side, along the top, down the right side, back along the bottom.
    static Points Cell(int i, int j)
    {
        const Point a = Corner(i, j);
        const Point b = Corner(i, j + 1);
        const Point c = Corner(i + 1, j + 1);
        const Point d = Corner(i + 1, j);
        Points ring{a};
        if (i % 2 == 1)
        {
            ring.push_back(Middle(a, b));
        }
        ring.insert(ring.end(), {b, c});
        if ((i + 1) % 2 == 1 && i + 1 < Cells)
        {
            ring.push_back(Middle(c, d));
        }
        ring.push_back(d);
        return ring;
    }

    Polygon* Add(const Points& ring)
    {
        Polygon* polygon = m_layer->CreatePolygon();
        AddRings(*polygon, {ring});
        m_polygons.push_back(polygon);
        return polygon;
    }

    ScopedTopology m_topology;
    PolygonLayer* m_layer = m_topology->CreatePolygonLayer(true);
    std::vector<Polygon*> m_polygons;
};

bool SurelyApart(const Polygon& a, const Polygon& b)
{
    return Detail::SurelyApart(a, a.GetBounds(), b, b.GetBounds());
}

} // namespace

TEST_F(ApartPolygonsTest, NeverApartWhereTheOverlayFindsCommonArea)
{
    for (int i = 0; i < Cells; ++i)
    {
        for (int j = 0; j < Cells; ++j)
        {
            Add(Cell(i, j));
        }
    }
    const Points cell = Cell(2, 2);
    Add(cell);
    const Point centre = Middle(Corner(3, 3), Corner(4, 4));
    Add({Corner(3, 3), Corner(3, 4), centre});
    Add(Box(centre.X - 1, centre.Y - 1, centre.X + 1, centre.Y + 1));
    Points moved = Cell(0, 3);
    for (Point& p : moved)
    {
        p.X += 0.0002;
    }
    Add(moved);
    const Point side = Middle(Corner(1, 0), Corner(1, 1)); // a node of both neighbours
    Add({side, {side.X - 4, side.Y}, {side.X - 2, side.Y + 3}});
    const Point bottom = Middle(Corner(2, 0), Corner(3, 0));
    Add({{bottom.X - 1, bottom.Y + 0.01}, {bottom.X, bottom.Y + 0.01}, {bottom.X, -5}});
    const Point shared = Corner(4, 2);
    Add({shared, {shared.X + 0.5, shared.Y + 3}, {shared.X + 0.6, shared.Y + 3}});
    // Bars that cross off their middles: every edge's midpoint lies outside the other bar.
    Add(Box(100, 0, 200, 2));
    Add(Box(110, -50, 112, 60));
    m_layer->Commit();

    int apart = 0;
    for (const Polygon* a : m_polygons)
    {
        for (const Polygon* b : m_polygons)
        {
            if (a == b || !a->GetBounds().Intersects(b->GetBounds()))
            {
                continue;
            }
            const bool common =
                Overlay::Intersection(*const_cast<Polygon*>(a), *const_cast<Polygon*>(b))
                    ->GetNodeCount() > 0;
            EXPECT_EQ(a->Overlaps(b), common);
            if (SurelyApart(*a, *b))
            {
                EXPECT_FALSE(common) << a->GetBounds().MinX << " " << b->GetBounds().MinX;
                ++apart;
            }
        }
    }
    // Most neighbours of the coverage are told apart without an overlay (ordered pairs).
    EXPECT_GT(apart, 100);
}

TEST_F(ApartPolygonsTest, NotSureBeyondOneRingOfOneTopology)
{
    Polygon* first = Add(Box(0, 0, 10, 10));
    Polygon* second = Add(Box(10, 0, 20, 10));
    Polygon* holed = Add(Box(20, 0, 30, 10));
    AddRings(*holed, {Hole(22, 2, 28, 8)});
    ScopedTopology other;
    PolygonLayer& otherLayer = *other->CreatePolygonLayer(true);
    Polygon* elsewhere = otherLayer.CreatePolygon();
    AddRings(*elsewhere, {Box(10, 0, 20, 10)});
    m_layer->Commit();
    otherLayer.Commit();
    EXPECT_TRUE(SurelyApart(*first, *second));
    EXPECT_FALSE(SurelyApart(*second, *holed));
    EXPECT_FALSE(SurelyApart(*first, *elsewhere));
    EXPECT_FALSE(first->Overlaps(elsewhere));
}
