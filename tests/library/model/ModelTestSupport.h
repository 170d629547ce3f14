#pragma once

// Helpers shared by the tests of rings, polygons, layers and topologies.

#include "Arealis/Point.h"
#include "Arealis/Polygon.h"
#include "Arealis/Ring.h"
#include "Arealis/Topology.h"
#include "Exceptions/Exception.h"
#include "PolygonQueries.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace ModelTesting
{

using Arealis::Point;
using Points = std::vector<Point>;
using Arealis::Testing::PointsOf;

// "message @ location" of the library exception the call throws, or a note saying that it
// threw none.
template <class TFunction>
std::string Failure(TFunction function)
{
    try
    {
        function();
    }
    catch (const Exceptions::Exception& e)
    {
        return std::string(e.Message()) + " @ " + e.Location();
    }
    return "no exception";
}

inline void AddPoints(Arealis::Ring& ring, const Points& points)
{
    for (const Point& p : points)
    {
        ring.AddNode(p.X, p.Y);
    }
}

inline Points Reversed(Points points)
{
    return {points.rbegin(), points.rend()};
}

// Clockwise axis-parallel rectangle (positive signed area: an exterior ring).
inline Points Box(double minX, double minY, double maxX, double maxY)
{
    return {{minX, minY}, {minX, maxY}, {maxX, maxY}, {maxX, minY}};
}

// Counter-clockwise rectangle: a hole.
inline Points Hole(double minX, double minY, double maxX, double maxY)
{
    return Reversed(Box(minX, minY, maxX, maxY));
}

// Adds one ring per point list to the polygon.
inline Arealis::Polygon& AddRings(Arealis::Polygon& polygon, std::initializer_list<Points> rings)
{
    for (const Points& points : rings)
    {
        AddPoints(*polygon.CreateRing(), points);
    }
    return polygon;
}

inline std::vector<Arealis::Ring*> RingsOf(const Arealis::Polygon& polygon,
                                           int mode = Arealis::RingEnumerator::AllRings)
{
    std::vector<Arealis::Ring*> rings;
    Arealis::RingEnumerator enumerator = polygon.GetRings(mode);
    while (enumerator.MoveNext())
    {
        rings.push_back(enumerator.Current());
    }
    return rings;
}

// A topology that is deleted with the test.
class ScopedTopology
{
public:
    ScopedTopology() : m_topology(Arealis::Topology::Create()) {}
    ~ScopedTopology()
    {
        if (m_topology != nullptr)
        {
            Arealis::Topology::Delete(m_topology);
        }
    }
    ScopedTopology(const ScopedTopology&) = delete;
    ScopedTopology& operator=(const ScopedTopology&) = delete;

    Arealis::Topology* operator->() const { return m_topology; }
    Arealis::Topology& operator*() const { return *m_topology; }
    Arealis::Topology* Get() const { return m_topology; }

private:
    Arealis::Topology* m_topology;
};

} // namespace ModelTesting
