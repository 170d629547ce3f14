#pragma once

#include <span>

namespace Arealis::Regression
{

// The regression catalogue: shapefile names (looked up in the test-files folder) with their
// expectations. An empty name means the row has no case for that operation.

struct ValidationRow
{
    const char* File;
    bool ExpectedValid;
};

struct PolygonOperationRow
{
    const char* First;
    const char* Second;
    const char* Intersection;
    bool IntersectionConvex;
    const char* Union;
    bool UnionConvex;
    const char* Substraction;
    bool SubstractionConvex;
};

struct SetUnionRow
{
    const char* Input;
    const char* Expected;
};

struct TopologyOperationRow
{
    const char* First;
    const char* Second;
    const char* Join;
    const char* Intersection;
    const char* Union;
    const char* Substraction;
};

std::span<const ValidationRow> ValidationTable();
std::span<const PolygonOperationRow> PolygonOperationTable();
std::span<const SetUnionRow> SetUnionTable();
std::span<const TopologyOperationRow> TopologyOperationTable();

} // namespace Arealis::Regression
