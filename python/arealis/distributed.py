"""Overlay and dissolve over many machines with Dask.

    import arealis.distributed
    arealis.distributed.overlay("a.gpkg", "b.gpkg", "intersection", out="pieces/")

The polygons of A are cut into spatial partitions of equal count along a Hilbert curve of
their bounds' centres; each B polygon belongs to the partition whose stretch of the curve holds
its centre. A task reads (or is given) its own A and B polygons plus every polygon of the other
layer whose bounds meet them, runs the single-machine `arealis.overlay` on them and keeps only
the pieces it owns: a piece with an A parent belongs to the task owning that A polygon (the
intersections, differences and identity pieces), a piece of B outside A to the task owning that
B polygon. Every polygon that can shape a piece meets its parents' bounds, so each task sees all
it needs, and each piece is produced by exactly one task.

Run as a command: python3 -m arealis.distributed HOW A B -o OUT [--scheduler tcp://HOST:8786].
"""

import argparse
import math
import logging
import os
import sys
import time
import uuid
import warnings

import numpy as np
import pandas as pd
from geopandas import GeoDataFrame

from . import _frames

_A_ROW = "__arealis_a"
_B_ROW = "__arealis_b"
_HILBERT_ORDER = 16
_BOUNDS_CHUNK = 100_000


class PartitionError(RuntimeError):
    """A partition's task failed; the message names the partition and the cause."""


def _hilbert_keys(x, y, box):
    """The position of each point (x, y) on a Hilbert curve of order 16 over the box."""
    side = 1 << _HILBERT_ORDER
    width = max(box[2] - box[0], 1e-300)
    height = max(box[3] - box[1], 1e-300)
    # Rows without a geometry sit at the curve's start.
    x = np.where(np.isfinite(x), x, box[0])
    y = np.where(np.isfinite(y), y, box[1])
    xi = np.clip(((x - box[0]) / width * (side - 1)).astype(np.int64), 0, side - 1)
    yi = np.clip(((y - box[1]) / height * (side - 1)).astype(np.int64), 0, side - 1)
    key = np.zeros(len(xi), dtype=np.int64)
    s = side >> 1
    while s > 0:
        rx = (xi & s) > 0
        ry = (yi & s) > 0
        key += s * s * ((3 * rx) ^ ry)
        # Rotate the quadrant so that the curve stays continuous.
        flip = ~ry
        swap_x = np.where(flip & rx, s - 1 - xi, xi)
        swap_y = np.where(flip & rx, s - 1 - yi, yi)
        xi, yi = np.where(flip, swap_y, swap_x), np.where(flip, swap_x, swap_y)
        s >>= 1
    return key


class _Plan:
    """The partitions: for each, the row numbers of the A and B polygons it owns."""

    def __init__(self, bounds_a, bounds_b, count):
        both = np.vstack([bounds_a, bounds_b])
        finite = both[np.isfinite(both).all(axis=1)]
        box = (finite[:, 0].min(), finite[:, 1].min(), finite[:, 2].max(),
               finite[:, 3].max()) if len(finite) else (0.0, 0.0, 1.0, 1.0)
        key_a = _hilbert_keys(*self._centres(bounds_a), box)
        key_b = _hilbert_keys(*self._centres(bounds_b), box)
        order = np.lexsort((np.arange(len(key_a)), key_a))
        cuts = np.linspace(0, len(order), count + 1).astype(np.int64)
        self.owned_a = [np.sort(order[cuts[p]:cuts[p + 1]]) for p in range(count)]
        # A B polygon goes to the partition whose stretch of the curve holds its centre.
        first_keys = key_a[order[cuts[1:-1]]]
        part_of_b = np.searchsorted(first_keys, key_b, side="right")
        self.owned_b = [np.flatnonzero(part_of_b == p) for p in range(count)]

    @staticmethod
    def _centres(bounds):
        if len(bounds) == 0:
            return np.zeros(0), np.zeros(0)
        return (bounds[:, 0] + bounds[:, 2]) / 2, (bounds[:, 1] + bounds[:, 3]) / 2


