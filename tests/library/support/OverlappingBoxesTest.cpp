#include "support/OverlappingBoxes.h"

#include <gtest/gtest.h>
#include <random>
#include <set>
#include <utility>
#include <vector>

using Arealis::Rectangle;
using Arealis::Detail::VisitOverlappingBoxPairs;

namespace
{

using PairSet = std::set<std::pair<std::size_t, std::size_t>>;

PairSet PairsByBruteForce(const std::vector<Rectangle>& boxes)
{
    PairSet pairs;
    for (std::size_t a = 0; a < boxes.size(); ++a)
    {
        for (std::size_t b = a + 1; b < boxes.size(); ++b)
        {
            const Rectangle& p = boxes[a];
            const Rectangle& q = boxes[b];
            if (p.MinX < q.MaxX && q.MinX < p.MaxX && p.MinY < q.MaxY && q.MinY < p.MaxY &&
                p.MinX < p.MaxX && p.MinY < p.MaxY && q.MinX < q.MaxX && q.MinY < q.MaxY)
            {
                pairs.emplace(a, b);
            }
        }
    }
    return pairs;
}

PairSet PairsByStrips(const std::vector<Rectangle>& boxes)
{
    PairSet pairs;
    VisitOverlappingBoxPairs(std::span<const Rectangle>(boxes),
                             [&](std::size_t a, std::size_t b)
                             {
                                 EXPECT_LT(a, b);
                                 EXPECT_TRUE(pairs.emplace(a, b).second) << "visited twice";
                                 return true;
                             });
    return pairs;
}

// Many small boxes with some as tall or as wide as the whole, boxes on a lattice that share
// sides and corners (touching is not overlapping), repeated boxes, and boxes without area.
std::vector<Rectangle> MixedBoxes(std::mt19937& random, std::size_t count)
{
    std::uniform_real_distribution<double> place(0.0, 100.0);
    std::uniform_real_distribution<double> size(0.1, 3.0);
    std::uniform_int_distribution<int> kind(0, 19);
    std::uniform_int_distribution<int> lattice(0, 40);
    std::vector<Rectangle> boxes;
    for (std::size_t k = 0; k < count; ++k)
    {
        const double x = place(random);
        const double y = place(random);
        switch (kind(random))
        {
        case 0:
            boxes.push_back({x, 0.0, x + size(random), 100.0}); // as tall as the whole
            break;
        case 1:
            boxes.push_back({0.0, y, 100.0, y + size(random)}); // as wide as the whole
            break;
        case 2:
            boxes.push_back({x, y, x, y + 1.0}); // no width
            break;
        case 3:
            boxes.push_back(boxes.empty() ? Rectangle::Empty() : boxes.back()); // repeated
            break;
        case 4:
        case 5:
        case 6:
        {
            const double u = lattice(random) * 2.5;
            const double v = lattice(random) * 2.5;
            boxes.push_back({u, v, u + 2.5, v + 2.5});
            break;
        }
        default:
            boxes.push_back({x, y, x + size(random), y + size(random)});
        }
    }
    return boxes;
}

TEST(OverlappingBoxesTest, VisitsEveryOverlappingPairOnce)
{
    std::mt19937 random(20261208);
    for (const std::size_t count : {0, 1, 2, 40, 63, 64, 500, 3000})
    {
        const std::vector<Rectangle> boxes = MixedBoxes(random, count);
        EXPECT_EQ(PairsByStrips(boxes), PairsByBruteForce(boxes)) << count << " boxes";
    }
    // Every box as tall as the whole: the strips must not multiply them.
    std::vector<Rectangle> tall;
    for (int k = 0; k < 1000; ++k)
    {
        tall.push_back({k * 0.5, 0.0, k * 0.5 + 1.0, 1000.0});
    }
    EXPECT_EQ(PairsByStrips(tall), PairsByBruteForce(tall));
}

TEST(OverlappingBoxesTest, StopsWhenAskedTo)
{
    std::vector<Rectangle> boxes(200, Rectangle{0.0, 0.0, 1.0, 1.0});
    int visits = 0;
    EXPECT_FALSE(VisitOverlappingBoxPairs(std::span<const Rectangle>(boxes),
                                          [&](std::size_t, std::size_t) { return ++visits < 5; }));
    EXPECT_EQ(visits, 5);
}

} // namespace
