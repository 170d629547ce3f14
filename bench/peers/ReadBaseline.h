#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Peers
{

// Reading a polygon shapefile's main file into memory and decoding its coordinates into
// arrays of points, one per part: the least any reader has to do. Seconds covers reading and
// decoding; the area (clockwise rings positive) is computed afterwards.
struct DecodedFile
{
    double Seconds = 0.0;
    double CpuSeconds = 0.0;
    std::int64_t Records = 0;
    std::int64_t Vertices = 0;
    double Area = 0.0;
};

DecodedFile DecodeShapefile(const std::string& path);

// The same reading, keeping the points: each record's parts, each without its closing point.
struct DecodedPoint
{
    double X;
    double Y;
};
using DecodedRing = std::vector<DecodedPoint>;
using DecodedRecord = std::vector<DecodedRing>;
std::vector<DecodedRecord> DecodeShapefileRecords(const std::string& path);

} // namespace Peers