def _bounds_of(df):
    """Bounds of each row, with missing geometries at +inf so they meet nothing."""
    bounds = df.geometry.bounds.to_numpy(dtype=float)
    bounds[np.isnan(bounds).any(axis=1)] = [np.inf, np.inf, -np.inf, -np.inf]
    return bounds


def _meeting(bounds, others):
    """Mask of the rows of `bounds` that meet at least one box of `others`."""
    if len(bounds) == 0 or len(others) == 0:
        return np.zeros(len(bounds), dtype=bool)
    from shapely.strtree import STRtree
    from shapely.geometry import box

    finite = np.isfinite(others).all(axis=1)
    boxes = [box(*row) for row in others[finite]]
    if not boxes:
        return np.zeros(len(bounds), dtype=bool)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # shapely 1.8 announces the STRtree of 2.0
        tree = STRtree(boxes)
    mask = np.zeros(len(bounds), dtype=bool)
    for k, row in enumerate(bounds):
        if np.isfinite(row).all() and tree.query(box(*row)):
            mask[k] = True
    return mask


# ---------------------------------------------------------------------------------------------
# Reading: GeoDataFrames carry their row numbers; files are read by the workers, with their
# feature ids as row numbers.

def _read_file(path, bbox=None, start=None, stop=None):
    """Features of a file (all, those whose bounds meet bbox, or those from start to stop in
    the file's order) with the feature id as index."""
    import fiona

    with fiona.open(path) as source:
        crs = source.crs_wkt or None
        names = list(source.schema["properties"])
        if bbox is not None:
            items = source.items(bbox=tuple(bbox))
        elif start is not None:
            items = source.items(start, stop)
        else:
            items = source.items()
        fids, features = [], []
        for fid, feature in items:
            fids.append(int(fid))
            features.append(feature)
    if features:
        frame = GeoDataFrame.from_features(features, crs=crs)
        frame = frame[[c for c in names if c in frame.columns] + ["geometry"]]
    else:
        frame = GeoDataFrame({c: [] for c in names}, geometry=[], crs=crs)
    frame.index = pd.Index(fids, dtype=np.int64)
    return frame


def _file_length(path):
    import fiona

    with fiona.open(path) as source:
        return len(source)


def _file_bounds(path, start, stop):
    """The feature ids and bounds of the features start to stop of a file (run on a worker)."""
    frame = _read_file(path, start=start, stop=stop)
    return frame.index.to_numpy(), _bounds_of(frame)


def _union_box(bounds):
    finite = bounds[np.isfinite(bounds).all(axis=1)]
    if len(finite) == 0:
        return None
    return (finite[:, 0].min(), finite[:, 1].min(), finite[:, 2].max(), finite[:, 3].max())


def _with_rows(frame, column):
    frame = frame.copy()
    frame[column] = frame.index.to_numpy(dtype=np.int64)
    return frame.reset_index(drop=True)


