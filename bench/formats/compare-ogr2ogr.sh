#!/bin/sh
# Times what the tool spends reading attributes and writing files against GDAL's own tools on
# the same machine in the same run:
#  - loading A with its .dbf against loading it without (arealis info --stats, load_ms);
#  - writing the intersection of A and B to a GeoPackage and to a shapefile (write_ms of
#    --stats) against ogr2ogr copying the written features between the same formats.
# usage: bench/formats/compare-ogr2ogr.sh AREALIS A.shp B.shp SCRATCH_FOLDER
set -eu
arealis=$1 a=$2 b=$3 scratch=$4
mkdir -p "$scratch"
field() { sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }
now_ms() { date +%s%N | awk '{printf "%.1f", $1 / 1e6}'; }

/usr/bin/python3 "$(dirname "$0")/add_dbf.py" "$a"
with=$("$arealis" info "$a" --stats 2>&1 >/dev/null | field load_ms)
dbf=${a%.shp}.dbf
mv "$dbf" "$dbf.away"
without=$("$arealis" info "$a" --stats 2>&1 >/dev/null | field load_ms)
mv "$dbf.away" "$dbf"
echo "load $a: $without ms without attributes, $with ms with them"

for extension in gpkg shp; do
    rm -rf "$scratch/result.$extension" "$scratch/result".s* "$scratch/result".dbf \
        "$scratch/result".prj "$scratch/result".cpg "$scratch/copy"*
    stats=$("$arealis" intersection "$a" "$b" -o "$scratch/result.$extension" --stats 2>&1 |
        tail -1)
    written=$(echo "$stats" | field write_ms)
    count=$(echo "$stats" | field polygons)
    format=GPKG
    [ "$extension" = shp ] && format="ESRI Shapefile"
    start=$(now_ms)
    ogr2ogr -f "$format" "$scratch/copy.$extension" "$scratch/result.$extension"
    copied=$(awk -v s="$start" -v e="$(now_ms)" 'BEGIN { printf "%.1f", e - s }')
    echo "$extension: $count polygons written in $written ms; ogr2ogr copies them in $copied ms;" \
        "ratio $(awk -v w="$written" -v c="$copied" 'BEGIN { printf "%.2f", w / c }')"
done
