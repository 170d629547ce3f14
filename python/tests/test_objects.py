import gc

import geopandas
import numpy as np
import pandas as pd
import pytest
from shapely.geometry import MultiPolygon, Polygon, box

import arealis
from frames import grid, holes_and_parts


def test_layer_operations_record_parents_across_topologies():
    first, second, results = arealis.Topology(), arealis.Topology(), arealis.Topology()
    a, b = first.create_layer(), second.create_layer()
    left = [a.add(box(0, 0, 2, 2)), a.add(box(2, 0, 4, 2))]
    right = b.add(box(1, 1, 3, 3))
    cases = {
        "intersection": (results.intersection(a, b), ["0b", "1b"]),
        "difference": (results.difference(a, b), ["0", "1"]),
        "join": (results.join(a, b), ["0b", "1b", "0", "1", "b"]),
    }
    names = {left[0]: "0", left[1]: "1", right: "b"}
    for name, (layer, expected) in cases.items():
        found = ["".join(sorted(names[p] for p in polygon.parents)) for polygon in layer.polygons]
        assert sorted(found) == sorted(expected), name
    assert [len(p.parents) for p in results.union(a, b).polygons] == [0]
    # Polygons and their parents outlive every Python name of their topologies.
    polygons = cases["join"][0].polygons
    del first, second, results, a, b, left, right, cases
    gc.collect()
    assert sorted(p.area for p in polygons) == [1, 1, 2, 3, 3]
    assert {q.area for p in polygons for q in p.parents} == {4.0}
    assert polygons[0].parents[0].layer.topology is not None


def test_free_polygons_combine_and_validate():
    ring = arealis.Polygon(holes_and_parts().geometry.iloc[0])
    square = arealis.Polygon(box(1, 1, 7, 7).wkb)
    assert ring.area == 48 and ring.ring_count == 2 and ring.layer is None
    assert ring.union(square).area == 64
    assert ring.intersection(square).area == 20
    assert ring.difference(square).area == 28
    assert ring.validate() is None and ring.is_valid
    assert "self-intersecting" in arealis.Polygon(Polygon([(0, 0), (2, 2), (2, 0), (0, 2)])).validate()


def test_validate_reports_each_row():
    # A hole touching its exterior ring at two points: the library accepts it, the
    # simple-features rules do not (its interior falls in two pieces).
    cut = Polygon([(0, 0), (4, 0), (4, 4), (0, 4)], [[(0, 2), (2, 1), (4, 2), (2, 3)]])
    frame = geopandas.GeoDataFrame(
        geometry=[box(0, 0, 1, 1), Polygon([(0, 0), (2, 2), (2, 0), (0, 2)]), None, cut],
        index=["x", "y", "z", "w"],
    )
    reasons = arealis.validate(frame)
    strict = arealis.validate(frame, strict=True)
    assert list(reasons.index) == list(strict.index) == ["x", "y", "z", "w"]
    assert reasons["x"] is None and reasons["z"] is None and reasons["w"] is None
    assert "self-intersecting" in reasons["y"] and strict["y"] == reasons["y"]
    assert strict["x"] is None and strict["z"] is None
    assert "disconnected" in strict["w"].lower() and "(4 2)" in strict["w"]


@pytest.mark.parametrize("by", [None, "group"])
def test_dissolve_matches_geopandas(by):
    frame = grid(4, 3, 1.0, 0.0, "a")
    frame["group"] = frame["id"] % 3
    shapes = list(frame.geometry)
    shapes[5] = MultiPolygon([box(10, 10, 11, 11), box(12, 10, 13, 11)])
    frame = frame.set_geometry(shapes)
    ours, theirs = arealis.dissolve(frame, by=by), frame.dissolve(by=by)
    assert list(ours.columns) == list(theirs.columns)
    pd.testing.assert_index_equal(ours.index, theirs.index)
    attributes = [c for c in theirs.columns if c != "geometry"]
    pd.testing.assert_frame_equal(ours[attributes], theirs[attributes])
    np.testing.assert_allclose(ours.area, theirs.area, rtol=1e-9)
    assert (ours.geometry.symmetric_difference(theirs.geometry).area < 1e-9).all()


def test_read_file_matches_geopandas(tmp_path):
    import os

    source = os.path.join(os.environ.get("AREALIS_SOURCE_DIR", "."), "data/samples/zones.shp")
    if not os.path.exists(source):
        pytest.skip("sample layers not found")
    ours, theirs = arealis.read_file(source), geopandas.read_file(source)
    assert list(ours.columns) == list(theirs.columns)
    pd.testing.assert_frame_equal(ours.drop(columns="geometry"), theirs.drop(columns="geometry"))
    assert (ours.geometry.symmetric_difference(theirs.geometry).area < 1e-6).all()
    with pytest.raises(FileNotFoundError):
        arealis.read_file(tmp_path / "missing.shp")
    (tmp_path / "junk.shp").write_bytes(b"not a shapefile at all, just some bytes......")
    with pytest.raises(arealis.ArealisError):
        arealis.read_file(tmp_path / "junk.shp")


@pytest.mark.filterwarnings("ignore:Geometry is in a geographic CRS")
@pytest.mark.parametrize(
    "name, driver, options, crs",
    [
        ("layer.shp", "ESRI Shapefile", {"encoding": "cp1252"}, 25832),
        ("layer.gpkg", "GPKG", {"layer": "parcels"}, 25832),
        ("layer.geojson", "GeoJSON", {}, 25832),
        ("layer.fgb", "FlatGeobuf", {}, 25832),
        # Degrees: vertices a tenth of the default grid step apart keep their places.
        ("degrees.shp", "ESRI Shapefile", {}, 4326),
        ("degrees.geojson", "GeoJSON", {}, 4326),
    ],
)
def test_read_file_matches_geopandas_per_format(tmp_path, name, driver, options, crs):
    """Names, dtypes, nulls, text outside ASCII, rows without a polygon and the reference
    system come out as geopandas.read_file gives them."""
    frame = holes_and_parts().rename_geometry("geometry").reset_index(drop=True)
    if crs == 4326:
        frame.geometry = frame.geometry.scale(1e-4, 1e-4, origin=(0, 0)).translate(10.00000013, 50)
    frame["count"] = [1, 2, 3, 4]
    frame["owner"] = ["Müller", None, "Øre", "plain"]
    frame["share"] = [0.25, None, 1.5, 2.0]
    frame.loc[2, "geometry"] = None
    path = tmp_path / name
    frame.set_crs(crs).to_file(path, driver=driver, **options)
    source = f"{path}:parcels" if driver == "GPKG" else path
    ours, theirs = arealis.read_file(source), geopandas.read_file(path)
    attributes = [c for c in theirs.columns if c != "geometry"]
    assert list(ours.columns) == list(theirs.columns)
    pd.testing.assert_frame_equal(ours[attributes], theirs[attributes])
    assert ours.crs == theirs.crs
    assert list(ours.geometry.isna()) == list(theirs.geometry.isna())
    present = ~theirs.geometry.isna()
    apart = ours.geometry[present].symmetric_difference(theirs.geometry[present]).area
    assert (apart < 1e-9 * theirs.geometry[present].area).all()