def _operands(source_a, source_b, owned_a, owned_b):
    """The A and B frames of one task: its own rows and every row of the other layer whose
    bounds meet them. source_* is a file path, or a frame already cut to the candidates (its
    index the global row numbers)."""
    frames = []
    for source, owned in ((source_a, owned_a), (source_b, owned_b)):
        if isinstance(source, (str, os.PathLike)):
            frames.append(None)
        else:
            frames.append(source)
    if frames[0] is None or frames[1] is None:
        # A file: read what lies within the boxes of both layers' own rows.
        wanted = [b for b in (owned_a[1], owned_b[1]) if b is not None]
        boxes = np.array(wanted) if wanted else np.zeros((0, 4))
        bbox = _union_box(boxes) if len(boxes) else None
        for k, source in enumerate((source_a, source_b)):
            if frames[k] is None:
                frames[k] = _read_file(os.fspath(source), bbox=bbox) if bbox is not None else \
                    _read_file(os.fspath(source)).iloc[:0]
    # A file read by bounds comes in its spatial index's order; the overlay's snapping within
    # the tolerance follows the order of the polygons, so each layer goes back to its row
    # order, the order in which the single process sees them.
    frame_a, frame_b = (frame.sort_index(kind="stable") for frame in frames)
    own_a = frame_a.index.isin(owned_a[0])
    own_b = frame_b.index.isin(owned_b[0])
    for name, own, owned in (("A", own_a, owned_a[0]), ("B", own_b, owned_b[0])):
        if own.sum() != len(owned):
            raise RuntimeError(f"{name}: {len(owned) - own.sum()} of its rows were not read")
    bounds_a = _bounds_of(frame_a)
    bounds_b = _bounds_of(frame_b)
    take_a = own_a | _meeting(bounds_a, bounds_b[own_b])
    take_b = own_b | _meeting(bounds_b, bounds_a[own_a])
    return _with_rows(frame_a[take_a], _A_ROW), _with_rows(frame_b[take_b], _B_ROW)


# ---------------------------------------------------------------------------------------------
# The tasks.

def _described(name, part, count, action):
    """Runs action(), turning a failure into a PartitionError naming the partition."""
    try:
        return action()
    except Exception as error:
        raise PartitionError(
            f"{name}: partition {part} of {count} failed: {type(error).__name__}: {error}"
        ) from error


def _nullable_sides(how):
    return {"union": (True, True), "symmetric_difference": (True, True),
            "identity": (False, True)}.get(how, (False, False))


def _steady_types(result, frame_a, frame_b, how):
    """Integer and boolean columns of a side that may be missing become float, as in a result
    that has such rows, so that every partition's file has the same field types."""
    for side, (nullable, frame, other) in enumerate(
            zip(_nullable_sides(how), (frame_a, frame_b), (frame_b, frame_a))):
        if not nullable:
            continue
        for column in frame.columns:
            if column == frame.geometry.name or column in (_A_ROW, _B_ROW):
                continue
            name = f"{column}_{side + 1}" if column in other.columns else column
            if name in result.columns and result[name].dtype.kind in "iub":
                result[name] = result[name].astype(float)
    return result


def _overlay_task(source_a, source_b, owned_a, owned_b, how, part, count, out, pause):
    def run():
        if pause:
            time.sleep(pause)
        frame_a, frame_b = _operands(source_a, source_b, owned_a, owned_b)
        # Dask runs one task per worker thread: a task uses one core, the cluster all of them.
        result = _frames.overlay(frame_a, frame_b, how=how, threads=1)
        own_a = np.isin(result[_A_ROW].to_numpy(), owned_a[0]) if _A_ROW in result else \
            np.zeros(len(result), dtype=bool)
        has_a = result[_A_ROW].notna().to_numpy() if _A_ROW in result else own_a
        own_b = np.isin(result[_B_ROW].to_numpy(), owned_b[0]) if _B_ROW in result else \
            np.zeros(len(result), dtype=bool)
        # A piece with an A parent belongs to that parent's owner; one of B alone to B's.
        keep = np.where(has_a, own_a, own_b)
        result = result[keep]
        order = [c for c in (_A_ROW, _B_ROW) if c in result.columns]
        result = result.sort_values(order, kind="stable").drop(columns=order)
        result = _steady_types(result.reset_index(drop=True), frame_a, frame_b, how)
        return _deliver(result, out, part)

    return _described("overlay", part, count, run)


def _deliver(result, out, part):
    """The partition's result as a frame, or written to OUT/part-NNNNN.EXT (the count)."""
    if out is None:
        return result
    if len(result) == 0:
        return (None, 0)
    folder, extension, driver = out
    path = os.path.join(folder, f"part-{part:05d}{extension}")
    result.to_file(path, driver=driver)
    return (path, len(result))


