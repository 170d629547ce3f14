#pragma once

#include "Arealis/Node.h"
#include "Arealis/Point.h"
#include "Arealis/Rectangle.h"

#include <cstdint>

namespace Arealis
{

class Ring;

// One edge of a ring, addressed by the positions of its two nodes. It is a view: moving a
// node of the ring moves the edge.
struct LinearEdge
{
    Arealis::Ring* Ring = nullptr;
    std::int32_t StartIndex = 0;
    std::int32_t EndIndex = 0;

    // The end nodes; an index outside the ring throws ArgumentOutOfRangeException.
    Node* Start() const;
    Node* End() const;

    Rectangle Bounds() const;
    double SquaredDistanceTo(const Point& p) const;

    // Position of the edge in its ring; the closing edge n-1 -> 0 has number n-1.
    std::int32_t EdgeNumber() const noexcept;

    // The same ring and the same two positions.
    friend bool operator==(const LinearEdge& a, const LinearEdge& b) noexcept
    {
        return a.Ring == b.Ring && a.StartIndex == b.StartIndex && a.EndIndex == b.EndIndex;
    }
};

// Key extractor of the segment index.
struct GetBoundsFromSegment
{
    Rectangle operator()(const LinearEdge& edge) const { return edge.Bounds(); }
};

} // namespace Arealis
