import geopandas
import numpy as np
import pandas as pd
import pytest

import arealis
from frames import crossing_bars, grid, holes_and_parts

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