def _merge_task(paths, target, driver):
    """Appends the partition files, in order, into one file (run on a worker)."""
    import geopandas

    written = 0
    for path in paths:
        frame = geopandas.read_file(path)
        frame.to_file(target, driver=driver, mode="a" if written else "w")
        written += len(frame)
    for path in paths:
        os.remove(path)
    folder = os.path.dirname(paths[0])
    if not os.listdir(folder):
        os.rmdir(folder)
    return written


def _dissolve_task(source, owned, by, part, count, pause):
    def run():
        if pause:
            time.sleep(pause)
        frame, _ = _operands(source, _empty_like(source), owned, (np.zeros(0, np.int64), None))
        frame = frame.drop(columns=[_A_ROW])
        return _frames.dissolve(frame[_keep(frame, by)], by=by)[[frame.geometry.name]]

    return _described("dissolve", part, count, run)


def _keep(frame, by):
    columns = [] if by is None else ([by] if isinstance(by, str) else list(by))
    return columns + [frame.geometry.name]


def _empty_like(source):
    """An empty second operand, so that a file is read once."""
    if isinstance(source, (str, os.PathLike)):
        return GeoDataFrame(geometry=[])
    return source.iloc[:0]


def _combine_task(*parts):
    """The union of partial dissolves (their group index kept)."""
    frames = [p for p in parts if p is not None and len(p)]
    if not frames:
        return parts[0]
    frame = pd.concat(frames)
    names = [n for n in frame.index.names if n is not None]
    if names:
        return _frames.dissolve(frame.reset_index(), by=names if len(names) > 1 else names[0])[
            [frame.geometry.name]]
    return _frames.dissolve(frame.reset_index(drop=True))[[frame.geometry.name]]


# ---------------------------------------------------------------------------------------------
# The client side.

def _client(client):
    """The client given, or one of a new local cluster of this machine's cores (closed after)."""
    if client is not None:
        return client, None
    from dask.distributed import Client, LocalCluster

    # A failing task reaches the caller as a PartitionError naming its partition; the workers'
    # own log of it would print the same failure again as a raw task dump.
    cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1, processes=True,
                           silence_logs=logging.CRITICAL)
    return Client(cluster), cluster


def _absolute(source):
    """A path made absolute here, so that workers started elsewhere read the same file."""
    if isinstance(source, (str, os.PathLike)):
        return os.path.abspath(os.fspath(source))
    return source


def _bounds_from(client, source):
    """Row numbers and bounds of a frame or file (a file is read on a worker)."""
    if isinstance(source, (str, os.PathLike)):
        # The bounds are read in chunks by the workers; the client holds 40 bytes a feature.
        path = os.fspath(source)
        length = client.submit(_file_length, path, pure=False).result()
        chunks = client.gather([
            client.submit(_file_bounds, path, start, min(start + _BOUNDS_CHUNK, length),
                          pure=False)
            for start in range(0, length, _BOUNDS_CHUNK)])
        if not chunks:
            return np.zeros(0, dtype=np.int64), np.zeros((0, 4))
        return (np.concatenate([rows for rows, _ in chunks]),
                np.vstack([bounds for _, bounds in chunks]))
    if not isinstance(source, GeoDataFrame):
        raise TypeError(f"expected a file path or a GeoDataFrame, not {type(source).__name__}")
    return np.arange(len(source)), _bounds_of(source)


def _default_partitions(client, rows):
    threads = sum(client.nthreads().values()) or 1
    return max(1, min(4 * threads, math.ceil(rows / 1000)))


def _cut(source, rows, bounds, owned_rows, other_bounds):
    """What one task is given of a layer: the file path, or the frame's rows it owns and those
    meeting the other layer's own rows (indexed by their row numbers)."""
    if isinstance(source, (str, os.PathLike)):
        return os.fspath(source)
    take = np.zeros(len(rows), dtype=bool)
    take[owned_rows] = True
    take |= _meeting(bounds, other_bounds)
    frame = source.iloc[np.flatnonzero(take)].copy()
    frame.index = pd.Index(rows[take], dtype=np.int64)
    return frame


