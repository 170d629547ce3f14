// The active edges of a check filed by y must offer an event exactly the live edges near its y
// interval, each once, whatever the cells and buckets they fall into.
#include "intersection/ActiveEdgeCells.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string>
#include <vector>

using Arealis::Detail::ActiveEdgeCells;
using Arealis::Detail::ScannedEdge;

namespace
{

constexpr double RetireTolerance = 0.0005;
constexpr double NearTolerance = 0.001;

struct Event
{
    double X;
    ScannedEdge Edge;
};

ScannedEdge MakeEdge(double y1, double y2, double rightX, std::uint32_t number)
{
    return ScannedEdge{std::min(y1, y2), std::max(y1, y2), rightX, number};
}

std::vector<std::uint32_t> SortedNumbers(std::span<const ScannedEdge> edges)
{
    std::vector<std::uint32_t> numbers;
    numbers.reserve(edges.size());
    for (const ScannedEdge& edge : edges)
    {
        numbers.push_back(edge.Edge);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// Runs the events in order of x through a plain list and through the cells, starting the cells
// after the first few events; every event must be offered the same edges, none twice, and the
// live edges collected whenever they are due must be those of the list.
void ExpectSameAsPlainScan(std::vector<Event> events, const std::string& what)
{
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.X < b.X; });
    const std::size_t startAt = std::min<std::size_t>(5, events.size());
    std::vector<ScannedEdge> plain;
    for (std::size_t i = 0; i < startAt; ++i)
    {
        plain.push_back(events[i].Edge);
    }
    ActiveEdgeCells cells;
    cells.Start(plain, RetireTolerance);
    for (std::size_t i = startAt; i < events.size() && !testing::Test::HasFailure(); ++i)
    {
        const Event& event = events[i];
        const double low = event.Edge.MinY - NearTolerance;
        const double high = event.Edge.MaxY + NearTolerance;
        std::erase_if(plain, [&event](const ScannedEdge& edge)
                      { return event.X - edge.RightX > RetireTolerance; });
        std::vector<std::uint32_t> expected;
        for (const ScannedEdge& edge : plain)
        {
            if (edge.MinY < high && edge.MaxY > low)
            {
                expected.push_back(edge.Edge);
            }
        }
        std::vector<std::uint32_t> offered;
        std::size_t work = 0;
        EXPECT_FALSE(cells.FindNear(event.X, low, high, work,
                                    [&offered](std::uint32_t edge)
                                    {
                                        offered.push_back(edge);
                                        return false;
                                    }));
        std::sort(expected.begin(), expected.end());
        std::sort(offered.begin(), offered.end());
        EXPECT_EQ(expected, offered) << what << ", event " << i;
        if (cells.IsDueForCollection())
        {
            const auto live = cells.CollectLive(event.X, work);
            EXPECT_EQ(SortedNumbers(plain), SortedNumbers(live)) << what << ", event " << i;
            cells.FileAnew(live);
        }
        cells.Insert(event.Edge, work);
        plain.push_back(event.Edge);
        EXPECT_GT(work, 0U);
    }
}

// Short, nearly vertical edges side by side, as along the flanks of a large round ring, with
// every kind of troublesome edge mixed in at the given rate.
std::vector<Event> Flank(std::mt19937& random, int count, double scale, double oddRate)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Event> events;
    for (int i = 0; i < count; ++i)
    {
        const auto number = static_cast<std::uint32_t>(i);
        const double x = scale * unit(random);
        const double width = scale * 0.05 * unit(random);
        double y1 = scale * (unit(random) - 0.5);
        double y2 = y1 + scale * 0.01 * (unit(random) - 0.5);
        if (unit(random) < oddRate)
        {
            switch (i % 4)
            {
            case 0: // horizontal
                y2 = y1;
                break;
            case 1: // across many cells
                y2 = y1 + scale * (unit(random) - 0.5);
                break;
            case 2: // across all of them
                y1 = -scale;
                y2 = scale;
                break;
            default: // ends within the tolerance of a multiple of the mean extent
                y1 = std::round(y1 / (scale * 0.0025)) * scale * 0.0025 +
                     (unit(random) - 0.5) * 4 * NearTolerance;
                y2 = y1 - scale * 0.0025;
                break;
            }
        }
        events.push_back({x, MakeEdge(y1, y2, x + width, number)});
    }
    return events;
}

TEST(ActiveEdgeCellsTest, OffersTheLiveEdgesNearAnEventAsAPlainScanDoes)
{
    std::mt19937 random(712);
    const double scales[] = {1.0, 1e-3, 2e3, 1.9e9};
    const double oddRates[] = {0.0, 0.02, 0.3, 1.0};
    for (const double scale : scales)
    {
        for (const double oddRate : oddRates)
        {
            ExpectSameAsPlainScan(Flank(random, 3000, scale, oddRate),
                                  "scale " + std::to_string(scale) + ", odd edges " +
                                      std::to_string(oddRate));
        }
    }
}

TEST(ActiveEdgeCellsTest, OffersNearTouchesAcrossCellBorders)
{
    // Edges of extent 1 make cells of height 1: every end lies within the tolerance above or
    // below a border, and the edges above a border must still meet those below it.
    std::mt19937 random(1207);
    std::uniform_int_distribution<int> cell(-20, 20);
    std::uniform_real_distribution<double> offset(-2 * NearTolerance, 2 * NearTolerance);
    std::vector<Event> events;
    for (std::uint32_t i = 0; i < 4000; ++i)
    {
        const double y = cell(random) + offset(random);
        const double x = 0.01 * i;
        events.push_back({x, MakeEdge(y, y + (i % 2 == 0 ? 1.0 : -1.0), x + 5.0, i)});
    }
    ExpectSameAsPlainScan(events, "edges ending near borders");

    // All edges in one cell, and exactly on the borders.
    events.clear();
    for (std::uint32_t i = 0; i < 2000; ++i)
    {
        const double x = 0.001 * i;
        const double y = i % 3 == 0 ? 0.25 : double(i % 7);
        events.push_back({x, MakeEdge(y, y, x + (i % 5 == 0 ? 1e-4 : 100.0), i)});
    }
    ExpectSameAsPlainScan(events, "horizontal edges on few lines");
}

} // namespace
