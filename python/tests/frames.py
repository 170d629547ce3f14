"""Generated GeoDataFrames for the tests: grids with shared edges, holes, multi-part
polygons and overlaps within one frame, all on coordinates whose crossings are exact."""

import numpy as np
import geopandas
from shapely.geometry import MultiPolygon, Polygon, box


def grid(columns, rows, size, offset, name):
    """A coverage of squares sharing their edges, with an integer and a text column."""
    cells = [
        box(offset + i * size, offset + j * size, offset + (i + 1) * size, offset + (j + 1) * size)
        for i in range(columns)
        for j in range(rows)
    ]
    return geopandas.GeoDataFrame(
        {
            "id": np.arange(len(cells)),
            name: [f"{name}{k}" for k in range(len(cells))],
            "geometry": cells,
        }
    )


def holes_and_parts():
    """Polygons with holes, a multi-part polygon and two rows that overlap each other, with a
    text index, a geometry column not named 'geometry' and a column named as in the other
    frame."""
    shapes = [
        Polygon([(0, 0), (8, 0), (8, 8), (0, 8)], [[(2, 2), (2, 6), (6, 6), (6, 2)]]),
        MultiPolygon([box(10, 0, 12, 2), box(10, 4, 12, 6)]),
        box(3, 3, 5, 5),
        box(4, 4, 11, 5),
    ]
    frame = geopandas.GeoDataFrame(
        {"id": [10, 11, 12, 13], "weight": [0.5, 1.5, 2.5, 3.5], "shape": shapes},
        geometry="shape",
        index=["a", "b", "c", "d"],
    )
    return frame


def crossing_bars():
    """Bars across the frame of holes_and_parts: through holes, between parts, along edges."""
    bars = [box(1, 1, 11, 3), box(-1, 5, 13, 7), box(8, -1, 10, 9), box(20, 20, 21, 21)]
    return geopandas.GeoDataFrame({"id": [1, 2, 3, 4], "label": list("wxyz"), "geometry": bars})


def fine_blobs(centres, radius, name, spacing=1e-4):
    """Wavy round polygons on coordinates of size 1 with vertices about spacing apart: finer
    than the default overlay tolerance, so that it would move vertices of the other frame."""
    shapes = []
    for k, (x, y) in enumerate(centres):
        count = int(2 * np.pi * radius / spacing)
        angles = np.linspace(0.0, 2 * np.pi, count, endpoint=False)
        reach = radius * (1.0 + 0.08 * np.sin(7 * angles + k) + 0.03 * np.sin(53 * angles))
        shapes.append(Polygon(np.column_stack([x + reach * np.cos(angles), y + reach * np.sin(angles)])))
    return geopandas.GeoDataFrame(
        {"id": np.arange(len(shapes)), name: [f"{name}{k}" for k in range(len(shapes))], "geometry": shapes}
    )
