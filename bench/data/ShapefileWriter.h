#pragma once

#include <string>
#include <vector>

namespace BenchData
{

struct XY
{
    double X = 0.0;
    double Y = 0.0;

    friend bool operator==(const XY& a, const XY& b) noexcept { return a.X == b.X && a.Y == b.Y; }
};

// One polygon record: its rings, each listed without the closing point (the writer repeats the
// first point at the end, as the file format wants). Exterior rings run clockwise.
using Ring = std::vector<XY>;
using PolygonRecord = std::vector<Ring>;

// Writes a polygon shapefile: the main file (.shp) and its index (.shx) next to it. Throws
// std::runtime_error when a file cannot be written.
void WritePolygonShapefile(const std::string& shpPath, const std::vector<PolygonRecord>& records);

} // namespace BenchData
