#include "Regression/Catalogue.h"

#include <array>

namespace Arealis::Regression
{

namespace
{

constexpr std::array<ValidationRow, 4> Validation{{
    {"ValidateF1.shp", false},
    {"ValidateF2.shp", false},
    {"ValidateT1.shp", true},
    {"ValidateT2.shp", true},
}};

constexpr std::array<PolygonOperationRow, 10> PolygonOperations{{
    {"1_1.shp", "1_2.shp", "1_int.shp", true, "1_union.shp", false, "1_substract.shp", false},
    {"2_1.shp", "2_2.shp", "2_int.shp", false, "2_union.shp", false, "2_substract.shp", false},
    {"3_1.shp", "3_2.shp", "3_int.shp", true, "3_union.shp", true, "3_substract.shp", true},
    {"4_1.shp", "4_2.shp", "4_int.shp", false, "4_union.shp", false, "4_substract.shp", false},
    {"5_1.shp", "5_2.shp", "5_int.shp", false, "5_union.shp", false, "5_substract.shp", false},
    {"6_1.shp", "6_2.shp", "6_int.shp", false, "6_union.shp", false, "6_substract.shp", false},
    {"10_1.shp", "10_2.shp", "10_int.shp", false, "10_union.shp", false, "", false},
    {"11_1.shp", "11_2.shp", "11_int.shp", true, "11_union.shp", false, "11_substract.shp", false},
    {"12_1.shp", "12_2.shp", "12_int.shp", false, "12_union.shp", false, "", false},
    {"13_1.shp", "13_2.shp", "13_int.shp", false, "13_union.shp", false, "", false},
}};

constexpr std::array<SetUnionRow, 4> SetUnions{{
    {"PS1.shp", "PS1_union.shp"},
    {"PS2.shp", "PS2_union.shp"},
    {"PS3.shp", "PS3_union.shp"},
    {"PS4.shp", "PS4_union.shp"},
}};

constexpr std::array<TopologyOperationRow, 4> TopologyOperations{{
    {"attr.shp", "fem.shp", "attr_fem_join.shp", "attr_fem_int.shp", "", ""},
    {"fem.shp", "attr.shp", "attr_fem_join.shp", "attr_fem_int.shp", "", ""},
    {"t1_1.shp", "t1_2.shp", "t1_union.shp", "t1_int.shp", "", ""},
    {"attr_small.shp", "fem_small.shp", "attr_fem_small_join.shp", "attr_fem_small_int.shp",
     "attr_fem_small_union.shp", "attr_fem_small_sub.shp"},
}};

} // namespace

std::span<const ValidationRow> ValidationTable()
{
    return Validation;
}

Catalogue Catalogue::BuiltIn()
{
    return {ValidationTable(), PolygonOperationTable(), SetUnionTable(), TopologyOperationTable()};
}

std::span<const PolygonOperationRow> PolygonOperationTable()
{
    return PolygonOperations;
}

std::span<const SetUnionRow> SetUnionTable()
{
    return SetUnions;
}

std::span<const TopologyOperationRow> TopologyOperationTable()
{
    return TopologyOperations;
}

} // namespace Arealis::Regression
