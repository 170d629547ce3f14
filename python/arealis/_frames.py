"""GeoDataFrame operations on the library: overlay, dissolve, validate and read_file.

Geometries cross into the library as WKB, one byte string per row, and come back the same
way; the library returns for each result piece the rows it came from, and the attribute
columns are joined in pandas exactly as geopandas.overlay joins them, so that a result has the
same rows, columns and order as geopandas would give.
"""

import os
import time
import warnings

import numpy as np
import pandas as pd
from geopandas import GeoDataFrame, GeoSeries
import shapely
from shapely.geometry import Polygon
from geopandas.array import GeometryArray, _check_crs, from_wkb, to_wkb

from . import _arealis

_SHAPELY_18 = shapely.__version__.startswith("1.8")
_HOWS = ["intersection", "union", "identity", "symmetric_difference", "difference"]

# The pieces each operation is assembled from, all computed row by row: the intersection from
# every pair of rows whose polygons meet, the differences from each row without every polygon of
# the other frame. The library's own identity and symmetric difference are not used: they are
# filtered layer joins, in which each common part is cut out of the other layer's polygons as it
# is found, so that where a frame's own polygons overlap one another a common part goes to only
# one of them (and another's outside part keeps area that lies in the other frame). geopandas
# treats every row on its own, and so does this composition; for frames whose polygons do not
# overlap one another both give the same pieces.
_PARTS = {
    "intersection": ["intersection"],
    "difference": ["difference"],
    "symmetric_difference": ["difference", "reverse_difference"],
    "union": ["intersection", "difference", "reverse_difference"],
    "identity": ["intersection", "difference", "reverse_difference"],
}


def _geometries(df):
    """Each row's geometry as the extension takes it: shapely 1.8 geometries as they are
    (read through GEOS), otherwise WKB bytes; None where it is missing."""
    values = df.geometry.values
    if _SHAPELY_18:
        return list(values.data)
    return to_wkb(values).tolist()


def _from_pieces(geometries, crs):
    """A GeometryArray of the extension's result geometries (shapely objects or WKB)."""
    if isinstance(geometries, np.ndarray):
        return GeometryArray(geometries, crs=crs)
    return from_wkb(np.array(geometries, dtype=object), crs=crs)


def _precision(df, grid, tolerance, name):
    """The (grid, tolerance) of a call on df, chosen as the arealis tool chooses them: what is
    None takes the default (1e-6 and 0.0005), scaled to degrees (1e-9 and 5e-9) when the
    frame's CRS is geographic, which is said once in a warning. Bad values raise ValueError."""
    geographic = df.crs is not None and df.crs.is_geographic
    chosen = _arealis.choose_precision(grid, tolerance, geographic)
    if geographic and (grid is None or tolerance is None):
        warnings.warn(
            f"{name} is in longitude/latitude ({df.crs.name}): node grid {chosen[0]:g} and "
            f"tolerance {chosen[1]:g} degrees; give grid= and tolerance= to choose others",
            stacklevel=3,
        )
    return chosen


def _check_frames(df1, df2, how):
    if how not in _HOWS:
        raise ValueError(f"`how` was '{how}' but is expected to be in {_HOWS}")
    if isinstance(df1, GeoSeries) or isinstance(df2, GeoSeries):
        raise NotImplementedError("overlay currently only implemented for GeoDataFrames")
    for name, df in (("df1", df1), ("df2", df2)):
        if not isinstance(df, GeoDataFrame):
            raise TypeError(f"{name} must be a GeoDataFrame, not {type(df).__name__}")
    if not _check_crs(df1, df2):
        raise ValueError(
            "CRS mismatch between the CRS of df1 ({}) and the CRS of df2 ({}): "
            "use to_crs() to reproject one of them to match the other".format(
                df1.crs.to_string() if df1.crs else None,
                df2.crs.to_string() if df2.crs else None,
            )
        )


def _empty_intersection(df1, df2):
    """The empty result of an intersection, with geopandas' columns."""
    result = df1.iloc[:0].merge(
        df2.iloc[:0].drop(df2.geometry.name, axis=1),
        left_index=True,
        right_index=True,
        suffixes=("_1", "_2"),
    )
    return result, result.columns.drop(df1.geometry.name).tolist() + [df1.geometry.name]


def _bounds_apart(df1, df2):
    """Whether the frames' total bounds do not meet: geopandas then answers an intersection
    before any work, with an empty frame that keeps df1's kind of index."""
    box1 = df1.total_bounds
    box2 = df2.total_bounds
    return not (
        ((box1[0] <= box2[2]) and (box2[0] <= box1[2]))
        and ((box1[1] <= box2[3]) and (box2[1] <= box1[3]))
    )


