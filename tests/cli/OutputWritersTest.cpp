#include "OutputWriters.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "InputLayer.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <ios>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace ArealisCli;

namespace
{

// The exact text of both writers: number formatting, JSON escaping (including a value longer
// than the writers' block) and the layout that readers of earlier outputs rely on.
TEST(OutputWritersTest, WriteTheExactTextOfEachFeature)
{
    TopologyPtr topology = CreateTopology();
    Arealis::PolygonLayer* layer = topology->CreatePolygonLayer(true);
    Arealis::Polygon* triangle = layer->CreatePolygon();
    const std::vector<Arealis::Point> corners{{0.1, 0}, {-2.5e-7, 3}, {0.1, 1e21}};
    triangle->CreateRing()->AddNodes(corners);
    triangle->Organise();
    const std::vector<Arealis::Polygon*> polygons{triangle, layer->CreatePolygon()};

    const std::string longValue(100000, 'x');
    const std::vector<Formats::Field> columns{{"na\"me", Formats::FieldType::String},
                                              {"ctl\x01\t", Formats::FieldType::Real},
                                              {"long", Formats::FieldType::String}};
    const auto propertiesOf =
        [&](std::size_t, Arealis::Polygon* polygon, FeatureProperties& properties)
    {
        properties = {};
        if (polygon == triangle)
        {
            properties.Values = {std::string("a\\b\n\"c\""), std::nan(""), longValue};
            properties.Parents = {{"A", 7}, {"B", -1}};
        }
    };
    std::ostringstream geoJson;
    WriteGeoJson(geoJson, polygons, columns, propertiesOf);
    std::ostringstream wkt;
    WriteWkt(wkt, polygons);

    // The library snaps the corners to its grid: 0.1 comes back as 0.09999999999999999.
    EXPECT_EQ(geoJson.str(),
              R"({"type":"FeatureCollection","features":[{"type":"Feature","geometry":)"
              R"({"type":"MultiPolygon","coordinates":[[[[0.09999999999999999,1e+21],[0,3],)"
              R"([0.09999999999999999,0],[0.09999999999999999,1e+21]]]]},"properties":)"
              R"({"na\"me":"a\\b\n\"c\"","ctl\u0001\t":null,"long":")" +
                  longValue +
                  R"(","parents":[{"layer":"A","record":7},{"layer":"B","record":-1}]}},)"
                  R"({"type":"Feature","geometry":{"type":"MultiPolygon","coordinates":[]},)"
                  R"("properties":{"na\"me":null,"ctl\u0001\t":null,"long":null,"parents":[]}}]})"
                  "\n");
    EXPECT_EQ(wkt.str(), "MULTIPOLYGON (((0.09999999999999999 1e+21, 0 3, 0.09999999999999999 0, "
                         "0.09999999999999999 1e+21)))\nMULTIPOLYGON EMPTY\n");
}

// Parts and holes as readers expect them: each exterior counter-clockwise followed by the holes
// it encloses, clockwise, whatever order the rings were made in.
TEST(OutputWritersTest, WriteExteriorsWithTheirOwnHoles)
{
    TopologyPtr topology = CreateTopology();
    Arealis::PolygonLayer* layer = topology->CreatePolygonLayer(true);
    Arealis::Polygon* polygon = layer->CreatePolygon();
    // The library keeps exteriors clockwise and holes counter-clockwise.
    polygon->CreateRing()->AddNodes(std::vector<Arealis::Point>{{1, 1}, {2, 1}, {2, 2}, {1, 2}});
    polygon->CreateRing()->AddNodes(std::vector<Arealis::Point>{{5, 0}, {5, 1}, {6, 1}, {6, 0}});
    polygon->CreateRing()->AddNodes(std::vector<Arealis::Point>{{0, 0}, {0, 4}, {4, 4}, {4, 0}});
    polygon->Organise();
    std::ostringstream wkt;
    WriteWkt(wkt, {polygon});
    EXPECT_EQ(wkt.str(), "MULTIPOLYGON (((4 0, 4 4, 0 4, 0 0, 4 0), (1 2, 2 2, 2 1, 1 1, 1 2)), "
                         "((6 0, 6 1, 5 1, 5 0, 6 0)))\n");
}

// A list long enough to be formatted in several chunks: many small squares (every tenth with
// a hole, every hundredth without rings), and in the middle one polygon of many rings. The
// polygons are left unorganised, as a writer may be handed them.
struct ManyFeatures
{
    TopologyPtr Topology = CreateTopology();
    std::vector<Arealis::Polygon*> Polygons;

    ManyFeatures()
    {
        Arealis::PolygonLayer* layer = Topology->CreatePolygonLayer(true);
        for (int i = 0; i < 12000; ++i)
        {
            const double x = (i % 100) * 10.25;
            const double y = (i / 100) * 10.5;
            Arealis::Polygon* polygon = layer->CreatePolygon();
            if (i % 100 != 0)
            {
                polygon->CreateRing()->AddNodes(
                    std::vector<Arealis::Point>{{x, y}, {x, y + 9}, {x + 9, y + 9}, {x + 9, y}});
            }
            if (i % 10 == 1)
            {
                polygon->CreateRing()->AddNodes(std::vector<Arealis::Point>{
                    {x + 1, y + 1}, {x + 2, y + 1}, {x + 2, y + 2}, {x + 1, y + 2}});
            }
            Polygons.push_back(polygon);
            if (i == 6000)
            {
                Polygons.push_back(ManyRings(*layer));
            }
        }
    }

