#include "OutputWriters.h"

#include "Arealis/Polygon.h"
#include "Formats/PolygonParts.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace ArealisCli
{

namespace
{

// Features are put together in one reused buffer and handed to the stream in one write each:
// formatting through the stream's operators costs several times as much.
void AppendNumber(std::string& text, double value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    text.append(buffer.data(), result.ptr);
}

void AppendInteger(std::string& text, std::int64_t value)
{
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    text.append(buffer.data(), result.ptr);
}

void AppendJsonString(std::string& text, const std::string& value)
{
    text += '"';
    for (const char c : value)
    {
        switch (c)
        {
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        case '\t':
            text += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
            {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                text += escaped;
            }
            else
            {
                text += c;
            }
        }
    }
    text += '"';
}

void AppendJsonValue(std::string& text, const Formats::FieldValue& value)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value))
    {
        AppendInteger(text, *integer);
    }
    else if (const auto* real = std::get_if<double>(&value))
    {
        if (std::isfinite(*real))
        {
            AppendNumber(text, *real);
        }
        else
        {
            text += "null";
        }
    }
    else if (const auto* string = std::get_if<std::string>(&value))
    {
        AppendJsonString(text, *string);
    }
    else if (const auto* date = std::get_if<Formats::Date>(&value))
    {
        AppendJsonString(text, Formats::FormatDate(*date));
    }
    else
    {
        text += "null";
    }
}

void AppendGeoJsonGeometry(std::string& text, Arealis::Polygon& polygon)
{
    text += R"({"type":"MultiPolygon","coordinates":[)";
    bool firstPart = true;
    for (const Formats::PolygonPart& part : Formats::PolygonParts(polygon))
    {
        text += firstPart ? "[" : ",[";
        firstPart = false;
        for (std::size_t r = 0; r < part.size(); ++r)
        {
            text += r == 0 ? "[" : ",[";
            for (std::size_t i = 0; i < part[r].size(); ++i)
            {
                text += i == 0 ? "[" : ",[";
                AppendNumber(text, part[r][i].X);
                text += ',';
                AppendNumber(text, part[r][i].Y);
                text += ']';
            }
            text += ']';
        }
        text += ']';
    }
    text += "]}";
}

void AppendProperties(std::string& text, const std::vector<Formats::Field>& columns,
                      const FeatureProperties& properties)
{
    text += '{';
    for (std::size_t c = 0; c < columns.size(); ++c)
    {
        AppendJsonString(text, columns[c].Name);
        text += ':';
        AppendJsonValue(text, c < properties.Values.size() ? properties.Values[c]
                                                           : Formats::FieldValue{});
        text += ',';
    }
    text += R"("parents":[)";
    for (std::size_t p = 0; p < properties.Parents.size(); ++p)
    {
        text += p == 0 ? "" : ",";
        text += R"({"layer":)";
        AppendJsonString(text, properties.Parents[p].Layer);
        text += R"(,"record":)";
        AppendInteger(text, properties.Parents[p].Record);
        text += '}';
    }
    text += "]}";
}

} // namespace

std::string FormatCoordinate(double value)
{
    std::string text;
    AppendNumber(text, value);
    return text;
}

void WriteGeoJson(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons,
                  const std::vector<Formats::Field>& columns, const PropertiesLookup& propertiesOf)
{
    out << R"({"type":"FeatureCollection","features":[)";
    std::string text;
    for (std::size_t i = 0; i < polygons.size(); ++i)
    {
        text.clear();
        text += i == 0 ? "" : ",";
        text += R"({"type":"Feature","geometry":)";
        AppendGeoJsonGeometry(text, *polygons[i]);
        text += R"(,"properties":)";
        AppendProperties(text, columns, propertiesOf(polygons[i]));
        text += '}';
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    out << "]}\n";
}

void WriteWkt(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons)
{
    std::string text;
    for (Arealis::Polygon* polygon : polygons)
    {
        const auto parts = Formats::PolygonParts(*polygon);
        text.clear();
        if (parts.empty())
        {
            text += "MULTIPOLYGON EMPTY\n";
        }
        else
        {
            text += "MULTIPOLYGON (";
            for (std::size_t p = 0; p < parts.size(); ++p)
            {
                text += p == 0 ? "(" : ", (";
                for (std::size_t r = 0; r < parts[p].size(); ++r)
                {
                    text += r == 0 ? "(" : ", (";
                    for (std::size_t i = 0; i < parts[p][r].size(); ++i)
                    {
                        text += i == 0 ? "" : ", ";
                        AppendNumber(text, parts[p][r][i].X);
                        text += ' ';
                        AppendNumber(text, parts[p][r][i].Y);
                    }
                    text += ')';
                }
                text += ')';
            }
            text += ")\n";
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
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
