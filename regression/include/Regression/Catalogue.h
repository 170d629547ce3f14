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

// The four tables of one catalogue; the runner runs the built-in one unless given another.
struct Catalogue
{
    std::span<const ValidationRow> Validation;
    std::span<const PolygonOperationRow> PolygonOperations;
    std::span<const SetUnionRow> SetUnions;
    std::span<const TopologyOperationRow> TopologyOperations;

    static Catalogue BuiltIn();
};

// How many cases a complete run of the built-in catalogue executes, per group: fixed here
// apart from the tables, so that a run that lost a row or a case does not count as complete.
struct CaseCounts
{
    int Validation = 4;
    int PolygonOperations = 27;
    int SetUnions = 4;
    int TopologyOperations = 10;

    int Total() const { return Validation + PolygonOperations + SetUnions + TopologyOperations; }
};

std::span<const ValidationRow> ValidationTable();
std::span<const PolygonOperationRow> PolygonOperationTable();
std::span<const SetUnionRow> SetUnionTable();
std::span<const TopologyOperationRow> TopologyOperationTable();

} // namespace Arealis::Regression
