"""Polygon topology and overlay for GeoDataFrames.

    import arealis
    result = arealis.overlay(df1, df2, how="intersection")   # as geopandas.overlay, faster

The lower level (Topology, Layer, Polygon) gives the library's objects themselves.
"""

from ._arealis import ArealisError, InvalidPolygonError
from ._frames import overlay

__all__ = ["ArealisError", "InvalidPolygonError", "overlay"]
