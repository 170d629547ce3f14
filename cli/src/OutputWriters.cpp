#include "OutputWriters.h"

#include "Arealis/Node.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/RingEnumerator.h"

#include <array>
#include <charconv>
#include <nlohmann/json.hpp>

namespace ArealisCli
{

namespace
{

// A ring's points closed by repeating the first, turned counter-clockwise for an exterior ring
// and clockwise for a hole (the library keeps them the other way round).
std::vector<Arealis::Point> OrientedRing(const Arealis::Ring& ring, bool exterior)
{
    const std::int32_t count = ring.Count();
    std::vector<Arealis::Point> points;
    points.reserve(static_cast<std::size_t>(count) + 1);
    const bool clockwise = ring.GetSignedArea() > 0.0;
    const bool reverse = exterior == clockwise;
    for (std::int32_t i = 0; i < count; ++i)
    {
        points.push_back(ring.GetNode(reverse ? count - 1 - i : i)->Position);
    }
    if (count > 0)
    {
        points.push_back(points.front());
    }
    return points;
}

// Each exterior ring followed by its holes.
std::vector<std::vector<std::vector<Arealis::Point>>> PolygonParts(Arealis::Polygon& polygon)
{
    std::vector<std::vector<std::vector<Arealis::Point>>> parts;
    Arealis::RingEnumerator exteriors = polygon.GetRings(1);
    while (exteriors.MoveNext())
    {
        Arealis::Ring* exterior = exteriors.Current();
        std::vector<std::vector<Arealis::Point>> part{OrientedRing(*exterior, true)};
        Arealis::RingEnumerator holes = polygon.GetInteriorRings(exterior);
        while (holes.MoveNext())
        {
            part.push_back(OrientedRing(*holes.Current(), false));
        }
        parts.push_back(std::move(part));
    }
    return parts;
}

nlohmann::ordered_json GeoJsonGeometry(Arealis::Polygon& polygon)
{
    nlohmann::ordered_json coordinates = nlohmann::ordered_json::array();
    for (const auto& part : PolygonParts(polygon))
    {
        nlohmann::ordered_json rings = nlohmann::ordered_json::array();
        for (const auto& ring : part)
        {
            nlohmann::ordered_json points = nlohmann::ordered_json::array();
            for (const Arealis::Point& p : ring)
            {
                points.push_back({p.X, p.Y});
            }
            rings.push_back(std::move(points));
        }
        coordinates.push_back(std::move(rings));
    }
    return {{"type", "MultiPolygon"}, {"coordinates", std::move(coordinates)}};
}

} // namespace

std::string FormatCoordinate(double value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return {buffer.data(), result.ptr};
}

void WriteGeoJson(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons,
                  const ParentLookup& parentsOf)
{
    nlohmann::ordered_json features = nlohmann::ordered_json::array();
    for (Arealis::Polygon* polygon : polygons)
    {
        nlohmann::ordered_json parents = nlohmann::ordered_json::array();
        for (const ParentReference& parent : parentsOf(polygon))
        {
            parents.push_back({{"layer", parent.Layer}, {"record", parent.Record}});
        }
        features.push_back({{"type", "Feature"},
                            {"geometry", GeoJsonGeometry(*polygon)},
                            {"properties", {{"parents", std::move(parents)}}}});
    }
    const nlohmann::ordered_json collection{{"type", "FeatureCollection"},
                                            {"features", std::move(features)}};
    out << collection.dump() << '\n';
}

void WriteWkt(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons)
{
    for (Arealis::Polygon* polygon : polygons)
    {
        const auto parts = PolygonParts(*polygon);
        if (parts.empty())
        {
            out << "MULTIPOLYGON EMPTY\n";
            continue;
        }
        out << "MULTIPOLYGON (";
        for (std::size_t p = 0; p < parts.size(); ++p)
        {
            out << (p == 0 ? "(" : ", (");
            for (std::size_t r = 0; r < parts[p].size(); ++r)
            {
                out << (r == 0 ? "(" : ", (");
                for (std::size_t i = 0; i < parts[p][r].size(); ++i)
                {
                    const Arealis::Point& point = parts[p][r][i];
                    out << (i == 0 ? "" : ", ") << FormatCoordinate(point.X) << ' '
                        << FormatCoordinate(point.Y);
                }
                out << ')';
            }
            out << ')';
        }
        out << ")\n";
    }
}

void WriteSummary(std::ostream& out, const LayerStatistics& statistics)
{
    out << "polygons: " << statistics.Polygons << '\n'
        << "rings: " << statistics.Rings << '\n'
        << "vertices: " << statistics.Vertices << '\n';
    if (statistics.Bounds.IsEmpty())
    {
        out << "bounds: empty\n";
    }
    else
    {
        out << "bounds: " << FormatCoordinate(statistics.Bounds.MinX) << ' '
            << FormatCoordinate(statistics.Bounds.MinY) << ' '
            << FormatCoordinate(statistics.Bounds.MaxX) << ' '
            << FormatCoordinate(statistics.Bounds.MaxY) << '\n';
    }
    out << "area: " << FormatCoordinate(statistics.Area) << '\n';
}

} // namespace ArealisCli
