import os
import signal
import threading
import time

import geopandas
import numpy as np
import pandas as pd
import pytest
from shapely.geometry import Polygon

import arealis
import arealis.distributed as distributed
from frames import grid

distributed_dask = pytest.importorskip("dask.distributed")

HOWS = ["intersection", "union", "identity", "symmetric_difference", "difference"]


@pytest.fixture(scope="module")
def client():
    # The worker processes find the package through PYTHONPATH, inherited from this process.
    package = os.path.dirname(os.path.dirname(arealis.__file__))
    os.environ["PYTHONPATH"] = os.pathsep.join(
        [package] + [p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p])
    cluster = distributed_dask.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=":0")
    with distributed_dask.Client(cluster) as connection:
        yield connection
    cluster.close()


def layers():
    """Two overlapping grids, B also reaching beyond A, with rows overlapping within B."""
    a = grid(12, 9, 1.0, 0.0, "a")
    b = pd.concat([grid(8, 7, 1.7, 0.3, "b"), grid(3, 3, 2.5, 4.2, "b")], ignore_index=True)
    b["id"] = np.arange(len(b))
    return a.set_crs(3857), b.set_crs(3857)


def assert_same_pieces(ours, theirs):
    """The same rows (attributes, so parents, and geometry) whatever their order."""
    assert sorted(ours.columns) == sorted(theirs.columns)
    attributes = [c for c in theirs.columns if c != theirs.geometry.name]
    ours = ours.sort_values(attributes).reset_index(drop=True)[list(theirs.columns)]
    theirs = theirs.sort_values(attributes).reset_index(drop=True)
    pd.testing.assert_frame_equal(ours[attributes], theirs[attributes], check_dtype=False)
    apart = ours.geometry.symmetric_difference(theirs.geometry).area.to_numpy()
    assert (apart <= 1e-9).all()


@pytest.mark.parametrize("how", HOWS)
def test_partitions_give_the_single_process_pieces(client, how, tmp_path, monkeypatch):
    a, b = layers()
    expected = arealis.overlay(a, b, how=how)
    assert_same_pieces(distributed.overlay(a, b, how, client=client, partitions=7), expected)
    # From files, their bounds read in chunks, the workers writing one file per partition.
    monkeypatch.setattr(distributed, "_BOUNDS_CHUNK", 37)
    a.to_file(tmp_path / "a.gpkg", driver="GPKG")
    b.to_file(tmp_path / "b.gpkg", driver="GPKG")
    written = distributed.overlay(str(tmp_path / "a.gpkg"), str(tmp_path / "b.gpkg"), how,
                                  client=client, partitions=5, out=tmp_path / "out")
    assert sum(n for _, n in written) == len(expected)
    parts = pd.concat([geopandas.read_file(p) for p, _ in written], ignore_index=True)
    assert_same_pieces(parts, expected)


def test_dissolve_reduces_partial_unions(client):
    a, _ = layers()
    a["group"] = a["id"] % 3
    whole = distributed.dissolve(a, client=client, partitions=6, fan_in=2)
    assert len(whole) == 1 and abs(whole.geometry.area.iloc[0] - 108.0) < 1e-9
    groups = distributed.dissolve(a, by="group", client=client, partitions=6, fan_in=2)
    expected = arealis.dissolve(a, by="group")
    assert list(groups.index) == list(expected.index)
    assert (groups.geometry.symmetric_difference(expected.geometry).area < 1e-9).all()


def test_a_killed_worker_is_replaced_and_nothing_lost_or_doubled(client, tmp_path):
    a, b = layers()
    expected = arealis.overlay(a, b, how="union")
    pids = client.run(os.getpid)
    outcome = {}

    def run():
        outcome["result"] = distributed.overlay(a, b, "union", client=client, partitions=4,
                                                _pause=1.5)

    thread = threading.Thread(target=run)
    thread.start()
    deadline = time.monotonic() + 30
    busy = {}
    while not busy and time.monotonic() < deadline:
        busy = {w: t for w, t in client.processing().items() if t}
        time.sleep(0.05)
    victim = next(iter(busy))
    os.kill(pids[victim], signal.SIGKILL)
    thread.join(60)
    assert "result" in outcome
    assert_same_pieces(outcome["result"], expected)


def test_a_failing_partition_is_named(client):
    a, b = layers()
    # A self-crossing polygon: the single-machine overlay refuses it.
    a.loc[50, "geometry"] = Polygon([(5, 5), (6, 6), (6, 5), (5, 6)])
    with pytest.raises(distributed.PartitionError, match=r"overlay: partition \d of 4 failed"):
        distributed.overlay(a, b, "intersection", client=client, partitions=4)


def test_the_command_writes_one_merged_file(client, tmp_path, capsys):
    a, b = layers()
    a.to_file(tmp_path / "a.gpkg", driver="GPKG")
    b.to_file(tmp_path / "b.fgb", driver="FlatGeobuf")
    out = tmp_path / "pieces.fgb"
    status = distributed.main(["identity", str(tmp_path / "a.gpkg"), str(tmp_path / "b.fgb"),
                               "-o", str(out), "--merge", "--partitions", "3",
                               "--scheduler", client.scheduler.address])
    assert status == 0 and "in 1 file(s)" in capsys.readouterr().out
    assert_same_pieces(geopandas.read_file(out), arealis.overlay(a, b, how="identity"))
    assert not os.path.exists(str(out) + ".parts")


def test_pieces_from_files_do_not_depend_on_the_order_the_file_gives_them(client, tmp_path):
    # Stars overlapping each other on a coverage of hexagons: vertices of one star come within
    # the overlay tolerance of another's edges, where the result follows the polygons' order.
    # A file read by bounds gives them in its index's order, not in the rows' order.
    rng = np.random.default_rng(5)
    hexagons = [Polygon([(1.5 * i * 50 + 50 * np.cos(k * np.pi / 3),
                          (j + (i % 2) / 2) * np.sqrt(3) * 50 + 50 * np.sin(k * np.pi / 3))
                         for k in range(6)]) for i in range(20) for j in range(20)]
    stars = []
    for _ in range(200):
        x, y, reach, turn = *rng.uniform(0, 1500, 2), rng.uniform(20, 140), rng.uniform(0, 1)
        stars.append(Polygon([(x + reach * (1 - 0.55 * (t % 2)) * np.cos(turn + t * np.pi / 7),
                               y + reach * (1 - 0.55 * (t % 2)) * np.sin(turn + t * np.pi / 7))
                              for t in range(14)]))
    a = geopandas.GeoDataFrame({"id": range(400)}, geometry=hexagons, crs=3857)
    b = geopandas.GeoDataFrame({"star": range(200)}, geometry=stars, crs=3857)
    a.to_file(tmp_path / "a.gpkg", driver="GPKG")
    b.to_file(tmp_path / "b.gpkg", driver="GPKG")
    expected = arealis.overlay(a, b, how="union")
    result = distributed.overlay(str(tmp_path / "a.gpkg"), str(tmp_path / "b.gpkg"), "union",
                                 client=client, partitions=6)
    assert_same_pieces(result, expected)
