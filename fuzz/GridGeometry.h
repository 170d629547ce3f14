#pragma once

// Exact predicates on integer grid coordinates, the fuzz targets' own reference for what the
// library decides in floating point.

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace Fuzzing
{

struct GridPoint
{
    long long X;
    long long Y;
    friend bool operator==(const GridPoint&, const GridPoint&) = default;
};
using GridRing = std::vector<GridPoint>;

inline long long Cross(const GridPoint& o, const GridPoint& a, const GridPoint& b)
{
    return (a.X - o.X) * (b.Y - o.Y) - (a.Y - o.Y) * (b.X - o.X);
}

// Twice the signed area; positive for clockwise rings, as in the library.
inline long long TwiceSignedArea(const GridRing& ring)
{
    long long sum = 0;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const GridPoint& a = ring[i];
        const GridPoint& b = ring[(i + 1) % ring.size()];
        sum += (b.X - a.X) * (b.Y + a.Y);
    }
    return sum;
}

inline bool IsOnSegment(const GridPoint& p, const GridPoint& a, const GridPoint& b)
{
    return Cross(a, b, p) == 0 && std::min(a.X, b.X) <= p.X && p.X <= std::max(a.X, b.X) &&
           std::min(a.Y, b.Y) <= p.Y && p.Y <= std::max(a.Y, b.Y);
}

inline int Sign(long long v)
{
    return (v > 0) - (v < 0);
}

// Closed segments: touching counts.
inline bool SegmentsMeet(const GridPoint& a, const GridPoint& b, const GridPoint& c,
                         const GridPoint& d)
{
    const int d1 = Sign(Cross(a, b, c));
    const int d2 = Sign(Cross(a, b, d));
    const int d3 = Sign(Cross(c, d, a));
    const int d4 = Sign(Cross(c, d, b));
    if (d1 * d2 < 0 && d3 * d4 < 0)
    {
        return true;
    }
    return IsOnSegment(c, a, b) || IsOnSegment(d, a, b) || IsOnSegment(a, c, d) ||
           IsOnSegment(b, c, d);
}

// Whether two segments share a piece of positive length.
inline bool SegmentsOverlap(const GridPoint& a, const GridPoint& b, const GridPoint& c,
                            const GridPoint& d)
{
    if (Cross(a, b, c) != 0 || Cross(a, b, d) != 0 || a == b || c == d)
    {
        return false;
    }
    // Collinear: compare the projections on the longer axis.
    const bool alongX =
        std::max(a.X, b.X) - std::min(a.X, b.X) >= std::max(a.Y, b.Y) - std::min(a.Y, b.Y);
    const auto key = [alongX](const GridPoint& p) { return alongX ? p.X : p.Y; };
    const long long low = std::max(std::min(key(a), key(b)), std::min(key(c), key(d)));
    const long long high = std::min(std::max(key(a), key(b)), std::max(key(c), key(d)));
    return low < high;
}

inline bool AreRingNeighbours(std::size_t i, std::size_t j, std::size_t n)
{
    const std::size_t difference = i > j ? i - j : j - i;
    return difference <= 1 || difference == n - 1;
}

// Two edges that are not neighbours in the ring have a common point.
inline bool IsSelfIntersecting(const GridRing& ring)
{
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i)
    {
        for (std::size_t j = i + 1; j < n; ++j)
        {
            if (!AreRingNeighbours(i, j, n) &&
                SegmentsMeet(ring[i], ring[(i + 1) % n], ring[j], ring[(j + 1) % n]))
            {
                return true;
            }
        }
    }
    return false;
}

// A simple ring: at least three distinct vertices, non-zero area, no edge meeting another
// that is not its neighbour, and neighbouring edges meeting only at their common vertex.
inline bool IsSimple(const GridRing& ring)
{
    const std::size_t n = ring.size();
    if (n < 3 || TwiceSignedArea(ring) == 0 || IsSelfIntersecting(ring))
    {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i)
    {
        const GridPoint& a = ring[i];
        const GridPoint& b = ring[(i + 1) % n];
        const GridPoint& c = ring[(i + 2) % n];
        if (a == b || SegmentsOverlap(a, b, b, c))
        {
            return false;
        }
    }
    return true;
}

// The rings share a piece of boundary of positive length.
inline bool ShareBoundary(const GridRing& r, const GridRing& s)
{
    for (std::size_t i = 0; i < r.size(); ++i)
    {
        for (std::size_t j = 0; j < s.size(); ++j)
        {
            if (SegmentsOverlap(r[i], r[(i + 1) % r.size()], s[j], s[(j + 1) % s.size()]))
            {
                return true;
            }
        }
    }
    return false;
}

// A vertex of either ring lies on the other ring.
inline bool RingsTouch(const GridRing& r, const GridRing& s)
{
    const auto vertexOn = [](const GridRing& vertices, const GridRing& edges)
    {
        for (const GridPoint& p : vertices)
        {
            for (std::size_t j = 0; j < edges.size(); ++j)
            {
                if (IsOnSegment(p, edges[j], edges[(j + 1) % edges.size()]))
                {
                    return true;
                }
            }
        }
        return false;
    };
    return vertexOn(r, s) || vertexOn(s, r);
}

// The rings as text, for the message of a failing input.
inline std::string Describe(const std::vector<GridRing>& rings)
{
    std::string text;
    for (const GridRing& ring : rings)
    {
        text += "[";
        for (const GridPoint& p : ring)
        {
            text += "(" + std::to_string(p.X) + "," + std::to_string(p.Y) + ")";
        }
        text += "]";
    }
    return text;
}

} // namespace Fuzzing
