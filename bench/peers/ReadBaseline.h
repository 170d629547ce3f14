#pragma once

#include <cstdint>
#include <string>

namespace Peers
{

// Reading a polygon shapefile's main file into memory and decoding its coordinates into
// arrays of points, one per part: the least any reader has to do. Seconds covers reading and
// decoding; the area (clockwise rings positive) is computed afterwards.
struct DecodedFile
{
    double Seconds = 0.0;
    std::int64_t Records = 0;
    std::int64_t Vertices = 0;
    double Area = 0.0;
};

DecodedFile DecodeShapefile(const std::string& path);

} // namespace Peers
