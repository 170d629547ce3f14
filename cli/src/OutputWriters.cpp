#include "OutputWriters.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "Arealis/Topology.h"
#include "Formats/PolygonParts.h"
#include "GridNumberText.h"
#include "OrderedChunkPipeline.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <span>
#include <sstream>
#include <string_view>

namespace ArealisCli
{

namespace
{

// Collects the text of many features in one block and hands it to the stream in writes of
// about BlockSize bytes: formatting through the stream's operators, or one std::string per
// feature, costs several times as much as the characters themselves.
class BlockWriter
{
public:
    // gridStep: the node grid of the numbers written, which makes their text faster to find
    // (0 for none; the text is the same).
    explicit BlockWriter(std::ostream& out, double gridStep = 0.0)
        : m_out(&out), m_buffer(BlockSize + Slack), m_numbers(gridStep)
    {
    }
    // Appends the text to a string instead: a chunk formatted apart from the stream.
    BlockWriter(std::string& text, double gridStep)
        : m_text(&text), m_buffer(BlockSize + Slack), m_numbers(gridStep)
    {
    }
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    ~BlockWriter() = default; // callers Flush(): a failing stream may throw, never from here

    void Append(std::string_view text)
    {
        if (text.size() > Free())
        {
            Flush();
            if (text.size() > Free())
            {
                Emit(text.data(), text.size());
                return;
            }
        }
        std::memcpy(m_buffer.data() + m_size, text.data(), text.size());
        m_size += text.size();
    }

    void Append(char c)
    {
        MakeRoom(1);
        m_buffer[m_size++] = c;
    }

    // Shortest text that reads back as the same double (std::to_chars without a format).
    void AppendNumber(double value)
    {
        MakeRoom(GridNumberText::MaxLength);
        m_size = static_cast<std::size_t>(m_numbers.Write(m_buffer.data() + m_size, value) -
                                          m_buffer.data());
    }

    void AppendInteger(std::int64_t value)
    {
        MakeRoom(MaxNumberLength);
        const auto result =
            std::to_chars(m_buffer.data() + m_size, m_buffer.data() + m_buffer.size(), value);
        m_size = static_cast<std::size_t>(result.ptr - m_buffer.data());
    }

    // Hands the block to the stream once it is full; between features, so that a feature's
    // pieces are not split into many small writes.
    void FlushIfFull()
    {
        if (m_size >= BlockSize)
        {
            Flush();
        }
    }

    void Flush()
    {
        if (m_size > 0)
        {
            Emit(m_buffer.data(), m_size);
            m_size = 0;
        }
    }

private:
    static constexpr std::size_t BlockSize = std::size_t{1} << 16;
    static constexpr std::size_t Slack = 4096;
    // The longest shortest-round-trip double ("-2.2250738585072014e-308") or int64 is 24.
    static constexpr std::size_t MaxNumberLength = 32;

    std::size_t Free() const { return m_buffer.size() - m_size; }

    void Emit(const char* pData, std::size_t size)
    {
        if (m_text != nullptr)
        {
            m_text->append(pData, size);
        }
        else
        {
            m_out->write(pData, static_cast<std::streamsize>(size));
        }
    }

    void MakeRoom(std::size_t count)
    {
        if (count > Free())
        {
            Flush();
        }
    }

    std::ostream* m_out = nullptr; // where the blocks go: the stream,
    std::string* m_text = nullptr; // or else this text
    std::vector<char> m_buffer;
    std::size_t m_size = 0;
    GridNumberText m_numbers;
};

// The node grid of the polygons' layer; 0 when they have none.
double GridStepOf(const std::vector<Arealis::Polygon*>& polygons)
{
    if (polygons.empty() || polygons.front()->GetLayer() == nullptr)
    {
        return 0.0;
    }
    return polygons.front()->GetLayer()->GetTopology()->GetPrecision().GridStep;
}

bool NeedsEscape(char c)
{
    return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
}

void AppendJsonString(BlockWriter& text, std::string_view value)
{
    text.Append('"');
    std::size_t plain = 0; // start of the run of characters copied as they are
    for (std::size_t i = 0; i < value.size(); ++i)
    {
        const char c = value[i];
        if (!NeedsEscape(c))
        {
            continue;
        }
        text.Append(value.substr(plain, i - plain));
        plain = i + 1;
        switch (c)
        {
        case '"':
            text.Append("\\\"");
            break;
        case '\\':
            text.Append("\\\\");
            break;
        case '\n':
            text.Append("\\n");
            break;
        case '\r':
            text.Append("\\r");
            break;
        case '\t':
            text.Append("\\t");
            break;
        default:
        {
            static constexpr char Hex[] = "0123456789abcdef";
            const auto code = static_cast<unsigned char>(c);
            const char escaped[] = {'\\', 'u', '0', '0', Hex[code >> 4], Hex[code & 0xF]};
            text.Append(std::string_view(escaped, sizeof escaped));
        }
        }
    }
    text.Append(value.substr(plain));
    text.Append('"');
}

std::string JsonString(std::string_view value)
{
    std::ostringstream out;
    {
        BlockWriter text(out);
        AppendJsonString(text, value);
        text.Flush();
    }
    return out.str();
}

void AppendJsonValue(BlockWriter& text, const Formats::FieldValue& value)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value))
    {
        text.AppendInteger(*integer);
    }
    else if (const auto* real = std::get_if<double>(&value))
    {
        if (std::isfinite(*real))
        {
            text.AppendNumber(*real);
        }
        else
        {
            text.Append("null");
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
        text.Append("null");
    }
}