    // 400 separate rings of 100 nodes each (a zigzag bottom, a straight top), away from the
    // others.
    static Arealis::Polygon* ManyRings(Arealis::PolygonLayer& layer)
    {
        Arealis::Polygon* polygon = layer.CreatePolygon();
        for (int r = 0; r < 400; ++r)
        {
            const double x = 5000 + r * 3.0;
            std::vector<Arealis::Point> ring{{x + 2, -90}, {x, -90}};
            for (int k = 0; k < 98; ++k)
            {
                ring.push_back({x + k * 0.02, -100 - (k % 2) * 0.5});
            }
            polygon->CreateRing()->AddNodes(ring);
        }
        return polygon;
    }
};

// Column names and values that need escaping, taken from each polygon's place in the list: a
// lookup handed the wrong index, or properties of one chunk landing in another, shows.
const std::vector<Formats::Field> EscapedColumns{{"na\"me\n", Formats::FieldType::String},
                                                 {"n", Formats::FieldType::Integer}};

PropertiesLookup IndexedProperties(const std::vector<Arealis::Polygon*>& polygons)
{
    return [&polygons](std::size_t index, Arealis::Polygon* polygon, FeatureProperties& into)
    {
        const bool atIndex = polygons[index] == polygon;
        into.Values = {std::string("q\"\\\x02 ") + std::to_string(index),
                       std::int64_t{atIndex ? 1 : -1}};
        into.Parents = {{"A", static_cast<std::int64_t>(index)}};
    };
}

// Chunks formatted on several threads and written in order give exactly the bytes of one
// thread, for many features, a polygon of many rings, empty polygons and an empty list.
TEST(OutputWritersTest, WriteTheSameBytesOnEveryThreadCount)
{
    const ManyFeatures features;
    const std::vector<Arealis::Polygon*> none;
    for (const std::vector<Arealis::Polygon*>* polygons : {&features.Polygons, &none})
    {
        std::string geoJsonOfOne;
        std::string wktOfOne;
        for (const int threads : {1, 2, 3})
        {
            std::ostringstream geoJson;
            WriteGeoJson(geoJson, *polygons, EscapedColumns, IndexedProperties(*polygons), threads);
            std::ostringstream wkt;
            WriteWkt(wkt, *polygons, threads);
            if (threads == 1)
            {
                geoJsonOfOne = geoJson.str();
                wktOfOne = wkt.str();
                continue;
            }
            EXPECT_EQ(geoJson.str(), geoJsonOfOne) << threads << " threads";
            EXPECT_EQ(wkt.str(), wktOfOne) << threads << " threads";
        }
        if (polygons->empty())
        {
            EXPECT_EQ(geoJsonOfOne, "{\"type\":\"FeatureCollection\",\"features\":[]}\n");
            EXPECT_EQ(wktOfOne, "");
        }
        else
        {
            EXPECT_NE(geoJsonOfOne.find(R"("q\"\\\u0002 12000","n":1)"), std::string::npos);
            EXPECT_EQ(geoJsonOfOne.find(R"("n":-1)"), std::string::npos);
            EXPECT_NE(wktOfOne.find("MULTIPOLYGON EMPTY\n"), std::string::npos);
        }
    }
}

// A stream buffer that takes a number of bytes and then fails, as a full disk does.
class FailingBuffer : public std::streambuf
{
public:
    explicit FailingBuffer(std::size_t room) : m_room(room) {}
    const std::string& Text() const { return m_text; }

protected:
    std::streamsize xsputn(const char* pData, std::streamsize count) override
    {
        const std::size_t taken = std::min(static_cast<std::size_t>(count), m_room - m_text.size());
        m_text.append(pData, taken);
        return static_cast<std::streamsize>(taken);
    }
    int_type overflow(int_type c) override
    {
        const char one = traits_type::to_char_type(c);
        return xsputn(&one, 1) == 1 ? c : traits_type::eof();
    }

private:
    std::size_t m_room;
    std::string m_text;
};

// A stream that fails part way leaves the written text a prefix of the whole and the stream
// failed, or throws when it was asked to; either way every formatting thread has ended (a
// thread left running would end the process).
TEST(OutputWritersTest, StopOnAStreamThatFailsPartWay)
{
    const ManyFeatures features;
    std::ostringstream whole;
    WriteWkt(whole, features.Polygons);
    for (const bool throws : {false, true})
    {
        FailingBuffer buffer(700000);
        std::ostream out(&buffer);
        if (throws)
        {
            out.exceptions(std::ios::badbit);
            EXPECT_THROW(WriteWkt(out, features.Polygons, 2), std::ios_base::failure);
        }
        else
        {
            WriteWkt(out, features.Polygons, 2);
        }
        EXPECT_TRUE(out.bad());
        const std::string& written = buffer.Text();
        EXPECT_EQ(written.size(), 700000U);
        EXPECT_EQ(written, whole.str().substr(0, written.size()));
    }
}

} // namespace
