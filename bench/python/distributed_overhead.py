#!/usr/bin/python3
"""arealis.distributed.overlay on a local Dask cluster against arealis.overlay in one process,
on the layers of overlay_vs_geopandas.py written as GeoPackages. Both read the two files and
write the result as GeoPackage: the single process one file, the cluster's workers one file per
partition. Also timed: the cluster given GeoDataFrames and returning one (no files). Per
partition: the seconds of each task (Dask's task stream), the rows it read against the rows it
owns (the polygons of the other layer meeting its own, read twice), and the bytes it wrote.

    PYTHONPATH=build/ci/python /usr/bin/python3 bench/python/distributed_overhead.py \
        [--sizes 10000 100000] [--hows intersection union] [--workers 2] [--partitions 8]
"""

import argparse
import os
import sys
import tempfile
import time

import numpy as np
import geopandas
from dask.distributed import Client, LocalCluster

import arealis
import arealis.distributed as distributed

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from overlay_vs_geopandas import coverage  # noqa: E402


def timed(function):
    start = time.perf_counter()
    result = function()
    return result, time.perf_counter() - start


def single_process(path_a, path_b, how, target):
    a = geopandas.read_file(path_a)
    b = geopandas.read_file(path_b)
    result = arealis.overlay(a, b, how=how)
    result.to_file(target, driver="GPKG")
    return len(result)


def halo(a, b, partitions):
    """Rows the tasks take in all (own and meeting the other layer's own) over the rows."""
    bounds_a, bounds_b = distributed._bounds_of(a), distributed._bounds_of(b)
    plan = distributed._Plan(bounds_a, bounds_b, partitions)
    taken = 0
    for own_a, own_b in zip(plan.owned_a, plan.owned_b):
        for bounds, own, others in ((bounds_b, own_b, bounds_a[own_a]),
                                    (bounds_a, own_a, bounds_b[own_b])):
            take = distributed._meeting(bounds, others)
            take[own] = True
            taken += take.sum()
    return taken / (len(a) + len(b))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=int, nargs="+", default=[10000, 100000])
    parser.add_argument("--hows", nargs="+", default=["intersection", "union"])
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--partitions", type=int, default=8)
    arguments = parser.parse_args()
    (cluster, client), started = timed(lambda: (lambda c: (c, Client(c)))(LocalCluster(
        n_workers=arguments.workers, threads_per_worker=1, dashboard_address=":0")))
    print(f"local cluster of {arguments.workers} worker processes started in {started:.1f} s")
    print("| polygons | how | partitions | one process s | cluster, files s | ratio "
          "| cluster, frames s | task s mean / max | rows read / own | MB written | rows |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    with tempfile.TemporaryDirectory() as folder:
        for n in arguments.sizes:
            a = coverage(n, 1.0, 0.0, 1)
            b = coverage(int(n / 1.07**2), 1.07, -0.31, 2, keep=0.8)
            path_a, path_b = os.path.join(folder, "a.gpkg"), os.path.join(folder, "b.gpkg")
            a.to_file(path_a, driver="GPKG")
            b.to_file(path_b, driver="GPKG")
            read_ratio = halo(a, b, arguments.partitions)
            for how in arguments.hows:
                target = os.path.join(folder, f"one-{how}-{n}.gpkg")
                rows, alone = timed(lambda: single_process(path_a, path_b, how, target))
                out = os.path.join(folder, f"parts-{how}-{n}")
                client.get_task_stream()  # clears nothing; the stream below is bounded by time
                start = time.time()
                written, spread = timed(lambda: distributed.overlay(
                    path_a, path_b, how, client=client, partitions=arguments.partitions,
                    out=out))
                stream = client.get_task_stream(start=start)
                tasks = [sum(s["stop"] - s["start"] for s in t["startstops"]
                             if s["action"] == "compute")
                         for t in stream if t["key"].startswith("arealis-overlay-")]
                assert sum(k for _, k in written) == rows, (rows, written)
                megabytes = sum(os.path.getsize(p) for p, _ in written) / 1e6
                _, frames = timed(lambda: distributed.overlay(
                    a, b, how, client=client, partitions=arguments.partitions))
                print(f"| {len(a)} x {len(b)} | {how} | {arguments.partitions} | {alone:.2f} "
                      f"| {spread:.2f} | {spread / alone:.2f} | {frames:.2f} "
                      f"| {np.mean(tasks):.2f} / {np.max(tasks):.2f} | {read_ratio:.2f} "
                      f"| {megabytes:.1f} | {rows} |", flush=True)
    client.close()
    cluster.close()


if __name__ == "__main__":
    main()