void AppendGeoJsonGeometry(BlockWriter& text, const Formats::PolygonParts& parts)
{
    text.Append(R"({"type":"MultiPolygon","coordinates":[)");
    for (std::size_t p = 0; p < parts.Count(); ++p)
    {
        text.Append(p == 0 ? "[" : ",[");
        const std::span<const Formats::OrientedRing> rings = parts[p];
        for (std::size_t r = 0; r < rings.size(); ++r)
        {
            text.Append(r == 0 ? "[" : ",[");
            const Formats::OrientedRing& ring = rings[r];
            for (std::size_t i = 0; i < ring.size(); ++i)
            {
                text.Append(i == 0 ? "[" : ",[");
                text.AppendNumber(ring[i].X);
                text.Append(',');
                text.AppendNumber(ring[i].Y);
                text.Append(']');
            }
            text.Append(']');
        }
        text.Append(']');
    }
    text.Append("]}");
}

// columnKeys holds each column's name as a JSON string followed by ':', escaped once per file.
void AppendProperties(BlockWriter& text, const std::vector<std::string>& columnKeys,
                      const FeatureProperties& properties)
{
    text.Append('{');
    for (std::size_t c = 0; c < columnKeys.size(); ++c)
    {
        text.Append(columnKeys[c]);
        AppendJsonValue(text, c < properties.Values.size() ? properties.Values[c]
                                                           : Formats::FieldValue{});
        text.Append(',');
    }
    text.Append(R"("parents":[)");
    for (std::size_t p = 0; p < properties.Parents.size(); ++p)
    {
        if (p > 0)
        {
            text.Append(',');
        }
        text.Append(R"({"layer":)");
        AppendJsonString(text, properties.Parents[p].Layer);
        text.Append(R"(,"record":)");
        text.AppendInteger(properties.Parents[p].Record);
        text.Append('}');
    }
    text.Append("]}");
}

// What the GeoJSON features are made of; read by every thread that formats them.
struct GeoJsonFeatures
{
    const std::vector<Arealis::Polygon*>& Polygons;
    // Each column's name as a JSON string followed by ':', escaped once per file.
    std::vector<std::string> ColumnKeys;
    const PropertiesLookup& PropertiesOf;
};

void AppendGeoJsonFeatures(BlockWriter& text, const GeoJsonFeatures& features, std::size_t begin,
                           std::size_t end)
{
    // Kept from feature to feature: after the first few, no feature allocates.
    Formats::PolygonParts parts;
    FeatureProperties properties;
    for (std::size_t i = begin; i < end; ++i)
    {
        text.Append(i == 0 ? R"({"type":"Feature","geometry":)"
                           : R"(,{"type":"Feature","geometry":)");
        parts.Gather(*features.Polygons[i]);
        AppendGeoJsonGeometry(text, parts);
        text.Append(R"(,"properties":)");
        features.PropertiesOf(i, features.Polygons[i], properties);
        AppendProperties(text, features.ColumnKeys, properties);
        text.Append('}');
        text.FlushIfFull();
    }
}

void AppendWktFeatures(BlockWriter& text, const std::vector<Arealis::Polygon*>& polygons,
                       std::size_t begin, std::size_t end)
{
    Formats::PolygonParts parts;
    for (std::size_t k = begin; k < end; ++k)
    {
        parts.Gather(*polygons[k]);
        if (parts.empty())
        {
            text.Append("MULTIPOLYGON EMPTY\n");
            continue;
        }
        text.Append("MULTIPOLYGON (");
        for (std::size_t p = 0; p < parts.Count(); ++p)
        {
            text.Append(p == 0 ? "(" : ", (");
            const std::span<const Formats::OrientedRing> rings = parts[p];
            for (std::size_t r = 0; r < rings.size(); ++r)
            {
                text.Append(r == 0 ? "(" : ", (");
                const Formats::OrientedRing& ring = rings[r];
                for (std::size_t i = 0; i < ring.size(); ++i)
                {
                    if (i > 0)
                    {
                        text.Append(", ");
                    }
                    text.AppendNumber(ring[i].X);
                    text.Append(' ');
                    text.AppendNumber(ring[i].Y);
                }
                text.Append(')');
            }
            text.Append(')');
        }
        text.Append(")\n");
        text.FlushIfFull();
    }
}