def _intersection_frame(df1, df2, piece, touching):
    """The intersection rows as geopandas makes them: from every pair of rows whose polygons
    meet, sorted by row in df1, then row in df2, merged with both frames' attributes (the
    merges decide the order of the rows, so the pairs that only touch take part too, without
    a geometry, and are dropped afterwards as geopandas drops their lines and points)."""
    wkb, idx1, idx2 = piece
    touch1, touch2 = touching
    if len(wkb) == 0 and len(touch1) == 0:
        result, _ = _empty_intersection(df1, df2)
        result["__idx1"] = None
        result["__idx2"] = None
        return result[result.columns.drop(df1.geometry.name).tolist() + [df1.geometry.name]]
    all1 = np.concatenate([idx1, touch1])
    all2 = np.concatenate([idx2, touch2])
    order = np.lexsort((all2, all1))
    geometry = GeometryArray(np.full(len(order), None, dtype=object), crs=df1.crs)
    pieces_at = np.empty(len(order), dtype=np.int64)
    pieces_at[order] = np.arange(len(order))
    if len(wkb):
        geometry[pieces_at[: len(wkb)]] = _from_pieces(wkb, df1.crs)
    geometry = GeoSeries(geometry)
    pairs = pd.DataFrame({"__idx1": all1[order], "__idx2": all2[order]})
    left = df1.reset_index(drop=True)
    right = df2.reset_index(drop=True)
    joined = pairs.merge(
        left.drop(left._geometry_column_name, axis=1), left_on="__idx1", right_index=True
    )
    joined = joined.merge(
        right.drop(right._geometry_column_name, axis=1),
        left_on="__idx2",
        right_index=True,
        suffixes=("_1", "_2"),
    )
    return GeoDataFrame(joined, geometry=geometry, crs=df1.crs)


def _difference_frame(df, piece, rows_of):
    wkb, left, right = piece
    rows = left if rows_of == "left" else right
    kept = np.zeros(len(df), dtype=bool)
    kept[rows] = True
    result = df[kept].copy()
    result[result._geometry_column_name] = GeoSeries(
        _from_pieces(wkb, df.crs), index=df.index[rows], crs=df.crs
    )
    return result


def _ensure_geometry_column(df):
    """Names the geometry column 'geometry', dropping another column of that name."""
    if not df._geometry_column_name == "geometry":
        if "geometry" in df.columns:
            df.drop("geometry", axis=1, inplace=True)
        df.rename(columns={df._geometry_column_name: "geometry"}, copy=False, inplace=True)
        df.set_geometry("geometry", inplace=True)


def _symmetric_difference_frame(df1, df2, pieces):
    first = _difference_frame(df1, pieces["difference"], "left")
    second = _difference_frame(df2, pieces["reverse_difference"], "right")
    first["__idx1"] = range(len(first))
    second["__idx2"] = range(len(second))
    first["__idx2"] = np.nan
    second["__idx1"] = np.nan
    _ensure_geometry_column(first)
    _ensure_geometry_column(second)
    merged = first.merge(second, on=["__idx1", "__idx2"], how="outer", suffixes=("_1", "_2"))
    geometry = merged.geometry_1.copy()
    geometry.name = "geometry"
    missing = merged.geometry_1.isnull()
    geometry.loc[missing] = merged.loc[missing, "geometry_2"]
    merged.drop(["geometry_1", "geometry_2"], axis=1, inplace=True)
    merged.reset_index(drop=True, inplace=True)
    return GeoDataFrame(merged, geometry=geometry, crs=df1.crs)


def _union_frame(df1, df2, pieces):
    intersection = _intersection_frame(df1, df2, pieces["intersection"], pieces["touching"])
    symmetric = _symmetric_difference_frame(df1, df2, pieces)
    union = pd.concat([intersection, symmetric], ignore_index=True, sort=False)
    columns = list(union.columns)
    columns.remove("geometry")
    columns.append("geometry")
    return union.reindex(columns=columns)


def _assemble(df1, df2, how, pieces):
    if how == "difference":
        return _difference_frame(df1, pieces["difference"], "left")
    if how == "intersection":
        return _intersection_frame(df1, df2, pieces["intersection"], pieces["touching"])
    if how == "symmetric_difference":
        return _symmetric_difference_frame(df1, df2, pieces)
    union = _union_frame(df1, df2, pieces)
    if how == "union":
        return union
    return union[union["__idx1"].notnull()].copy()


