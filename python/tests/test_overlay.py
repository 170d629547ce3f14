import geopandas
import numpy as np
import pandas as pd
import pytest

import arealis
from frames import crossing_bars, fine_blobs, grid, holes_and_parts

HOWS = ["intersection", "union", "identity", "symmetric_difference", "difference"]

CASES = {
    "grids": lambda: (grid(6, 5, 1.0, 0.0, "a"), grid(4, 4, 1.5, 0.5, "b")),
    "holes and parts": lambda: (holes_and_parts(), crossing_bars()),
    "parts and holes": lambda: (crossing_bars(), holes_and_parts()),
    "shared edges only": lambda: (grid(2, 1, 1.0, 0.0, "a"), grid(2, 1, 1.0, 2.0, "b")),
    # Coincident cells: geopandas orders its rows by every pair that meets, touching included.
    "same cells": lambda: (grid(3, 3, 1.0, 0.0, "a"), grid(3, 3, 1.0, 0.0, "b")),
    "far apart": lambda: (grid(2, 2, 1.0, 0.0, "a"), grid(2, 2, 1.0, 50.0, "b")),
}


def assert_same_frame(ours, theirs):
    """Same columns in the same order, same index, same attribute values and types, and the
    same geometry row by row: areas within 1e-9 relative and no area outside the other."""
    assert list(ours.columns) == list(theirs.columns)
    assert ours.geometry.name == theirs.geometry.name
    pd.testing.assert_index_equal(ours.index, theirs.index, exact="equiv")
    attributes = [c for c in theirs.columns if c != theirs.geometry.name]
    pd.testing.assert_frame_equal(ours[attributes], theirs[attributes], check_index_type=False)
    ours_area = ours.geometry.area.to_numpy()
    theirs_area = theirs.geometry.area.to_numpy()
    np.testing.assert_allclose(ours_area, theirs_area, rtol=1e-9, atol=0)
    apart = ours.geometry.symmetric_difference(theirs.geometry).area.to_numpy()
    assert (apart <= 1e-9 * np.maximum(theirs_area, 1.0)).all()
    assert set(ours.geom_type) <= {"Polygon", "MultiPolygon"}


@pytest.mark.parametrize("case", CASES)
@pytest.mark.parametrize("how", HOWS)
def test_overlay_matches_geopandas(case, how):
    df1, df2 = CASES[case]()
    before = (df1.copy(), df2.copy())
    ours = arealis.overlay(df1, df2, how=how, keep_geom_type=True)
    theirs = geopandas.overlay(df1, df2, how=how, keep_geom_type=True)
    assert_same_frame(ours, theirs)
    # The inputs are left as they were.
    pd.testing.assert_frame_equal(df1, before[0])
    pd.testing.assert_frame_equal(df2, before[1])


def test_every_thread_count_gives_the_same_frame():
    df1, df2 = grid(12, 10, 1.0, 0.0, "a"), grid(9, 8, 1.3, 0.4, "b")
    for how in HOWS:
        one = arealis.overlay(df1, df2, how=how, threads=1)
        pd.testing.assert_frame_equal(arealis.overlay(df1, df2, how=how, threads=3), one)
    with pytest.raises(ValueError, match="threads"):
        arealis.overlay(df1, df2, threads=0)
    # Enough polygons for the dissolve's unions to be split over the threads.
    both = pd.concat([grid(40, 40, 1.0, 0.0, "a"), grid(30, 30, 1.3, 0.4, "b")], ignore_index=True)
    one = arealis.dissolve(both, threads=1).geometry.to_wkb().tolist()
    assert arealis.dissolve(both, threads=3).geometry.to_wkb().tolist() == one


def test_crs_is_kept_and_a_mismatch_refused():
    df1, df2 = grid(2, 2, 1.0, 0.0, "a"), grid(2, 2, 1.0, 0.5, "b")
    result = arealis.overlay(df1.set_crs(3857), df2.set_crs(3857))
    assert result.crs == df1.set_crs(3857).crs
    with pytest.raises(ValueError, match="CRS mismatch"):
        arealis.overlay(df1.set_crs(3857), df2.set_crs(4326))


def test_progress_reaches_the_total():
    calls = []
    arealis.overlay(*CASES["grids"](), how="union", progress=lambda d, t: calls.append((d, t)))
    assert calls and calls[-1][0] == calls[-1][1]
    assert all(a[0] <= b[0] for a, b in zip(calls, calls[1:]))


@pytest.fixture(scope="module")
def fine_frames():
    """Unit-size frames whose vertices lie about 1e-4 apart: the default tolerance (5e-4)
    would move vertices of one frame onto edges of the other."""
    return (fine_blobs([(0.3, 0.3), (0.7, 0.35), (0.5, 0.7)], 0.12, "a"),
            fine_blobs([(0.45, 0.4), (0.6, 0.6)], 0.15, "b"))


@pytest.mark.parametrize("how", HOWS)
def test_fine_precision_matches_geopandas(fine_frames, how):
    df1, df2 = fine_frames
    ours = arealis.overlay(df1, df2, how=how, grid=1e-12, tolerance=1e-10)
    assert_same_frame(ours, geopandas.overlay(df1, df2, how=how))


def test_geographic_frames_take_the_degree_defaults(fine_frames):
    df1, df2 = (df.set_crs(4326) for df in fine_frames)
    with pytest.warns(UserWarning, match=r"longitude/latitude.*grid 1e-09 and tolerance 5e-09") as caught:
        ours = arealis.overlay(df1, df2, how="union")
    assert len([w for w in caught if "longitude/latitude" in str(w.message)]) == 1
    explicit = arealis.overlay(df1, df2, how="union", grid=1e-9, tolerance=5e-9)
    pd.testing.assert_frame_equal(ours, explicit)
    # The same frames in a projected CRS keep the defaults, which give other areas here.
    projected = arealis.overlay(*fine_frames, how="union")
    assert not np.allclose(projected.area, [g.area for g in explicit.geometry], rtol=1e-9, atol=0)
    with pytest.warns(UserWarning, match="degrees"):
        arealis.dissolve(df1)


@pytest.mark.parametrize("kwargs, message", [
    (dict(grid=float("nan")), "grid nan is not a positive finite number"),
    (dict(tolerance=float("inf")), "tolerance inf is not a positive finite number"),
    (dict(grid=0.0), "grid 0 is not a positive finite number"),
    (dict(tolerance=-1.0), "tolerance -1 is not a positive finite number"),
    (dict(grid=1e-3), "the tolerance 0.0005 is smaller than the node grid step 0.001"),
    (dict(grid=1e-6, tolerance=1e-7), "the tolerance 1e-07 is smaller than the node grid step 1e-06"),
])
def test_bad_precision_is_refused_everywhere(kwargs, message):
    df = grid(2, 2, 1.0, 0.0, "a")
    calls = [lambda: arealis.overlay(df, df, **kwargs), lambda: arealis.dissolve(df, **kwargs),
             lambda: arealis.validate(df, **kwargs), lambda: arealis.Topology(**kwargs)]
    for call in calls:
        with pytest.raises(ValueError, match=message):
            call()
    topology = arealis.Topology(grid=1e-9, tolerance=5e-9)
    assert (topology.grid, topology.tolerance) == (1e-9, 5e-9)
