#!/usr/bin/python3
"""arealis.overlay against geopandas.overlay, end to end: the same two GeoDataFrames in, a
GeoDataFrame out, in one process. Layer A is a coverage of n jittered quadrilaterals, layer B
a shifted mesh of coarser ones over the same area with a fifth of its cells left out; both
carry attribute columns. For arealis
the time of a call is split into conversion in (WKB out of shapely, layers built), the
library's operation, and conversion out (WKB written, shapely geometries, frames joined).
Besides the elapsed time, each engine's CPU time (the process's, all threads) is given: on a
shared, loaded machine the ratio of CPU times is the steadier figure.

    PYTHONPATH=build/release/python /usr/bin/python3 bench/python/overlay_vs_geopandas.py \
        [--sizes 1000 10000 100000] [--hows intersection difference union] [--repeat 1] \
        [--grid G --tolerance T]

--grid and --tolerance are passed to arealis.overlay (default: the library's). The notes at the
end compare the pieces: where both give the same rows once geopandas' remnants of rounding
(pieces below 1e-9 of area) are left out, the largest relative difference of a piece's area.
"""

import argparse
import gc
import os
import time
import warnings

import numpy as np
import geopandas
from shapely.geometry import Polygon

import arealis


def coverage(n, cell, offset, seed, keep=1.0):
    """About n quadrilaterals tiling a square, sharing their jittered corners; with keep < 1
    only that share of them, picked at random, so that the coverage has gaps."""
    side = max(1, int(round(np.sqrt(n))))
    rng = np.random.default_rng(seed)
    xs = np.arange(side + 1) * cell + offset
    corners = np.stack(np.meshgrid(xs, xs, indexing="ij"), axis=-1)
    corners[1:-1, 1:-1] += rng.uniform(-0.25 * cell, 0.25 * cell, corners[1:-1, 1:-1].shape)
    corners = np.round(corners, 3)
    polygons = []
    kept = rng.uniform(0, 1, (side, side)) < keep
    for i in range(side):
        for j in range(side):
            if not kept[i, j]:
                continue
            ring = [corners[i, j], corners[i + 1, j], corners[i + 1, j + 1], corners[i, j + 1]]
            polygons.append(Polygon(ring))
    frame = geopandas.GeoDataFrame(
        {
            "id": np.arange(len(polygons)),
            "value": rng.uniform(0, 100, len(polygons)),
            "geometry": polygons,
        },
        crs="EPSG:3857",
    )
    return frame


def piece_agreement(ours, peer):
    """", pieces within R relative" when the rows pair up once geopandas' remnants are left out."""
    peer_area = peer.area.to_numpy()
    peer_area = peer_area[peer_area > 1e-9]
    if len(ours) != len(peer_area):
        return ""
    relative = np.abs(ours.area.to_numpy() - peer_area) / peer_area
    return f"; every piece within {relative.max():.1e} relative ({(relative > 1e-9).sum()} above 1e-9)"


def timed(function):
    """The result, the elapsed seconds and the process's CPU seconds of one call."""
    gc.collect()
    cpu = time.process_time()
    start = time.perf_counter()
    result = function()
    return result, time.perf_counter() - start, time.process_time() - cpu


def main():
    # geopandas warns about the lines and points it drops where polygons only touch.
    warnings.filterwarnings("ignore", message="`keep_geom_type=True` in overlay")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 10000, 100000])
    parser.add_argument("--hows", nargs="+", default=["intersection", "difference", "union"])
    parser.add_argument("--repeat", type=int, default=1, help="best of this many runs")
    parser.add_argument("--grid", type=float, default=None)
    parser.add_argument("--tolerance", type=float, default=None)
    arguments = parser.parse_args()
    notes = []
    print("load average at the start: {:.1f} {:.1f} {:.1f}".format(*os.getloadavg()))
    print(
        "| polygons | how | geopandas s | arealis s | ratio | geopandas CPU s | arealis CPU s "
        "| CPU ratio | in s | operation s | out s | rows |"
    )
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for n in arguments.sizes:
        a = coverage(n, 1.0, 0.0, 1)
        b = coverage(int(n / 1.07**2), 1.07, -0.31, 2, keep=0.8)
        for how in arguments.hows:
            best_peer = best_ours = cpu_peer = cpu_ours = float("inf")
            split = {}
            for _ in range(arguments.repeat):
                peer, seconds, cpu = timed(lambda: geopandas.overlay(a, b, how=how))
                best_peer, cpu_peer = min(best_peer, seconds), min(cpu_peer, cpu)
                timings = {}
                ours, seconds, cpu = timed(
                    lambda: arealis.overlay(a, b, how=how, timings=timings,
                                            grid=arguments.grid, tolerance=arguments.tolerance)
                )
                cpu_ours = min(cpu_ours, cpu)
                if seconds < best_ours:
                    best_ours, split = seconds, timings
            area = abs(ours.area.sum() - peer.area.sum()) / max(peer.area.sum(), 1e-300)
            notes.append(
                f"{n} {how}: {len(ours)} rows against geopandas' {len(peer)}, "
                f"total areas {area:.1e} apart{piece_agreement(ours, peer)}"
            )
            print(
                f"| {len(a)} x {len(b)} | {how} | {best_peer:.3f} | {best_ours:.3f} | "
                f"{best_peer / best_ours:.1f} | {cpu_peer:.3f} | {cpu_ours:.3f} | "
                f"{cpu_peer / cpu_ours:.1f} | {split['convert_in']:.3f} | "
                f"{split['operation']:.3f} | {split['convert_out']:.3f} | {len(ours)} |",
                flush=True,
            )
    print("load average at the end: {:.1f} {:.1f} {:.1f}".format(*os.getloadavg()))
    print()
    for note in notes:
        print(note)


if __name__ == "__main__":
    main()