def overlay(df1, df2, how="intersection", keep_geom_type=None, make_valid=True, *,
            progress=None, timings=None, threads=None, grid=None, tolerance=None):
    """Spatial overlay of two GeoDataFrames of polygons, as geopandas.overlay.

    how is 'intersection', 'union', 'identity', 'symmetric_difference' or 'difference'; the
    result has the rows, columns and order that geopandas.overlay gives. Differences from it:
    frames in different CRS are refused with ValueError (geopandas only warns); invalid
    polygons, NaN coordinates and geometries other than polygons raise ValueError instead of
    being repaired (make_valid is accepted for compatibility). keep_geom_type=False, which asks
    for the lines and points where polygons touch, is passed on to geopandas.overlay.

    Where the results differ: node coordinates, the crossings of edges included, are snapped to
    a grid of step grid (in the frames' units), so a piece's area can differ from GEOS's by
    about grid times its perimeter, whatever the magnitude of the coordinates; and a vertex of
    one frame nearer than tolerance to an edge of the other is put on that edge, so pieces
    thinner than that are not made and their neighbours' areas change by up to tolerance times
    the edge's length. By default grid is 1e-6 and tolerance 0.0005, which fits projected
    coordinates in metres or feet; frames with a geographic CRS take 1e-9 and 5e-9 degrees
    (with a warning saying so). Give smaller values for data whose detail is finer than that:
    with grid=1e-12 and tolerance=1e-10 on coordinates of size 1 the pieces agree with
    geopandas' to about 1e-9 of their area. tolerance must be at least grid. Where a polygon is
    covered by the other frame up to rounding, GEOS leaves remnants of floating-point noise
    (areas of about 1e-14) that geopandas returns as rows of a difference, symmetric
    difference, union or identity; arealis finds nothing left there and returns no such rows.

    progress, when given, is called as progress(done, total) while the library works (at most
    every 50 ms). Ctrl+C stops the operation at the next polygon with KeyboardInterrupt; the
    input frames are never changed. timings, when a dict, receives the seconds spent
    converting in, in the operation and converting out. threads is the number of threads the
    library's layer operations use (default: every core the process may use, one for inputs
    of fewer than 131,072 vertices together, one of them of fewer than 4,096 polygons); the
    result is the same for every count.
    """
    if threads is not None and (not isinstance(threads, int) or threads < 1):
        raise ValueError(f"threads must be a whole number of at least 1, not {threads!r}")
    _check_frames(df1, df2, how)
    precision = _precision(df1, grid, tolerance, "df1")
    if keep_geom_type is False:
        import geopandas

        return geopandas.overlay(df1, df2, how=how, keep_geom_type=False, make_valid=make_valid)
    if len(df1) == 0 and how != "intersection":
        raise ValueError(
            f"df1 is empty: an overlay '{how}' takes the geometry type to keep from its first row"
        )

    start = time.perf_counter()
    left = _geometries(df1)
    right = _geometries(df2)
    to_wkb_seconds = time.perf_counter() - start
    pieces = _arealis.overlay_frames(left, right, _PARTS[how], progress, "df1", "df2",
                                     threads or 0, *precision)
    start = time.perf_counter()
    if how == "intersection" and len(pieces["intersection"][0]) == 0 and _bounds_apart(df1, df2):
        result, columns = _empty_intersection(df1, df2)
        result = result[columns]
    else:
        with warnings.catch_warnings():
            warnings.filterwarnings("ignore", message="CRS mismatch between the CRS")
            result = _assemble(df1, df2, how, pieces)
        if how in ["intersection", "symmetric_difference", "union", "identity"]:
            result.drop(["__idx1", "__idx2"], axis=1, inplace=True)
        # Only non-empty polygons come out of the library, so geopandas' filter on the
        # geometry type (keep_geom_type) would keep every row that has a geometry.
        missing = result.geometry.isna().to_numpy()
        if missing.any():
            result = result.loc[~missing]
        result.reset_index(drop=True, inplace=True)
    if timings is not None:
        measured = pieces["timings"]
        timings["convert_in"] = to_wkb_seconds + measured["convert_in"]
        timings["operation"] = measured["operation"]
        timings["convert_out"] = time.perf_counter() - start + measured["convert_out"]
    return result


