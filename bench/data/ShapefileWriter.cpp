#include "ShapefileWriter.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace BenchData
{

namespace
{

constexpr std::int32_t FileCode = 9994;
constexpr std::int32_t Version = 1000;
constexpr std::int32_t PolygonType = 5;
constexpr std::size_t HeaderBytes = 100;

class ByteBuffer
{
public:
    void BigInt32(std::int32_t value)
    {
        const auto u = static_cast<std::uint32_t>(value);
        for (int shift = 24; shift >= 0; shift -= 8)
        {
            m_bytes.push_back(static_cast<unsigned char>((u >> shift) & 0xFFU));
        }
    }
    void LittleInt32(std::int32_t value)
    {
        const auto u = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift <= 24; shift += 8)
        {
            m_bytes.push_back(static_cast<unsigned char>((u >> shift) & 0xFFU));
        }
    }
    void LittleDouble(double value)
    {
        const auto u = std::bit_cast<std::uint64_t>(value);
        for (int shift = 0; shift <= 56; shift += 8)
        {
            m_bytes.push_back(static_cast<unsigned char>((u >> shift) & 0xFFU));
        }
    }
    void Append(const ByteBuffer& other)
    {
        m_bytes.insert(m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
    }
    std::size_t Size() const noexcept { return m_bytes.size(); }
    const std::vector<unsigned char>& Bytes() const noexcept { return m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};

struct Box
{
    double MinX = std::numeric_limits<double>::max();
    double MinY = std::numeric_limits<double>::max();
    double MaxX = std::numeric_limits<double>::lowest();
    double MaxY = std::numeric_limits<double>::lowest();

    void Extend(const XY& p)
    {
        MinX = std::min(MinX, p.X);
        MinY = std::min(MinY, p.Y);
        MaxX = std::max(MaxX, p.X);
        MaxY = std::max(MaxY, p.Y);
    }
    void Extend(const Box& b)
    {
        MinX = std::min(MinX, b.MinX);
        MinY = std::min(MinY, b.MinY);
        MaxX = std::max(MaxX, b.MaxX);
        MaxY = std::max(MaxY, b.MaxY);
    }
};

Box BoundsOf(const PolygonRecord& record)
{
    Box box;
    for (const Ring& ring : record)
    {
        for (const XY& p : ring)
        {
            box.Extend(p);
        }
    }
    return box;
}

void WriteHeader(ByteBuffer& out, std::size_t totalBytes, const Box& box)
{
    out.BigInt32(FileCode);
    for (int i = 0; i < 5; ++i)
    {
        out.BigInt32(0);
    }
    out.BigInt32(static_cast<std::int32_t>(totalBytes / 2));
    out.LittleInt32(Version);
    out.LittleInt32(PolygonType);
    out.LittleDouble(box.MinX);
    out.LittleDouble(box.MinY);
    out.LittleDouble(box.MaxX);
    out.LittleDouble(box.MaxY);
    for (int i = 0; i < 4; ++i)
    {
        out.LittleDouble(0.0); // Z and M ranges
    }
}

// The record content: shape type, box, part and point counts, part starts, points.
ByteBuffer RecordContent(const PolygonRecord& record, const Box& box)
{
    ByteBuffer content;
    content.LittleInt32(PolygonType);
    content.LittleDouble(box.MinX);
    content.LittleDouble(box.MinY);
    content.LittleDouble(box.MaxX);
    content.LittleDouble(box.MaxY);
    std::int32_t points = 0;
    for (const Ring& ring : record)
    {
        points += static_cast<std::int32_t>(ring.size()) + 1;
    }
    content.LittleInt32(static_cast<std::int32_t>(record.size()));
    content.LittleInt32(points);
    std::int32_t start = 0;
    for (const Ring& ring : record)
    {
        content.LittleInt32(start);
        start += static_cast<std::int32_t>(ring.size()) + 1;
    }
    for (const Ring& ring : record)
    {
        for (const XY& p : ring)
        {
            content.LittleDouble(p.X);
            content.LittleDouble(p.Y);
        }
        content.LittleDouble(ring.front().X);
        content.LittleDouble(ring.front().Y);
    }
    return content;
}

void WriteFile(const std::string& path, const ByteBuffer& header, const ByteBuffer& body)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
    {
        throw std::runtime_error(path + ": cannot open the file for writing");
    }
    file.write(reinterpret_cast<const char*>(header.Bytes().data()),
               static_cast<std::streamsize>(header.Size()));
    file.write(reinterpret_cast<const char*>(body.Bytes().data()),
               static_cast<std::streamsize>(body.Size()));
    if (!file)
    {
        throw std::runtime_error(path + ": writing failed");
    }
}

} // namespace

void WritePolygonShapefile(const std::string& shpPath, const std::vector<PolygonRecord>& records)
{
    ByteBuffer body;
    ByteBuffer index;
    Box total;
    std::int32_t recordNumber = 0;
    for (const PolygonRecord& record : records)
    {
        const Box box = BoundsOf(record);
        total.Extend(box);
        const ByteBuffer content = RecordContent(record, box);
        index.BigInt32(static_cast<std::int32_t>((HeaderBytes + body.Size()) / 2));
        index.BigInt32(static_cast<std::int32_t>(content.Size() / 2));
        body.BigInt32(++recordNumber);
        body.BigInt32(static_cast<std::int32_t>(content.Size() / 2));
        body.Append(content);
    }
    if (records.empty())
    {
        total = Box{0.0, 0.0, 0.0, 0.0};
    }
    ByteBuffer mainHeader;
    WriteHeader(mainHeader, HeaderBytes + body.Size(), total);
    WriteFile(shpPath, mainHeader, body);

    ByteBuffer indexHeader;
    WriteHeader(indexHeader, HeaderBytes + index.Size(), total);
    std::string shxPath = shpPath;
    if (shxPath.size() >= 4)
    {
        shxPath.replace(shxPath.size() - 4, 4, ".shx");
    }
    WriteFile(shxPath, indexHeader, index);
}

} // namespace BenchData
