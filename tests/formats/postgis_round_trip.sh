#!/bin/bash
# Reads two PostGIS tables with `arealis` and writes the result as a third: starts a PostgreSQL
# server of its own on a Unix socket in a scratch folder, loads the sample parcels and zones
# into it, intersects the two tables into a table of the same database and checks what GDAL
# reads back from it against the same intersection of the GeoPackage copies; an existing table
# is kept without --overwrite. Stops the server whatever happens.
# usage: postgis_round_trip.sh AREALIS SAMPLES_GPKG
# Exit status 77 (skipped) without a PostgreSQL installation or a user to run it as.
set -eu
arealis=$1
samples=$2
bin=/usr/lib/postgresql/15/bin
if [ ! -x "$bin/initdb" ] || ! id postgres >/dev/null 2>&1 || [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs PostgreSQL 15 under $bin, the postgres user and root to switch to it"
    exit 77
fi
scratch=$(mktemp -d /tmp/arealis_postgis.XXXXXX)
chown postgres "$scratch"
as_postgres() { su postgres -s /bin/sh -c "$*"; }
stop() {
    as_postgres "$bin/pg_ctl -D '$scratch/data' -m immediate stop" >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap stop EXIT INT TERM
as_postgres "$bin/initdb -D '$scratch/data' -A trust -U postgres" >/dev/null
as_postgres "$bin/pg_ctl -D '$scratch/data' -w -l '$scratch/server.log' \
    -o \"-k $scratch -c listen_addresses='' -p 54329\" start" >/dev/null
as_postgres "$bin/../bin/psql -h $scratch -p 54329 -d postgres -qc 'CREATE EXTENSION postgis'" \
    2>/dev/null || psql -h "$scratch" -p 54329 -U postgres -d postgres -qc 'CREATE EXTENSION postgis'
connection="PG:host=$scratch port=54329 dbname=postgres user=postgres"
ogr2ogr -f PostgreSQL "$connection" "$samples" parcels zones -lco GEOMETRY_NAME=geom -lco LAUNDER=NO

"$arealis" intersection "$connection parcels" "$connection zones" -o "$connection result"
if "$arealis" intersection "$connection parcels" "$connection zones" -o "$connection result" \
    2>/dev/null; then
    echo "an existing table was replaced without --overwrite"
    exit 1
fi
ogr2ogr -f GPKG "$scratch/from_postgis.gpkg" "$connection" result
"$arealis" intersection "$samples:parcels" "$samples:zones" -o "$scratch/from_gpkg.gpkg"
# Every value and geometry of the result, in a stable order.
summary() {
    ogrinfo -al -q "$1" | grep -v -e '^ *$' -e 'OGRFeature' -e 'Layer name' -e '^  ogc_fid' -e '^  fid' | sort
}
if [ "$(summary "$scratch/from_postgis.gpkg")" != "$(summary "$scratch/from_gpkg.gpkg")" ]; then
    echo "the intersection of the PostGIS tables differs from that of the GeoPackage tables"
    diff <(summary "$scratch/from_postgis.gpkg") <(summary "$scratch/from_gpkg.gpkg") | head -20 || true
    exit 1
fi
echo "PostGIS result table: $(ogrinfo -so "$connection" result | grep 'Feature Count')"