def dissolve(df, by=None, aggfunc="first", as_index=True, level=None, sort=True,
             observed=False, dropna=True, *, progress=None, threads=None, grid=None,
             tolerance=None):
    """The polygons of each group united, as GeoDataFrame.dissolve: all rows when by and
    level are None, otherwise one row per group with the other columns aggregated by
    aggfunc. Invalid polygons and geometries other than polygons raise ValueError. threads,
    grid and tolerance are the thread count (default: every usable core; the result is the
    same for every count), node grid and overlay tolerance, as for overlay."""
    if not isinstance(df, GeoDataFrame):
        raise TypeError(f"df must be a GeoDataFrame, not {type(df).__name__}")
    if threads is not None and (not isinstance(threads, int) or threads < 1):
        raise ValueError(f"threads must be a whole number of at least 1, not {threads!r}")
    precision = _precision(df, grid, tolerance, "df")
    if by is None and level is None:
        by = np.zeros(len(df), dtype="int64")
    groupby = dict(by=by, level=level, sort=sort, observed=observed, dropna=dropna)
    data = df.drop(labels=df.geometry.name, axis=1)
    aggregated = data.groupby(**groupby).agg(aggfunc)
    aggregated.columns = aggregated.columns.to_flat_index()
    groups = df.groupby(**groupby).ngroup().to_numpy(dtype="int64")
    (geometries, group_of, _), _ = _arealis.dissolve_frame(
        _geometries(df), groups, len(aggregated), progress, threads or 0, *precision
    )
    united = GeometryArray(
        np.array([Polygon()] * len(aggregated), dtype=object), crs=df.crs
    )
    if len(group_of):
        united[group_of] = _from_pieces(geometries, df.crs)
    geometry = GeoDataFrame(
        {df.geometry.name: GeoSeries(united, index=aggregated.index)},
        geometry=df.geometry.name,
        crs=df.crs,
    )
    result = geometry.join(aggregated)
    if not as_index:
        result = result.reset_index()
    return result


def validate(df, strict=False, *, progress=None, grid=None, tolerance=None):
    """A Series with the frame's index: None for a valid polygon (and for a missing one),
    otherwise why it is not valid as the library sees it. With strict=True, polygons the
    library accepts are also checked against the simple-features rules other GIS software
    applies (a ring touching itself, an interior cut in pieces by touching rings, an exterior
    ring nested in another), and the first breach is given with its location. grid and
    tolerance are the node grid and tolerance the checks use, as for overlay."""
    if not isinstance(df, (GeoDataFrame, GeoSeries)):
        raise TypeError(f"df must be a GeoDataFrame or GeoSeries, not {type(df).__name__}")
    precision = _precision(df, grid, tolerance, "df")
    series = df.geometry if isinstance(df, GeoDataFrame) else df
    frame = GeoDataFrame(geometry=series.reset_index(drop=True))
    reasons = _arealis.validate_frame(_geometries(frame), bool(strict), progress, *precision)
    return pd.Series(reasons, index=series.index, dtype=object, name="reason")


def read_file(path):
    """A vector source read by the project's readers into a GeoDataFrame, as
    geopandas.read_file gives it: one row per record (feature), the attribute columns with
    their names, types and nulls, the polygon of each record (None where it has none) and the
    reference system. Shapefiles (.shp, with the .dbf decoded from the code page its .cpg or
    language byte names, and the .prj) are read by the library's shapefile reader; other
    sources through GDAL: "file.gpkg" (its only polygon table) or "file.gpkg:table",
    ".geojson", ".fgb"."""
    path = os.fspath(path)
    container = path
    if not os.path.exists(path) and ":" in path[1:]:
        container = path[: path.rindex(":")]  # "file.gpkg:table"
    if not os.path.isfile(container):
        raise FileNotFoundError(f"{container}: no such file")
    source = _arealis.read_source(path)
    wkb, records, _ = source["geometries"]
    crs = source["crs"]
    count = source["rows"]
    if not source["fields"] and len(records):
        count = max(count, int(records.max()) + 1)  # a shapefile without its .dbf
    attributes = pd.DataFrame(
        {name: _column(values, kind) for (name, kind), values in zip(source["fields"], source["columns"])},
        index=pd.RangeIndex(count),
    )
    geometry = GeometryArray(np.array([None] * count, dtype=object), crs=crs)
    if len(records):
        geometry[records] = _from_pieces(wkb, crs)
    return GeoDataFrame(attributes, geometry=GeoSeries(geometry, index=attributes.index), crs=crs)


def _column(values, kind):
    """An attribute column with the dtype geopandas.read_file gives it: integers as int64, or
    float64 when a value is missing; reals as float64; texts and dates ("YYYY-MM-DD") as
    objects, None where missing. A column of nothing but nulls is an object column."""
    if kind in ("integer", "real") and any(value is not None for value in values):
        if kind == "integer" and all(value is not None for value in values):
            return np.array(values, dtype="int64")
        return np.array([np.nan if value is None else value for value in values], dtype="float64")
    return np.array(values, dtype=object)
