#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small input in the layout that its target's source file describes. Run it
again after changing a layout; inputs that fuzzing found and that were fixed are kept as
files of their own (named after what they found) and are not touched here."""

import shutil
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
CORPUS = HERE / "corpus"
REGRESSION = HERE.parent / "data" / "regression"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(bytes(data))


# --- shapefile_reader --------------------------------------------------------------------------

def header(total_bytes, shape_type=5):
    data = struct.pack(">i", 9994) + bytes(20) + struct.pack(">i", total_bytes // 2)
    data += struct.pack("<ii", 1000, shape_type) + struct.pack("<8d", *([0.0] * 8))
    return data


def polygon_record(number, parts, shape_type=5, counts=None, trailing=b""):
    starts, points = [], []
    for part in parts:
        starts.append(len(points))
        points.extend(part + [part[0]])
    num_parts, num_points = counts if counts else (len(starts), len(points))
    content = struct.pack("<i4d", shape_type, 0, 0, 0, 0) + struct.pack("<ii", num_parts, num_points)
    content += b"".join(struct.pack("<i", s) for s in starts)
    content += b"".join(struct.pack("<2d", x, y) for x, y in points) + trailing
    return struct.pack(">ii", number, len(content) // 2) + content


def shapefile(records, declared=None, file_shape_type=5):
    body = b"".join(records)
    total = 100 + len(body)
    return header(declared if declared is not None else total, file_shape_type) + body


SQUARE = [(0.0, 0.0), (0.0, 10.0), (10.0, 10.0), (10.0, 0.0)]
HOLE = [(3.0, 3.0), (6.0, 3.0), (6.0, 6.0), (3.0, 6.0)]
NEIGHBOUR = [(10.0, 0.0), (10.0, 10.0), (20.0, 10.0), (20.0, 0.0)]
BOWTIE = [(0.0, 0.0), (10.0, 10.0), (10.0, 0.0), (0.0, 10.0)]


def shapefile_seeds():
    (CORPUS / "shapefile_reader").mkdir(parents=True, exist_ok=True)
    for name in ("1_1", "4_2", "11_int", "12_2"):
        source = REGRESSION / f"{name}.shp"
        if source.exists():
            shutil.copy(source, CORPUS / "shapefile_reader" / f"regression_{name}.shp")
    write("shapefile_reader", "square_with_hole.shp", shapefile([polygon_record(1, [SQUARE, HOLE])]))
    # Byte 32 picks the layer operation run on the result: 1 join, 2 union, 3 self-intersection.
    write("shapefile_reader", "neighbours_join.shp",
          shapefile([polygon_record(1, [SQUARE]), polygon_record(2, [NEIGHBOUR])], file_shape_type=1))
    write("shapefile_reader", "neighbours_union.shp",
          shapefile([polygon_record(1, [SQUARE]), polygon_record(2, [NEIGHBOUR])], file_shape_type=2))
    write("shapefile_reader", "bowtie_self_intersection.shp",
          shapefile([polygon_record(1, [BOWTIE])], file_shape_type=3))
    write("shapefile_reader", "polygon_z.shp",
          shapefile([polygon_record(1, [SQUARE], shape_type=15, trailing=bytes(16 + 8 * 5) * 2)]))
    write("shapefile_reader", "null_and_point.shp",
          shapefile([struct.pack(">ii", 1, 2) + struct.pack("<i", 0),
                     struct.pack(">ii", 2, 10) + struct.pack("<i2d", 1, 1.0, 2.0),
                     polygon_record(3, [SQUARE])]))
    write("shapefile_reader", "header_only.shp", header(100))
    write("shapefile_reader", "declared_too_long.shp",
          shapefile([polygon_record(1, [SQUARE])], declared=10_000))
    write("shapefile_reader", "cut_short.shp", shapefile([polygon_record(1, [SQUARE])])[:-20])
    write("shapefile_reader", "too_many_points.shp",
          shapefile([polygon_record(1, [SQUARE], counts=(1, 1 << 28))]))
    write("shapefile_reader", "negative_parts.shp",
          shapefile([polygon_record(1, [SQUARE], counts=(-3, 5))]))
    write("shapefile_reader", "nan_coordinate.shp",
          shapefile([polygon_record(1, [[(float("nan"), 0.0)] + SQUARE[1:]])]))
    write("shapefile_reader", "huge_coordinates.shp",
          shapefile([polygon_record(1, [[(x * 1e300, y * 1e300) for x, y in SQUARE]])], file_shape_type=1))
    write("shapefile_reader", "found_coordinates_beyond_1e302.shp",
          shapefile([polygon_record(1, [[(x * 1e303, y * 1e303) for x, y in SQUARE]])]))
    write("shapefile_reader", "tiny_ring.shp",
          shapefile([polygon_record(1, [[(0.0, 0.0), (0.0, 1e-7), (1e-7, 1e-7)]])]))


# --- overlay ----------------------------------------------------------------------------------

def rect(x0, y0, x1, y1, hole=False):
    return [4 if hole else 0, x0, y0, x1, y1]


def star(points, hole=False):
    return [1 | (4 if hole else 0) | ((len(points) - 3) << 3)] + [c for p in points for c in p]


def raw(points, hole=False):
    return [2 | (4 if hole else 0) | ((len(points) - 3) << 3)] + [c for p in points for c in p]


def shape(*rings):
    return [len(rings) - 1] + [b for ring in rings for b in ring]


def overlay_seeds():
    seeds = {
        "shared_edge": [0] + shape(rect(0, 0, 4, 4)) + shape(rect(4, 0, 8, 4)),
        "partial_shared_edge": [0] + shape(rect(0, 0, 4, 6)) + shape(rect(4, 2, 9, 9)),
        "nested": [0] + shape(rect(0, 0, 10, 10)) + shape(rect(2, 2, 5, 5)),
        "hole_filled": [0] + shape(rect(0, 0, 10, 10), rect(3, 3, 6, 6, hole=True)) + shape(rect(3, 3, 6, 6)),
        "hole_crossed": [0] + shape(rect(0, 0, 10, 10), rect(3, 3, 6, 6, hole=True)) + shape(rect(5, 1, 12, 4)),
        "two_exteriors": [0] + shape(rect(0, 0, 3, 3), rect(5, 5, 9, 9)) + shape(rect(2, 2, 6, 6)),
        "vertex_on_edge": [0] + shape(rect(0, 0, 8, 8)) + shape(raw([(8, 4), (12, 8), (12, 0)])),
        "corner_touch": [0] + shape(rect(0, 0, 4, 4)) + shape(rect(4, 4, 8, 8)),
        "stars": [0] + shape(star([(1, 1), (7, 2), (9, 8), (3, 9), (5, 5)])) + shape(star([(2, 2), (8, 1), (12, 6), (6, 11)])),
        "identical_shifted_ring": [0x20] + shape(rect(1, 1, 7, 7)) + shape(rect(0, 0, 1, 1)) + [2, 2],
        "in_layer": [0x10] + shape(rect(0, 0, 4, 6), rect(1, 1, 2, 2, hole=True)) + shape(rect(4, 2, 9, 9)),
        "large_offset": [0x08] + shape(rect(0, 0, 5, 5)) + shape(rect(3, 3, 9, 9)),
        "offset_1e7_half_steps": [0x09] + shape(star([(0, 0), (6, 0), (6, 6), (0, 6)])) + shape(rect(3, 0, 9, 6)),
        "scale_1000_in_layer": [0x12] + shape(rect(0, 0, 8, 8), rect(2, 2, 6, 6, hole=True)) + shape(rect(4, 4, 12, 12)),
    }
    for name, data in seeds.items():
        write("overlay", name, data)


# --- ring_validation --------------------------------------------------------------------------

def ring(points):
    return [len(points) - 1] + [c for p in points for c in p]


def ring_seeds():
    seeds = {
        "square": [0] + ring([(0, 0), (0, 4), (4, 4), (4, 0)]),
        "figure_eight": [0x10] + ring([(0, 0), (4, 4), (4, 0), (0, 4)]),
        "spike": [0] + ring([(0, 0), (0, 4), (6, 4), (4, 4), (4, 0)]),
        "repeated_nodes": [0] + ring([(0, 0), (0, 0), (0, 4), (4, 4), (4, 4), (4, 0)]),
        "self_touching": [0x10] + ring([(0, 0), (0, 6), (3, 3), (6, 6), (6, 0), (3, 3)]),
        "collinear_back": [0x10] + ring([(0, 0), (0, 6), (0, 3), (4, 3), (4, 0)]),
        "with_hole": [0x08] + ring([(0, 0), (0, 7), (7, 7), (7, 0)]) + ring([(2, 2), (4, 2), (4, 4), (2, 4)]),
        "two_exteriors_touching": [0x08] + ring([(0, 0), (0, 3), (3, 3), (3, 0)]) + ring([(3, 3), (3, 6), (6, 6), (6, 3)]),
        "tiny_scale_offset": [0x05] + ring([(0, 0), (0, 2), (1, 1), (2, 2), (2, 0), (1, 1)]),
        "zero_area": [0] + ring([(0, 0), (2, 2), (4, 4)]),
    }
    for name, data in seeds.items():
        write("ring_validation", name, data)


# --- move_node --------------------------------------------------------------------------------

def move_node_seeds():
    # Nodes are picked by their index in point order; targets are grid bytes (x * 2.5 - 20).
    seeds = {
        "move_shared_corner": [1, 0, 5, 12, 12],
        "merge_neighbours": [1, 6, 5, 6, 5],
        "merge_then_commit": [0, 6, 0, 1, 5, 6, 2, 3, 5],
        "beside_by_1e7": [1, 8, 4, 16, 16, 8, 4, 16, 16, 5],
        "nudge_micro": [1, 7, 3, 8, 0, 7, 3, 0, 8, 5],
        "hole_onto_outer": [1, 6, 10, 5, 5, 1, 11, 13, 13, 5],
        "collapse_square": [1, 6, 0, 1, 6, 0, 2, 6, 0, 3, 5],
    }
    for name, data in seeds.items():
        write("move_node", name, data)


if __name__ == "__main__":
    shapefile_seeds()
    overlay_seeds()
    ring_seeds()
    move_node_seeds()
