import os
import signal
import struct

import geopandas
import numpy as np
import pandas as pd
import pytest
from shapely.geometry import LineString, Point, Polygon, box

import arealis
from frames import grid


def frame(*geometries):
    return geopandas.GeoDataFrame({"id": range(len(geometries)), "geometry": list(geometries)})


BOWTIE = Polygon([(0, 0), (2, 2), (2, 0), (0, 2)])
GOOD = frame(box(0, 0, 1, 1), box(1, 0, 2, 1))


@pytest.mark.parametrize(
    "df1, df2, match",
    [
        (frame(box(0, 0, 1, 1), LineString([(0, 0), (1, 1)])), GOOD, "df1, row 1.*LineString"),
        (GOOD, frame(Point(0, 0)), "df2, row 0.*Point"),
        (GOOD, frame(box(0, 0, 1, 1), BOWTIE), "df2, row 1: invalid polygon"),
        (frame(Polygon([(0, 0), (np.nan, 1), (1, 1)])), GOOD, "df1, row 0: NaN coordinate"),
        (frame(), GOOD, "df1 is empty"),
    ],
    ids=["line", "point", "bowtie", "nan", "empty"],
)
def test_bad_input_is_a_value_error(df1, df2, match):
    with pytest.raises(ValueError, match=match):
        arealis.overlay(df1, df2, how="union")


def test_wrong_arguments_are_refused_as_geopandas_refuses_them():
    with pytest.raises(ValueError, match="`how` was 'join'"):
        arealis.overlay(GOOD, GOOD, how="join")
    with pytest.raises(NotImplementedError):
        arealis.overlay(GOOD.geometry, GOOD)


def test_library_errors_carry_message_and_location():
    layer = arealis.Topology().create_layer(allow_overlap=False)
    layer.add(BOWTIE)
    with pytest.raises(arealis.InvalidPolygonError) as raised:
        layer.commit()
    assert "invalid polygons" in str(raised.value)
    assert raised.value.location.startswith("PolygonLayer, line:")
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, arealis.ArealisError)
    # Truncated or foreign WKB is refused, not read past its end.
    for wkb in [b"\x01\x03\x00\x00\x00\xff\xff\xff\x7f", b"\x07", struct.pack("<bI", 1, 3)]:
        with pytest.raises(ValueError):
            arealis.Polygon(wkb)


def interrupting(after):
    """A progress callback that sends this process Ctrl+C once it has been called after times."""
    calls = []

    def progress(done, total):
        calls.append(done)
        if len(calls) == after:
            os.kill(os.getpid(), signal.SIGINT)

    return progress


def test_ctrl_c_stops_an_overlay_and_leaves_the_inputs():
    df1, df2 = grid(30, 30, 1.0, 0.0, "a"), grid(30, 30, 1.0, 0.5, "b")
    before = df1.copy()
    with pytest.raises(KeyboardInterrupt):
        arealis.overlay(df1, df2, how="union", progress=interrupting(1))
    pd.testing.assert_frame_equal(df1, before)
    assert len(arealis.overlay(df1, df2, how="intersection")) == 59 * 59  # each inner cell meets four cells of the other grid


def test_a_stopped_layer_operation_leaves_no_half_built_layer():
    topology = arealis.Topology()
    a, b = topology.create_layer(), topology.create_layer()
    for i in range(20):
        a.add(box(i, 0, i + 1, 1))
        b.add(box(i + 0.5, 0, i + 1.5, 1))

    def failing(done, total):
        raise RuntimeError("stop here")

    with pytest.raises(RuntimeError, match="stop here"):
        topology.intersection(a, b, progress=failing)
    with pytest.raises(KeyboardInterrupt):
        topology.join(a, b, progress=interrupting(1))
    assert [len(layer) for layer in topology.layers] == [20, 20, 0, 0]
    assert len(topology.intersection(a, b)) == 39
