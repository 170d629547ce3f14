"""Polygon topology and overlay for GeoDataFrames.

    import arealis
    result = arealis.overlay(df1, df2, how="intersection")   # as geopandas.overlay, faster

The lower level (Topology, Layer, Polygon) gives the library's objects themselves.
"""

from ._arealis import ArealisError, InvalidPolygonError, Layer, Polygon, Topology
from ._frames import dissolve, overlay, read_file, validate

__all__ = [
    "ArealisError",
    "InvalidPolygonError",
    "Layer",
    "Polygon",
    "Topology",
    "dissolve",
    "overlay",
    "read_file",
    "validate",
]
