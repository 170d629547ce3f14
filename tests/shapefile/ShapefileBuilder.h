#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

// Writes shapefile main files byte by byte for the reader's tests, including malformed ones.
class ShapefileBuilder
{
public:
    struct Xy
    {
        double X;
        double Y;
    };
    using Part = std::vector<Xy>;

    // A polygon record; each part is closed here by repeating its first point.
    ShapefileBuilder& Polygon(const std::vector<Part>& parts, std::int32_t shapeType = 5)
    {
        std::vector<std::int32_t> starts;
        std::vector<Xy> points;
        for (const Part& part : parts)
        {
            starts.push_back(static_cast<std::int32_t>(points.size()));
            points.insert(points.end(), part.begin(), part.end());
            points.push_back(part.front());
        }
        return RawPolygon(shapeType, static_cast<std::int32_t>(starts.size()),
                          static_cast<std::int32_t>(points.size()), starts, points,
                          shapeType == 15 ? 2 * (16 + 8 * points.size()) : 0);
    }

    // A polygon record with the counts and part starts exactly as given, followed by
    // trailingBytes of zeros (Z and M arrays, say).
    ShapefileBuilder& RawPolygon(std::int32_t shapeType, std::int32_t numParts,
                                 std::int32_t numPoints, const std::vector<std::int32_t>& starts,
                                 const std::vector<Xy>& points, std::size_t trailingBytes = 0)
    {
        std::vector<unsigned char> content;
        LittleInt(content, shapeType);
        for (int i = 0; i < 4; ++i)
        {
            LittleDouble(content, 0.0);
        }
        LittleInt(content, numParts);
        LittleInt(content, numPoints);
        for (std::int32_t start : starts)
        {
            LittleInt(content, start);
        }
        for (const Xy& p : points)
        {
            LittleDouble(content, p.X);
            LittleDouble(content, p.Y);
        }
        content.resize(content.size() + trailingBytes, 0);
        return Record(content);
    }

    ShapefileBuilder& NullShape()
    {
        std::vector<unsigned char> content;
        LittleInt(content, 0);
        return Record(content);
    }

    ShapefileBuilder& PointShape(double x, double y)
    {
        std::vector<unsigned char> content;
        LittleInt(content, 1);
        LittleDouble(content, x);
        LittleDouble(content, y);
        return Record(content);
    }

    // A record whose header declares contentWords 16-bit words, with the given content.
    ShapefileBuilder& RecordWithDeclaredLength(std::int32_t contentWords,
                                               const std::vector<unsigned char>& content)
    {
        BigInt(m_records, ++m_recordNumber);
        BigInt(m_records, contentWords);
        m_records.insert(m_records.end(), content.begin(), content.end());
        return *this;
    }

    ShapefileBuilder& Garbage(std::size_t count)
    {
        m_trailing.resize(m_trailing.size() + count, 0xAB);
        return *this;
    }

    // The declared file length in 16-bit words; by default the true length without garbage.
    ShapefileBuilder& DeclaredWords(std::int32_t words)
    {
        m_declaredWords = words;
        return *this;
    }

    std::vector<unsigned char> Bytes() const
    {
        std::vector<unsigned char> bytes;
        BigInt(bytes, 9994);
        bytes.resize(24, 0);
        const auto trueWords = static_cast<std::int32_t>((100 + m_records.size()) / 2);
        BigInt(bytes, m_declaredWords.value_or(trueWords));
        LittleInt(bytes, 1000);
        LittleInt(bytes, 5);
        bytes.resize(100, 0);
        bytes.insert(bytes.end(), m_records.begin(), m_records.end());
        bytes.insert(bytes.end(), m_trailing.begin(), m_trailing.end());
        return bytes;
    }

    std::string WriteTo(const std::filesystem::path& path) const
    {
        const std::vector<unsigned char> bytes = Bytes();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    static void LittleInt(std::vector<unsigned char>& out, std::int32_t value)
    {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i)
        {
            out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
        }
    }

    static void BigInt(std::vector<unsigned char>& out, std::int32_t value)
    {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int i = 3; i >= 0; --i)
        {
            out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
        }
    }

    static void LittleDouble(std::vector<unsigned char>& out, double value)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 8; ++i)
        {
            out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
        }
    }

private:
    ShapefileBuilder& Record(const std::vector<unsigned char>& content)
    {
        return RecordWithDeclaredLength(static_cast<std::int32_t>(content.size() / 2), content);
    }

    std::vector<unsigned char> m_records;
    std::vector<unsigned char> m_trailing;
    std::int32_t m_recordNumber = 0;
    std::optional<std::int32_t> m_declaredWords;
};
