#!/bin/sh
# Copies the sample shapefiles, attribute tables included, into samples.gpkg (tables "parcels"
# and "zones") with GDAL's ogr2ogr. Run after data/regression/make_data.py has written them.
set -eu
cd "$(dirname "$0")"
rm -f samples.gpkg
ogr2ogr -f GPKG samples.gpkg parcels.shp -nln parcels -nlt MULTIPOLYGON
ogr2ogr -update -f GPKG samples.gpkg zones.shp -nln zones -nlt MULTIPOLYGON
