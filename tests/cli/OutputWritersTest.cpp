#include "OutputWriters.h"

#include "Arealis/Polygon.h"
#include "Arealis/PolygonLayer.h"
#include "InputLayer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
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
    const auto propertiesOf = [&](Arealis::Polygon* polygon, FeatureProperties& properties)
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

} // namespace
