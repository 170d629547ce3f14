#include "Conversion.h"

#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"
#include "Guard.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ArealisPython
{

namespace
{

static_assert(std::endian::native == std::endian::little, "WKB is written in host order");

constexpr std::uint32_t WkbPolygon = 3;
constexpr std::uint32_t WkbMultiPolygon = 6;

const char* TypeName(std::uint32_t type)
{
    static const char* const names[] = {"Geometry",        "Point",        "LineString",
                                        "Polygon",         "MultiPoint",   "MultiLineString",
                                        "MultiPolygon",    "GeometryCollection"};
    return type < 8 ? names[type] : "unknown geometry";
}

template <class T> T Swapped(T value)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    std::reverse(bytes, bytes + sizeof(T));
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// Reads one WKB buffer front to back, in the byte order each geometry announces.
class WkbReader
{
public:
    explicit WkbReader(std::string_view data) : m_data(data) {}

    void ReadGeometry(Arealis::Polygon& polygon, bool nested)
    {
        const std::uint32_t type = ReadHeader();
        if (type == WkbPolygon)
        {
            ReadPolygon(polygon);
        }
        else if (type == WkbMultiPolygon && !nested)
        {
            const std::uint32_t parts = ReadCount();
            for (std::uint32_t i = 0; i < parts; ++i)
            {
                if (ReadHeader() != WkbPolygon)
                {
                    throw InputError("a MultiPolygon holds a part that is not a Polygon");
                }
                ReadPolygon(polygon);
            }
        }
        else
        {
            throw InputError(std::string("a ") + TypeName(type) +
                             ", not a Polygon or MultiPolygon");
        }
    }

    bool AtEnd() const { return m_offset == m_data.size(); }

private:
    std::uint32_t ReadHeader()
    {
        const auto order = static_cast<unsigned char>(Take(1)[0]);
        if (order > 1)
        {
            throw InputError("not well-known binary (byte order " + std::to_string(order) + ")");
        }
        m_swap = order == 0;
        std::uint32_t type = ReadUint32();
        // Extended flags (Z, M, SRID) in the high bits, or ISO dimensions as thousands.
        const bool extendedZ = (type & 0x80000000U) != 0;
        const bool extendedM = (type & 0x40000000U) != 0;
        if ((type & 0x20000000U) != 0)
        {
            ReadUint32(); // the SRID
        }
        type &= 0x0FFFFFFFU;
        const std::uint32_t iso = type / 1000;
        type %= 1000;
        m_dimensions = 2 + ((extendedZ || iso == 1 || iso == 3) ? 1 : 0) +
                       ((extendedM || iso == 2 || iso == 3) ? 1 : 0);
        return type;
    }

    void ReadPolygon(Arealis::Polygon& polygon)
    {
        const std::uint32_t rings = ReadCount();
        for (std::uint32_t i = 0; i < rings; ++i)
        {
            ReadRing(polygon, i == 0);
        }
    }

    void ReadRing(Arealis::Polygon& polygon, bool exterior)
    {
        const std::uint32_t count = ReadCount();
        m_points.clear();
        m_points.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
        {
            Arealis::Point point{ReadDouble(), ReadDouble()};
            for (unsigned extra = 2; extra < m_dimensions; ++extra)
            {
                ReadDouble();
            }
            if (!std::isfinite(point.X) || !std::isfinite(point.Y))
            {
                throw InputError(std::string(std::isnan(point.X) || std::isnan(point.Y)
                                                 ? "NaN"
                                                 : "infinite") +
                                 " coordinate in point " + std::to_string(i) + " of a ring");
            }
            m_points.push_back(point);
        }
        if (m_points.size() > 1 && m_points.front() == m_points.back())
        {
            m_points.pop_back();
        }
        // The library's signed area is positive for clockwise rings.
        double twiceArea = 0.0;
        for (std::size_t i = 0, n = m_points.size(); i < n; ++i)
        {
            const Arealis::Point& p = m_points[i];
            const Arealis::Point& q = m_points[(i + 1) % n];
            twiceArea += (q.X - p.X) * (q.Y + p.Y);
        }
        if ((twiceArea > 0.0) != exterior)
        {
            std::reverse(m_points.begin(), m_points.end());
        }
        polygon.CreateRing()->AddNodes(m_points);
    }

    std::uint32_t ReadCount()
    {
        const std::uint32_t count = ReadUint32();
        // Each item takes at least 4 bytes: a count beyond the data is malformed, not huge.
        if (count > (m_data.size() - m_offset) / 4)
        {
            throw InputError("truncated well-known binary");
        }
        return count;
    }

    std::uint32_t ReadUint32()
    {
        std::uint32_t value;
        std::memcpy(&value, Take(4), 4);
        return m_swap ? Swapped(value) : value;
    }

    double ReadDouble()
    {
        std::uint64_t bits;
        std::memcpy(&bits, Take(8), 8);
        return std::bit_cast<double>(m_swap ? Swapped(bits) : bits);
    }

    const char* Take(std::size_t size)
    {
        if (m_data.size() - m_offset < size)
        {
            throw InputError("truncated well-known binary");
        }
        const char* p = m_data.data() + m_offset;
        m_offset += size;
        return p;
    }

    std::string_view m_data;
    std::size_t m_offset = 0;
    bool m_swap = false;
    unsigned m_dimensions = 2;
    std::vector<Arealis::Point> m_points;
};

template <class T> void Put(std::string& out, T value)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

void PutHeader(std::string& out, std::uint32_t type)
{
    out.push_back(1);
    Put(out, type);
}

void PutRing(std::string& out, const Arealis::Ring& ring, bool exterior)
{
    const std::int32_t count = ring.Count();
    Put(out, static_cast<std::uint32_t>(count + 1));
    const auto nodes = ring.GetNodes();
    // Clockwise (positive) exterior rings are written the other way round, as are holes.
    const bool reverse = (ring.GetSignedArea() > 0.0) == exterior;
    for (std::int32_t i = 0; i <= count; ++i)
    {
        const std::int32_t k = i % count;
        const Arealis::Point& p = nodes[static_cast<std::size_t>(reverse ? count - 1 - k : k)]->Position;
        Put(out, p.X);
        Put(out, p.Y);
    }
}

// The rings of one exterior ring and its holes.
using Part = std::vector<const Arealis::Ring*>;

void PutPart(std::string& out, const Part& part)
{
    PutHeader(out, WkbPolygon);
    Put(out, static_cast<std::uint32_t>(part.size()));
    for (std::size_t i = 0; i < part.size(); ++i)
    {
        PutRing(out, *part[i], i == 0);
    }
}

} // namespace

void ReadWkb(std::string_view wkb, Arealis::Polygon& polygon)
{
    WkbReader reader(wkb);
    reader.ReadGeometry(polygon, false);
    if (!reader.AtEnd())
    {
        throw InputError("well-known binary with trailing bytes");
    }
}

void AppendWkb(Arealis::Polygon& polygon, std::string& out)
{
    // Organised, the ring circle holds each exterior ring followed by the holes it encloses.
    polygon.Organise();
    std::vector<Part> parts;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Arealis::Ring* pRing = rings.Current();
        if (pRing->IsExterior() || parts.empty())
        {
            parts.emplace_back();
        }
        parts.back().push_back(pRing);
    }
    if (parts.size() == 1)
    {
        PutPart(out, parts.front());
        return;
    }
    PutHeader(out, WkbMultiPolygon);
    Put(out, static_cast<std::uint32_t>(parts.size()));
    for (const Part& part : parts)
    {
        PutPart(out, part);
    }
}

} // namespace ArealisPython