// A chunk's share of the text: about a megabyte, at some 40 bytes a vertex in either format,
// so that a chunk's formatting outweighs handing it over and a window of chunks stays small.
constexpr std::int64_t ChunkVertices = std::int64_t{1} << 15;
// A feature's own text (its properties, its MULTIPOLYGON) counted as this many vertices.
constexpr std::int64_t FeatureVertices = 8;

// The polygon's vertices, organising it first if it was modified (which moves its rings, not
// their nodes): IsModified and GetNodeCount in one walk over the rings, which the cutting of
// every chunk takes before any formatting can start.
std::int64_t OrganisedNodeCount(Arealis::Polygon& polygon)
{
    bool modified = polygon.HasPolygonFlag(Arealis::Polygon::PolygonFlags::Modified);
    std::int64_t nodes = 0;
    Arealis::RingEnumerator rings = polygon.GetRings();
    while (rings.MoveNext())
    {
        const Arealis::Ring* ring = rings.Current();
        nodes += ring->Count();
        modified = modified || ring->HasFlag(Arealis::Ring::Flags::Modified);
    }
    if (modified)
    {
        polygon.Organise();
    }
    return nodes;
}

// The end of the run of consecutive polygons from begin on of about ChunkVertices vertices; a
// polygon is never split, so a large one makes a chunk of its own. Modified polygons are
// organised here, one at a time, so that formatting only reads them.
std::size_t ChunkEnd(const std::vector<Arealis::Polygon*>& polygons, std::size_t begin)
{
    std::int64_t vertices = 0;
    std::size_t end = begin;
    while (end < polygons.size() && vertices < ChunkVertices)
    {
        vertices += OrganisedNodeCount(*polygons[end++]) + FeatureVertices;
    }
    return end;
}

void WriteText(std::ostream& out, std::string_view text)
{
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

using AppendFeatures = std::function<void(BlockWriter&, std::size_t begin, std::size_t end)>;

// Writes the text that append gives for polygons [0, n): on the calling thread for one thread
// or a list of a single chunk, else formatted in chunks on the threads and written in order.
//
// Formatting on several threads at once is safe because each polygon is cut into a chunk and
// formatted by one thread, and no thread changes what another reads. The cutting organises a
// modified polygon, which relinks only that polygon's rings, under the pipeline's lock and
// before the polygon is formatted; PolygonParts::Gather then only walks the organised ring
// circle and reads the rings' nodes, which neighbouring polygons share but nobody writes. The
// one thing it may store is a ring's cached area, in the ring itself, which belongs to the
// polygon being formatted. The numbers' text, the column keys and the properties lookup are
// only read (see ResultAttributes::ListLookup); every chunk has its own BlockWriter, parts and
// properties.
void WriteFeatures(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons, int threads,
                   const AppendFeatures& append)
{
    const double gridStep = GridStepOf(polygons);
    const unsigned threadCount = Arealis::Topology::ResolveLayerThreads(threads);
    if (threadCount < 2 || ChunkEnd(polygons, 0) == polygons.size())
    {
        BlockWriter text(out, gridStep);
        append(text, 0, polygons.size());
        text.Flush();
        return;
    }
    OrderedChunkPipeline pipeline(polygons.size(), threadCount, 2 * std::size_t{threadCount});
    pipeline.Run(
        out, [&polygons](std::size_t begin) { return ChunkEnd(polygons, begin); },
        [&](std::size_t begin, std::size_t end, std::string& chunk)
        {
            BlockWriter text(chunk, gridStep);
            append(text, begin, end);
            text.Flush();
        });
}

} // namespace

std::string FormatCoordinate(double value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

void WriteGeoJson(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons,
                  const std::vector<Formats::Field>& columns, const PropertiesLookup& propertiesOf,
                  int threads)
{
    GeoJsonFeatures features{polygons, {}, propertiesOf};
    features.ColumnKeys.reserve(columns.size());
    for (const Formats::Field& column : columns)
    {
        features.ColumnKeys.push_back(JsonString(column.Name) + ':');
    }
    WriteText(out, R"({"type":"FeatureCollection","features":[)");
    WriteFeatures(out, polygons, threads,
                  [&features](BlockWriter& text, std::size_t begin, std::size_t end)
                  { AppendGeoJsonFeatures(text, features, begin, end); });
    WriteText(out, "]}\n");
}

void WriteWkt(std::ostream& out, const std::vector<Arealis::Polygon*>& polygons, int threads)
{
    WriteFeatures(out, polygons, threads,
                  [&polygons](BlockWriter& text, std::size_t begin, std::size_t end)
                  { AppendWktFeatures(text, polygons, begin, end); });
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
