#pragma once

#include <string>

namespace Arealis
{
class Polygon;
class PolygonLayer;
} // namespace Arealis

namespace Arealis::Regression
{

// Process-wide switch of the part-wise matching step of CompareLayers; off at start, turned on
// by every test case and by the program's compare command.
void SetComparisonFlag(bool on) noexcept;
bool GetComparisonFlag() noexcept;

// Tolerance of the node-by-node comparison of result and expected polygons.
inline constexpr double ComparisonTolerance = 0.1;

// True when every polygon of result has an equal polygon in expected (or, with the comparison
// flag on, when each of its two or more parts has one). Mismatching polygons are copied into
// pMismatches when given. Expected polygons without a partner do not matter.
bool CompareLayers(const PolygonLayer& result, const PolygonLayer& expected,
                   PolygonLayer* pMismatches);

// What CompareLayers cannot see: the result and the expected layer split into their parts (one
// per exterior ring, with its holes) must hold as many parts, and every expected part must
// equal a result part within ComparisonTolerance. An empty text when they do; otherwise a text
// saying what is missing, so that a result that lost or repeated polygons does not pass.
std::string FindShortfall(const PolygonLayer& result, const PolygonLayer& expected);

// True when a polygon of expected whose bounds overlap the polygon's equals it within
// ComparisonTolerance.
bool FindMatch(const Polygon& polygon, const PolygonLayer& expected);

// Adds one polygon to target per exterior ring of polygon, holding copies of that ring and
// of its holes; returns the number of parts made.
int SplitIntoParts(Polygon& polygon, PolygonLayer& target);

// Copies into target every polygon of b whose bounds overlap a part of a polygon of a, once
// per part, then commits target. Errors end the work silently, keeping what was added.
void CollectOverlapping(const PolygonLayer& a, const PolygonLayer& b, PolygonLayer& target);

} // namespace Arealis::Regression
