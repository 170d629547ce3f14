#include <Arealis/Polygon.h>
#include <Arealis/PolygonLayer.h>
#include <Arealis/Ring.h>
#include <Arealis/Topology.h>
#include <Formats/CoordinateSystem.h>
#include <iostream>

int main()
{
    Arealis::Topology* topology = Arealis::Topology::Create();
    Arealis::PolygonLayer* layer = topology->CreatePolygonLayer(false);
    Arealis::Polygon* square = layer->CreatePolygon();
    Arealis::Ring* ring = square->CreateRing();
    ring->AddNode(0, 0);
    ring->AddNode(0, 10);
    ring->AddNode(10, 10);
    ring->AddNode(10, 0);
    layer->Commit();
    std::cout << "area " << ring->GetSignedArea() << '\n';
    Arealis::Topology::Delete(topology);
    // Through GDAL, which the formats library brings along.
    std::cout << "system " << Formats::CoordinateSystemFromText("EPSG:4326").Name << '\n';
    return 0;
}
