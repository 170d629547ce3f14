#include "model/RingBoundsIndex.h"

#include "Arealis/PolygonLayer.h"
#include "model/ModelTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

using namespace Arealis;
using namespace ModelTesting;
using Arealis::Detail::RingBoundsIndex;

namespace
{

// A 100 x 100 box with a hole of random size in each cell of a 20 x 20 grid and an island in
// every third hole: 535 rings, committed.
Polygon& AddPolygonOfManyHoles(PolygonLayer& layer, std::mt19937& random)
{
    Polygon& polygon = *layer.CreatePolygon();
    AddPoints(*polygon.CreateRing(), Box(0, 0, 100, 100));
    std::uniform_real_distribution<double> size(1.0, 4.0);
    for (int i = 0; i < 20; ++i)
    {
        for (int j = 0; j < 20; ++j)
        {
            const double x = 5.0 * i + 0.5;
            const double y = 5.0 * j + 0.5;
            const double w = size(random);
            const double h = size(random);
            AddPoints(*polygon.CreateRing(), Hole(x, y, x + w, y + h));
            if ((i + j) % 3 == 0)
            {
                AddPoints(*polygon.CreateRing(),
                          Box(x + 0.25 * w, y + 0.25 * h, x + 0.75 * w, y + 0.75 * h));
            }
        }
    }
    return polygon;
}

Polygon& CommitPolygonOfManyHoles(PolygonLayer& layer, std::mt19937& random)
{
    Polygon& polygon = AddPolygonOfManyHoles(layer, random);
    layer.Commit();
    return polygon;
}

std::vector<std::uint32_t> ScannedRings(const Polygon& polygon, const Rectangle& query)
{
    std::vector<std::uint32_t> found;
    std::uint32_t k = 0;
    for (const Ring* ring : RingsOf(polygon))
    {
        if (ring->GetBounds().Intersects(query))
        {
            found.push_back(k);
        }
        ++k;
    }
    return found;
}

// The index names the rings a scan of their bounds names, in ring order: rectangles on the
// rings, just beside them, touching them at an edge or a corner, in the gaps, and large ones.
TEST(RingBoundsIndexTest, FindsTheRingsAScanFinds)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(true);
    std::mt19937 random(15);
    Polygon& polygon = CommitPolygonOfManyHoles(layer, random);
    const RingBoundsIndex* index = RingBoundsIndex::Of(polygon);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index, RingBoundsIndex::Of(polygon)); // built once
    EXPECT_EQ(index->Bounds(), polygon.GetBounds());
    EXPECT_EQ(index->NodeCount(), polygon.GetNodeCount());
    ASSERT_EQ(index->Rings().size(), RingsOf(polygon).size());

    std::vector<Rectangle> queries;
    for (const Ring* ring : RingsOf(polygon))
    {
        const Rectangle b = ring->GetBounds();
        queries.push_back(b);
        queries.push_back(Rectangle(b.MaxX, b.MaxY, b.MaxX + 0.1, b.MaxY + 0.1));  // a corner
        queries.push_back(Rectangle(b.MinX - 0.2, b.MinY, b.MinX, b.MaxY));        // an edge
        queries.push_back(Rectangle(b.MaxX + 1e-9, b.MinY, b.MaxX + 0.2, b.MaxY)); // beside
    }
    std::uniform_real_distribution<double> corner(-10.0, 110.0);
    std::uniform_real_distribution<double> extent(0.0, 30.0);
    for (int k = 0; k < 300; ++k)
    {
        const double x = corner(random);
        const double y = corner(random);
        queries.push_back(Rectangle(x, y, x + extent(random), y + extent(random)));
    }
    queries.push_back(Rectangle(-1, -1, 101, 101));
    queries.push_back(Rectangle(200, 200, 300, 300));

    std::vector<std::uint32_t> found;
    for (const Rectangle& query : queries)
    {
        index->FindRings(query, found);
        ASSERT_EQ(found, ScannedRings(polygon, query))
            << query.MinX << " " << query.MinY << " " << query.MaxX << " " << query.MaxY;
    }
}

// Only committed layer polygons of many rings get an index, and an edit drops it: after the
// polygon is committed again, the index holds its new rings, or there is none.
TEST(RingBoundsIndexTest, OnlyForCommittedPolygonsOfManyRingsAndRebuiltAfterAnEdit)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(true);
    std::mt19937 random(7);
    Polygon& polygon = AddPolygonOfManyHoles(layer, random);
    Polygon& few = AddRings(*layer.CreatePolygon(), {Box(200, 0, 210, 10)});
    EXPECT_EQ(RingBoundsIndex::Of(polygon), nullptr); // still being edited
    layer.Commit();
    EXPECT_EQ(RingBoundsIndex::Of(few), nullptr);
    Polygon free(nullptr);
    AddRings(free, {Box(0, 0, 1, 1)});
    EXPECT_EQ(RingBoundsIndex::Of(free), nullptr);
    ASSERT_NE(RingBoundsIndex::Of(polygon), nullptr);

    AddPoints(*polygon.CreateRing(), Box(300, 300, 301, 301));
    EXPECT_EQ(RingBoundsIndex::Of(polygon), nullptr);
    layer.Commit();
    const RingBoundsIndex* index = RingBoundsIndex::Of(polygon);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->Bounds(), polygon.GetBounds());
    EXPECT_EQ(index->Rings().size(), RingsOf(polygon).size());
    std::vector<std::uint32_t> found;
    const Rectangle query(300.5, 300.5, 302, 302);
    index->FindRings(query, found);
    EXPECT_EQ(found, ScannedRings(polygon, query));
    EXPECT_EQ(found.size(), 1U);

    // Down to one ring (which the organisation leaves as it is): no index any more.
    const std::vector<Ring*> rings = RingsOf(polygon);
    for (auto ring = rings.begin() + 1; ring != rings.end(); ++ring)
    {
        polygon.RemoveRing(*ring);
    }
    layer.Commit();
    EXPECT_EQ(RingBoundsIndex::Of(polygon), nullptr);
}

// Threads testing a polygon at once build its index once and share it (run under the thread
// sanitizer).
TEST(RingBoundsIndexTest, ThreadsShareOneIndex)
{
    ScopedTopology topology;
    PolygonLayer& layer = *topology->CreatePolygonLayer(true);
    std::mt19937 random(11);
    Polygon& polygon = CommitPolygonOfManyHoles(layer, random);
    std::vector<const RingBoundsIndex*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                seen[t] = RingBoundsIndex::Of(polygon);
                std::vector<std::uint32_t> found;
                seen[t]->FindRings(Rectangle(10, 10, 20, 20), found);
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), seen[0]), 4);
}

} // namespace
