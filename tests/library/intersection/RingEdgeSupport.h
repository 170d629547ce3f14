#pragma once

// Free rings built from point lists, and the edge lists of rings, for the tests of the edge
// intersection algorithms.

#include "Arealis/Ring.h"
#include "Arealis/SegmentIntersection.h"

#include <cstdint>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

namespace EdgeTesting
{

inline std::unique_ptr<Arealis::Ring> MakeRing(const std::vector<Arealis::Point>& points)
{
    auto ring = std::make_unique<Arealis::Ring>(nullptr, false);
    for (const Arealis::Point& p : points)
    {
        ring->AddNode(p.X, p.Y);
    }
    return ring;
}

// A ring of count points on the integer grid 0..grid, no point repeating the one before: such
// rings meet often at shared vertices and along collinear stretches.
inline std::unique_ptr<Arealis::Ring> RandomRing(std::mt19937& random, int count, int grid)
{
    std::uniform_int_distribution<int> coordinate(0, grid);
    std::vector<Arealis::Point> points;
    while (static_cast<int>(points.size()) < count)
    {
        const Arealis::Point p{double(coordinate(random)), double(coordinate(random))};
        if (points.empty() || !(points.back() == p))
        {
            points.push_back(p);
        }
    }
    return MakeRing(points);
}

// Every edge of the ring, in node order.
inline Arealis::EdgeList EdgesOf(const Arealis::Ring& ring)
{
    Arealis::EdgeList edges;
    for (std::int32_t i = 0; i < ring.Count(); ++i)
    {
        edges.Append(
            Arealis::LinearEdge{const_cast<Arealis::Ring*>(&ring), i, (i + 1) % ring.Count()});
    }
    return edges;
}

// An intersection entry as a comparable tuple: the ring and start node of both edges, then the
// location.
using IntersectionEntry = std::tuple<const Arealis::Ring*, std::int32_t, const Arealis::Ring*,
                                     std::int32_t, double, double>;

// The entries of the list, in its order.
inline std::vector<IntersectionEntry> EntriesOf(const Arealis::IntersectionList& list)
{
    std::vector<IntersectionEntry> entries;
    for (const Arealis::EdgeIntersection& e : list)
    {
        entries.emplace_back(e.FirstEdge.Ring, e.FirstEdge.StartIndex, e.SecondEdge.Ring,
                             e.SecondEdge.StartIndex, e.Location.X, e.Location.Y);
    }
    return entries;
}

} // namespace EdgeTesting