def _out_spec(out):
    if out is None:
        return None
    extension = os.path.splitext(os.fspath(out))[1].lower()
    driver = {".gpkg": "GPKG", ".fgb": "FlatGeobuf"}.get(extension)
    return driver


def overlay(a, b, how="intersection", client=None, partitions=None, *, out=None,
            driver="GPKG", merge=False, _pause=0.0):
    """arealis.overlay(a, b, how) over a Dask cluster.

    a and b are file paths every worker can read, or GeoDataFrames. client is a
    dask.distributed Client (without it, a local cluster of this machine's cores is started
    and closed afterwards); partitions the number of tasks (by default up to four per worker
    thread, at least 1,000 A polygons each). Without out, the result is returned as one
    GeoDataFrame (for data that fits in memory): the same pieces, columns and attributes as
    arealis.overlay, ordered by partition. With out, the workers write the result: into the
    folder out, one file part-NNNNN.gpkg (or .fgb with driver="FlatGeobuf") per partition that
    has pieces, or with merge=True into the single file out; the return is then the list of
    (path, rows) written. A failed task raises PartitionError naming its partition.
    """
    if how not in _frames._HOWS:
        raise ValueError(f"`how` was '{how}' but is expected to be in {_frames._HOWS}")
    a, b = _absolute(a), _absolute(b)
    client, cluster = _client(client)
    try:
        return _run_overlay(client, a, b, how, partitions, out, driver, merge, _pause)
    finally:
        if cluster is not None:
            client.close()
            cluster.close()


def _run_overlay(client, a, b, how, partitions, out, driver, merge, pause):
    if isinstance(a, GeoDataFrame) and isinstance(b, GeoDataFrame):
        _frames._check_frames(a, b, how)
    rows_a, bounds_a = _bounds_from(client, a)
    rows_b, bounds_b = _bounds_from(client, b)
    if len(rows_a) == 0:
        if how != "intersection":
            raise ValueError(f"A is empty: an overlay '{how}' takes the geometry type to keep "
                             "from its first row")
        count = 1
    else:
        count = partitions or _default_partitions(client, len(rows_a))
        count = max(1, min(int(count), len(rows_a)))
    plan = _Plan(bounds_a, bounds_b, count) if len(rows_a) else None
    output = _output(out, driver, merge)
    futures = []
    token = uuid.uuid4().hex
    for part in range(count):
        own_a = plan.owned_a[part] if plan else np.zeros(0, np.int64)
        own_b = plan.owned_b[part] if plan else np.arange(len(rows_b))
        task_a = _cut(a, rows_a, bounds_a, own_a, bounds_b[own_b])
        task_b = _cut(b, rows_b, bounds_b, own_b, bounds_a[own_a])
        futures.append(client.submit(
            _overlay_task, task_a, task_b,
            (rows_a[own_a], _union_box(bounds_a[own_a])),
            (rows_b[own_b], _union_box(bounds_b[own_b])),
            how, part, count, output, pause, key=f"arealis-overlay-{part}-{token}"))
    results = client.gather(futures)
    if output is None:
        return pd.concat(results, ignore_index=True)
    written = [r for r in results if r is not None and r[0] is not None]
    if merge:
        target = os.path.abspath(os.fspath(out))
        if not written:
            return []
        rows = client.submit(_merge_task, [p for p, _ in written], target, output[2],
                             pure=False).result()
        return [(target, rows)]
    return written


