#pragma once

#include "Arealis/Point.h"

#include <optional>
#include <string>

namespace Arealis
{

class Polygon;

// The ways in which a polygon that the library's own validation accepts can break the
// simple-features rules that other GIS software applies to it, written as a multipolygon of
// each exterior ring with the holes assigned to it.
enum class SimpleFeatureFault
{
    // A ring passes one point twice, or one of its vertices lies on another of its edges.
    RingSelfTouch,
    // Rings touching one another at points close a loop (a hole touching its exterior ring at
    // two points, holes touching in a chain across the area), which cuts the area of one
    // exterior ring into pieces.
    DisconnectedInterior,
    // An exterior ring lies inside another one without a hole of that one between them (it
    // touches it from inside, say).
    NestedExteriorRings
};

struct SimpleFeatureProblem
{
    SimpleFeatureFault Fault = SimpleFeatureFault::RingSelfTouch;
    // A point where the rule is broken.
    Point Location;

    // One line: what is wrong and where, e.g. "Interior is disconnected at (1 2)".
    std::string Describe() const;
};

// The first breach of the simple-features rules found in the polygon, or nothing. Meant for
// polygons that validate (Polygon::Validate); the polygon is organised first when its rings
// changed. Touching is decided exactly on the coordinates: a vertex touches an edge when it
// lies on it.
std::optional<SimpleFeatureProblem> FindSimpleFeatureProblem(Polygon& polygon);

} // namespace Arealis
