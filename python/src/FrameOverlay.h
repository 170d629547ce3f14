#pragma once

#include "Guard.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ArealisPython
{

// Result pieces as one buffer of concatenated WKB with the offset of each piece, and for each
// piece the rows of the input frames it came from (-1 where it has no parent on that side).
struct Pieces
{
    std::string Data;
    std::vector<std::size_t> Offsets{0};
    std::vector<std::int64_t> Left;
    std::vector<std::int64_t> Right;

    void Add(std::int64_t left, std::int64_t right);
};

// Seconds spent building the layers from WKB, in the library's operations and writing WKB.
struct Timings
{
    double ConvertIn = 0.0;
    double Operation = 0.0;
    double ConvertOut = 0.0;
};

// The geometries of one frame: WKB per row, empty for a missing or empty geometry; Owned
// holds the WKB that was written for the call (reserved up front, so that views stay valid).
struct FrameGeometries
{
    std::string Name;
    std::vector<std::string_view> Wkb;
    std::vector<std::string> Owned;
};

struct OverlayRequest
{
    bool Intersection = false;      // one piece per pair of rows with a common area
    bool Difference = false;        // left rows without the right frame
    bool ReverseDifference = false; // right rows without the left frame
    int Threads = 0;                // for the layer subtractions; 0: every usable core
    Arealis::Precision Precision;   // of the topology the frames are read into
};

struct OverlayResult
{
    Pieces Intersection;       // ordered by left row, then right row
    // The pairs of rows whose polygons only touch (a common boundary point, no common area),
    // by left row, then right row: geopandas orders its rows by all pairs that meet.
    std::vector<std::int64_t> TouchingLeft;
    std::vector<std::int64_t> TouchingRight;
    Pieces Difference;         // ordered by left row
    Pieces ReverseDifference;  // ordered by right row
    Timings Time;
};

// The pieces of the overlay of two frames that the request names, computed without the GIL
// under guard's library lock. Bad geometries throw InputError naming the frame and row.
OverlayResult OverlayFrames(const FrameGeometries& left, const FrameGeometries& right,
                            const OverlayRequest& request, Guard& guard);

// The union of the polygons of each group (groups[i] is the group of row i, groups numbered
// from 0 to groupCount - 1); one piece per group that is not empty, ordered by group, with
// the group number as its left row. Each union runs on the given number of threads (0: every
// usable core).
Pieces DissolveFrame(const FrameGeometries& frame, const std::vector<std::int64_t>& groups,
                     std::int64_t groupCount, const Arealis::Precision& precision, int threads,
                     Guard& guard, Timings& time);

// For each row: empty when the polygon is valid (or missing), otherwise why it is not; strict
// also applies the simple-features rules to polygons the library accepts.
std::vector<std::string> ValidateFrame(const FrameGeometries& frame, bool strict,
                                       const Arealis::Precision& precision, Guard& guard);

} // namespace ArealisPython