def _output(out, driver, merge):
    """(folder, extension, driver) for the partition files, or None for a frame."""
    if out is None:
        return None
    extension = {"GPKG": ".gpkg", "FlatGeobuf": ".fgb"}.get(driver)
    if extension is None:
        raise ValueError(f"driver was '{driver}' but is expected to be GPKG or FlatGeobuf")
    out = os.path.abspath(os.fspath(out))
    if merge:
        if os.path.exists(out):
            raise FileExistsError(f"{out}: already exists")
        folder = out + ".parts"
    else:
        folder = out
    os.makedirs(folder, exist_ok=True)
    return (folder, extension, driver)


def dissolve(a, by=None, client=None, partitions=None, *, fan_in=4, _pause=0.0):
    """The polygons of a (a file path or GeoDataFrame) united, over a Dask cluster: one row,
    or with by one row per group (geometry only). Each partition is dissolved by its task and
    the partial unions are united in a tree of fan_in operands per task."""
    a = _absolute(a)
    client, cluster = _client(client)
    try:
        rows, bounds = _bounds_from(client, a)
        if len(rows) == 0:
            frame = a if isinstance(a, GeoDataFrame) else _read_file(os.fspath(a))
            return _frames.dissolve(frame[_keep(frame, by)], by=by)[[frame.geometry.name]]
        count = partitions or _default_partitions(client, len(rows))
        count = max(1, min(int(count), len(rows)))
        plan = _Plan(bounds, np.zeros((0, 4)), count)
        level = []
        for part in range(count):
            owned = plan.owned_a[part]
            source = _cut(a, rows, bounds, owned, np.zeros((0, 4)))
            level.append(client.submit(_dissolve_task, source, (rows[owned],
                                       _union_box(bounds[owned])), by, part, count, _pause,
                                       pure=False))
        while len(level) > 1:
            level = [client.submit(_combine_task, *level[k:k + fan_in], pure=False)
                     if len(level[k:k + fan_in]) > 1 else level[k]
                     for k in range(0, len(level), fan_in)]
        return level[0].result()
    finally:
        if cluster is not None:
            client.close()
            cluster.close()


def main(argv=None):
    """The command: python3 -m arealis.distributed HOW A B -o OUT [--scheduler ADDRESS]."""
    parser = argparse.ArgumentParser(
        prog="python3 -m arealis.distributed",
        description="Overlay two polygon files on a Dask cluster; the workers write the result.")
    parser.add_argument("how", choices=_frames._HOWS)
    parser.add_argument("a", help="the first layer: a file every worker can read")
    parser.add_argument("b", help="the second layer: a file every worker can read")
    parser.add_argument("-o", "--output", required=True,
                        help="folder of partition files, or with --merge one file")
    parser.add_argument("--scheduler", help="address of a Dask scheduler, e.g. tcp://HOST:8786 "
                        "(without it, a local cluster of this machine's cores)")
    parser.add_argument("--partitions", type=int)
    parser.add_argument("--driver", choices=["GPKG", "FlatGeobuf"], default=None,
                        help="file format of the result (default: from -o's extension, GPKG)")
    parser.add_argument("--merge", action="store_true", help="write one file OUT")
    args = parser.parse_args(argv)
    driver = args.driver or _out_spec(args.output) or "GPKG"
    client = None
    try:
        if args.scheduler:
            from dask.distributed import Client

            client = Client(args.scheduler)
        start = time.perf_counter()
        written = overlay(args.a, args.b, args.how, client=client, partitions=args.partitions,
                          out=args.output, driver=driver, merge=args.merge)
    except (OSError, ValueError, PartitionError) as error:
        print(f"arealis.distributed: {error}", file=sys.stderr)
        return 1
    finally:
        if client is not None:
            client.close()
    rows = sum(n for _, n in written)
    print(f"{rows} pieces in {len(written)} file(s) under {args.output} "
          f"in {time.perf_counter() - start:.2f} s")
    return 0


if __name__ == "__main__":
    # Run through the imported module, so that the tasks pickle as arealis.distributed's.
    from arealis.distributed import main as _main

    sys.exit(_main())
