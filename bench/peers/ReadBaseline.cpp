#include "ReadBaseline.h"

#include "Outcome.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace Peers
{

namespace
{

struct XY
{
    double X;
    double Y;
};

std::int32_t BigInt32(const unsigned char* p)
{
    return static_cast<std::int32_t>((std::uint32_t{p[0]} << 24U) | (std::uint32_t{p[1]} << 16U) |
                                     (std::uint32_t{p[2]} << 8U) | std::uint32_t{p[3]});
}

std::int32_t LittleInt32(const unsigned char* p)
{
    return static_cast<std::int32_t>((std::uint32_t{p[3]} << 24U) | (std::uint32_t{p[2]} << 16U) |
                                     (std::uint32_t{p[1]} << 8U) | std::uint32_t{p[0]});
}

double LittleDouble(const unsigned char* p)
{
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
    {
        bits = (bits << 8U) | p[i];
    }
    return std::bit_cast<double>(bits);
}

// Reads the whole file and calls onRecord() for each polygon record, then onPart(points,
// count) for each of its parts with the part's points less the closing one.
template <class TRecord, class TPart>
void WalkPolygonRecords(const std::string& path, TRecord onRecord, TPart onPart)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        throw std::runtime_error(path + ": cannot open the file");
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    constexpr std::size_t headerSize = 100;
    std::size_t offset = headerSize;
    while (offset + 8 <= bytes.size())
    {
        const auto contentSize = static_cast<std::size_t>(BigInt32(&bytes[offset + 4])) * 2;
        const unsigned char* content = &bytes[offset + 8];
        offset += 8 + contentSize;
        if (offset > bytes.size() || contentSize < 44 || LittleInt32(content) != 5)
        {
            continue;
        }
        onRecord();
        const std::int32_t partCount = LittleInt32(content + 36);
        const std::int32_t pointCount = LittleInt32(content + 40);
        const unsigned char* starts = content + 44;
        const unsigned char* points = starts + 4 * static_cast<std::size_t>(partCount);
        for (std::int32_t part = 0; part < partCount; ++part)
        {
            const std::int32_t begin = LittleInt32(starts + 4 * part);
            const std::int32_t end =
                part + 1 < partCount ? LittleInt32(starts + 4 * (part + 1)) : pointCount;
            onPart(points + 16 * static_cast<std::size_t>(begin), std::max(0, end - begin - 1));
        }
    }
}

template <class TPoint>
std::vector<TPoint> DecodePoints(const unsigned char* points, std::int32_t count)
{
    std::vector<TPoint> ring;
    ring.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
    {
        const unsigned char* p = points + 16 * static_cast<std::size_t>(i);
        ring.push_back({LittleDouble(p), LittleDouble(p + 8)});
    }
    return ring;
}

} // namespace

std::vector<DecodedRecord> DecodeShapefileRecords(const std::string& path)
{
    std::vector<DecodedRecord> records;
    WalkPolygonRecords(
        path, [&records] { records.emplace_back(); },
        [&records](const unsigned char* points, std::int32_t count)
        { records.back().push_back(DecodePoints<DecodedPoint>(points, count)); });
    return records;
}

DecodedFile DecodeShapefile(const std::string& path)
{
    const Stopwatch watch;
    std::vector<std::vector<XY>> parts;
    DecodedFile decoded;
    WalkPolygonRecords(
        path, [&decoded] { ++decoded.Records; },
        [&parts](const unsigned char* points, std::int32_t count)
        { parts.push_back(DecodePoints<XY>(points, count)); });
    decoded.Seconds = watch.Seconds();
    decoded.CpuSeconds = watch.CpuSeconds();
    for (const std::vector<XY>& ring : parts)
    {
        decoded.Vertices += static_cast<std::int64_t>(ring.size());
        double sum = 0.0;
        for (std::size_t i = 0; i < ring.size(); ++i)
        {
            const XY& a = ring[i];
            const XY& b = ring[(i + 1) % ring.size()];
            sum += a.X * b.Y - b.X * a.Y;
        }
        decoded.Area -= sum / 2;
    }
    return decoded;
}

} // namespace Peers
