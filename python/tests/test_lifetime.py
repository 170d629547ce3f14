import os
import subprocess
import sys

import pytest
from shapely.geometry import box

import arealis
from frames import grid


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_memory_does_not_grow_over_repeated_calls():
    # The extension's part of an overlay (pandas' joins, which take most of a small call's
    # time, hold no memory of the extension), and the objects of the lower level.
    left = list(grid(3, 3, 1.0, 0.0, "a").geometry)
    right = list(grid(3, 3, 1.0, 0.5, "b").geometry)
    parts = ["intersection", "difference", "reverse_difference"]

    def calls(count):
        for _ in range(count):
            pieces = arealis._arealis.overlay_frames(left, right, parts)
            assert len(pieces["intersection"][0]) == 25  # 5 x 5 pieces
            topology = arealis.Topology()  # more than the library's 255 live topologies
            layer = topology.create_layer()
            layer.add(box(0, 0, 1, 1))
            topology.join(layer, layer)

    calls(100)
    before = resident_bytes()
    calls(1000)
    assert resident_bytes() - before < 4 * 1024 * 1024


def test_importable_after_install_into_a_fresh_prefix(tmp_path):
    build = os.environ.get("AREALIS_BUILD_DIR")
    if not build:
        pytest.skip("AREALIS_BUILD_DIR names the build tree when CTest runs the tests")
    subprocess.run(
        ["cmake", "--install", build, "--prefix", str(tmp_path), "--component", "python"],
        check=True,
        capture_output=True,
    )
    found = list(tmp_path.glob("lib/python3*/*-packages/arealis/__init__.py"))
    assert len(found) == 1
    script = (
        "import arealis, geopandas, shapely.geometry as g;"
        "a = geopandas.GeoDataFrame(geometry=[g.box(0, 0, 2, 2)]);"
        "b = geopandas.GeoDataFrame(geometry=[g.box(1, 1, 3, 3)]);"
        "print(arealis.__file__, arealis.overlay(a, b).area.sum())"
    )
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    environment["PYTHONPATH"] = str(found[0].parent.parent)
    out = subprocess.run(
        [sys.executable, "-c", script],
        env=environment,
        cwd=tmp_path,
        check=True,
        capture_output=True,
        text=True,
    ).stdout.split()
    assert out[0].startswith(str(tmp_path)) and float(out[1]) == 1.0


def test_threads_take_turns_in_the_library():
    # Calls from several threads, each reporting progress (which takes the GIL back while
    # the library lock is held), neither deadlock nor mix their results.
    import threading

    df1, df2 = grid(6, 6, 1.0, 0.0, "a"), grid(6, 6, 1.0, 0.5, "b")
    expected = len(arealis.overlay(df1, df2, how="union"))
    counts, errors = [], []

    def work():
        try:
            for _ in range(2):
                result = arealis.overlay(df1, df2, how="union", progress=lambda d, t: None)
                counts.append(len(result))
        except Exception as error:  # reported below, on the test's thread
            errors.append(error)

    threads = [threading.Thread(target=work) for _ in range(3)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert not errors and counts == [expected] * 6
