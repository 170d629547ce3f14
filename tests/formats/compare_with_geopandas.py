"""Compares the results of `arealis` with geopandas.overlay on the same parcels and zones.

usage: compare_with_geopandas.py AREALIS_EXECUTABLE SCRATCH_FOLDER

Writes a parcels layer (owners with non-ASCII names, lot numbers) as a shapefile and a zones
layer (codes, names; a NAME column in both) as a GeoPackage, runs each overlay both ways and
compares the columns and, per combination of attribute values, the total area."""

import os
import shutil
import subprocess
import sys

import geopandas
from shapely.geometry import Polygon

OPERATIONS = {  # arealis operation: geopandas how
    "intersection": "intersection",
    "subtract": "difference",
    "join": "union",
    "identity": "identity",
    "symmetric_difference": "symmetric_difference",
}


def make_inputs(folder):
    owners = ["Müller", "Ærø Ltd", "Łukasz", "Søren", "Zoë", "Baker"]
    parcels, zones = [], []
    for i in range(4):
        for j in range(3):
            k = 3 * i + j
            parcels.append({"owner": owners[k % len(owners)], "lot": 100 + k,
                            "NAME": "parcel %d" % k,
                            "geometry": Polygon([(10 * i, 10 * j), (10 * i + 10, 10 * j),
                                                 (10 * i + 10, 10 * j + 10), (10 * i, 10 * j + 10)])})
    strips = [(-3, 13), (13, 27), (27, 44)]
    for n, (x0, x1) in enumerate(strips):
        zones.append({"code": "Z%d" % n, "NAME": "zone %d" % n,
                      "geometry": Polygon([(x0, 4 + n), (x1, 4 + n), (x1, 33 - n), (x0, 33 - n)])})
    crs = "EPSG:25832"
    geopandas.GeoDataFrame(parcels, crs=crs).to_file(os.path.join(folder, "parcels.shp"),
                                                     encoding="utf-8")
    geopandas.GeoDataFrame(zones, crs=crs).to_file(os.path.join(folder, "zones.gpkg"),
                                                   driver="GPKG")


def areas_by_values(frame, columns):
    totals = {}
    for _, row in frame.iterrows():
        key = tuple(None if row[c] is None or row[c] != row[c] else row[c] for c in columns)
        totals[key] = totals.get(key, 0.0) + row.geometry.area
    return totals


def main():
    executable, folder = sys.argv[1], sys.argv[2]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    try:
        make_inputs(folder)
        parcels = geopandas.read_file(os.path.join(folder, "parcels.shp"))
        zones = geopandas.read_file(os.path.join(folder, "zones.gpkg"))
        problems = []
        for operation, how in OPERATIONS.items():
            out = os.path.join(folder, operation + ".gpkg")
            subprocess.run([executable, operation, os.path.join(folder, "parcels.shp"),
                            os.path.join(folder, "zones.gpkg"), "-o", out], check=True)
            ours = geopandas.read_file(out)
            theirs = geopandas.overlay(parcels, zones, how=how)
            our_columns = [c for c in ours.columns if c not in ("geometry", "a_record", "b_record")]
            their_columns = [c for c in theirs.columns if c != "geometry"]
            if our_columns != their_columns:
                problems.append("%s: columns %s, geopandas %s" % (operation, our_columns,
                                                                  their_columns))
                continue
            if ours.crs != theirs.crs:
                problems.append("%s: reference system %s, geopandas %s" % (operation, ours.crs,
                                                                            theirs.crs))
            mine = areas_by_values(ours, our_columns)
            other = areas_by_values(theirs, their_columns)
            if set(mine) != set(other):
                problems.append("%s: value combinations differ: only ours %s, only geopandas %s"
                                % (operation, sorted(set(mine) - set(other), key=str),
                                   sorted(set(other) - set(mine), key=str)))
                continue
            for key, area in mine.items():
                if abs(area - other[key]) > 1e-9 * max(1.0, abs(other[key])):
                    problems.append("%s: %s has area %r, geopandas %r" % (operation, key, area,
                                                                          other[key]))
        if problems:
            print("\n".join(problems))
            return 1
        print("%d operations agree with geopandas.overlay" % len(OPERATIONS))
        return 0
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
