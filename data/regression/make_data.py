#!/usr/bin/python3
"""Makes the regression catalogue's shapefiles and the bundled sample layers.

Input layers are hand-made or generated from fixed random seeds; every expected result is
computed with GEOS through shapely, then normalised (exterior rings clockwise, holes
counter-clockwise, each ring starting at its smallest vertex, parts in a fixed order) and
written as shapefiles (.shp, .shx and .dbf).

    /usr/bin/python3 data/regression/make_data.py          # write every file
    /usr/bin/python3 data/regression/make_data.py --check  # verify the committed files

Needs Debian's python3-shapely (1.8) and python3-pyshp (2.3); pyshp is used only to read the
written files back, so that the check does not trust this script's own writer.
"""

import argparse
import math
import os
import random
import struct
import sys
from collections import namedtuple
from fractions import Fraction

from shapely.geometry import LinearRing, MultiPolygon, Point, Polygon
from shapely.geometry.polygon import orient
from shapely.ops import polygonize, unary_union

HERE = os.path.dirname(os.path.abspath(__file__))
REGRESSION_DIR = HERE
SAMPLES_DIR = os.path.normpath(os.path.join(HERE, "..", "samples"))

# One shapefile record: its rings (tuples of (x, y), not closed) and a note for the .dbf.
Record = namedtuple("Record", "rings note")

# Expected coordinates are rounded to this many decimals, far below the comparison tolerance
# (0.1) and the node grid (1e-6), so that results do not depend on the last bits of GEOS.
DECIMALS = 9

# Vertices of different polygons are either exactly on each other's boundary or at least this
# far from it (hand-made data; generated layers keep GENERATED_MARGIN).
HAND_MARGIN = 0.01
GENERATED_MARGIN = 0.1

MSG_NOT_ENCLOSED = "An interior ring is not directly enclosed by an exterior ring."
MSG_NO_EXTERIOR = "Polygon has no exterior ring."
MSG_EXTERIORS_OVERLAP = "An exterior ring area partially overlaps an other exterior ring area."
MSG_NESTED_EXTERIOR = (
    "An exterior ring encloses an other exterior ring that is not directly enclosed by a "
    "corresponding interior ring (directly enclosed by the first exterior ring)."
)
MSG_EXTERIOR_HOLE_OVERLAP = "An exterior ring area partially overlaps an interior ring area."
MSG_HOLES_OVERLAP = "An interior ring area partially overlaps an other interior ring area."


class DataError(Exception):
    """A generated or committed file breaks one of the properties the suite relies on."""


# --------------------------------------------------------------------------------------------
# Rings the way the library sees them
# --------------------------------------------------------------------------------------------


def signed_area(ring):
    """Signed area with the library's formula: positive for clockwise (exterior) rings."""
    total = 0.0
    n = len(ring)
    for i in range(n):
        x0, y0 = ring[i]
        x1, y1 = ring[(i + 1) % n]
        total += (x1 - x0) * (y1 + y0)
    return 0.5 * total


def turn_value(prev, cur, nxt):
    return (prev[0] - cur[0]) * (nxt[1] - cur[1]) - (nxt[0] - cur[0]) * (prev[1] - cur[1])


def ring_is_convex(ring):
    """Convexity as the library tests it: zero turns (collinear nodes) are skipped."""
    n = len(ring)
    if n <= 3:
        return True
    last_sign = 0
    for i in range(n):
        value = turn_value(ring[i - 1], ring[i], ring[(i + 1) % n])
        if value == 0:
            continue
        sign = 1 if value > 0 else -1
        if last_sign and sign != last_sign:
            return False
        last_sign = sign
    return True


def record_is_convex(rings):
    return len(rings) == 1 and ring_is_convex(rings[0])


def oriented(ring, exterior):
    """The ring clockwise (exterior) or counter-clockwise (hole), keeping its first node."""
    ring = list(ring)
    if (signed_area(ring) > 0) != exterior:
        ring = [ring[0]] + ring[:0:-1]
    return tuple(ring)


def as_float_point(x, y):
    # Adding 0.0 turns -0.0 into 0.0, so that the bytes written do not depend on signs of zero.
    return (round(x, DECIMALS) + 0.0, round(y, DECIMALS) + 0.0)


def normalised_ring(coords):
    """Rounded ring without closing point or repeated nodes, started at its smallest node."""
    points = [as_float_point(x, y) for x, y in coords]
    if len(points) > 1 and points[0] == points[-1]:
        points.pop()
    deduplicated = [p for i, p in enumerate(points) if p != points[i - 1]]
    start = deduplicated.index(min(deduplicated))
    return tuple(deduplicated[start:] + deduplicated[:start])


def polygons_of(geometry):
    """The polygonal parts of a GEOS result (lines and points of touching parts are dropped)."""
    if geometry.is_empty:
        return []
    kind = geometry.geom_type
    if kind == "Polygon":
        return [geometry]
    if kind in ("MultiPolygon", "GeometryCollection"):
        parts = []
        for member in geometry.geoms:
            parts.extend(polygons_of(member))
        return parts
    return []


def rings_from_geometry(geometry):
    """Shapefile rings of a geometry: per part the exterior ring, then its holes."""
    parts = []
    for polygon in polygons_of(geometry):
        polygon = orient(polygon, sign=-1.0)
        exterior = normalised_ring(polygon.exterior.coords)
        holes = sorted(normalised_ring(h.coords) for h in polygon.interiors)
        parts.append((exterior, holes))
    parts.sort(key=lambda part: part[0][0])
    rings = []
    for exterior, holes in parts:
        rings.append(exterior)
        rings.extend(holes)
    return tuple(rings)


def geometry_from_rings(rings):
    """The area of a valid record: each hole belongs to the smallest exterior ring around it."""
    exteriors = [r for r in rings if signed_area(r) > 0]
    holes = [r for r in rings if signed_area(r) <= 0]
    exteriors.sort(key=signed_area)
    owned = {i: [] for i in range(len(exteriors))}
    for hole in holes:
        hole_polygon = Polygon(hole)
        for i, exterior in enumerate(exteriors):
            if Polygon(exterior).covers(hole_polygon):
                owned[i].append(hole)
                break
        else:
            raise DataError("a hole lies outside every exterior ring")
    polygons = [Polygon(e, owned[i]) for i, e in enumerate(exteriors)]
    # An island inside a hole is an exterior ring of its own; a hole of a smaller exterior
    # ring is listed under that ring only, so the parts never overlap.
    if len(polygons) == 1:
        return polygons[0]
    return MultiPolygon(polygons)


def record_from_geometry(geometry, note):
    return Record(rings_from_geometry(geometry), note)


def hand_record(note, exteriors, holes=()):
    """A hand-made record; rings are oriented but keep their first node."""
    rings = [oriented(r, True) for r in exteriors] + [oriented(r, False) for r in holes]
    return Record(tuple(rings), note)


# --------------------------------------------------------------------------------------------
# Shapefile writing (polygon type 5) and reading back
# --------------------------------------------------------------------------------------------

DBF_FIELDS = (("ID", "N", 9, 0), ("NOTE", "C", 100, 0))
DBF_DATE = (124, 1, 1)  # fixed "last update" date (2024-01-01), so reruns give the same bytes


def _bounds(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def _record_content(rings):
    closed = [list(r) + [r[0]] for r in rings]
    points = [p for ring in closed for p in ring]
    parts = []
    start = 0
    for ring in closed:
        parts.append(start)
        start += len(ring)
    content = struct.pack("<i4d2i", 5, *_bounds(points), len(parts), len(points))
    content += struct.pack("<%di" % len(parts), *parts)
    content += b"".join(struct.pack("<2d", x, y) for x, y in points)
    return content, points


def _main_header(length_bytes, bounds):
    header = struct.pack(">7i", 9994, 0, 0, 0, 0, 0, length_bytes // 2)
    header += struct.pack("<2i", 1000, 5)
    header += struct.pack("<4d", *bounds)
    header += struct.pack("<4d", 0.0, 0.0, 0.0, 0.0)
    return header


def shapefile_bytes(records, columns=()):
    """The .shp, .shx and .dbf contents of a layer; columns: further .dbf columns."""
    body = b""
    index = b""
    all_points = []
    offset = 100
    for number, record in enumerate(records, start=1):
        content, points = _record_content(record.rings)
        all_points.extend(points)
        body += struct.pack(">2i", number, len(content) // 2) + content
        index += struct.pack(">2i", offset // 2, len(content) // 2)
        offset += 8 + len(content)
    bounds = _bounds(all_points) if all_points else (0.0, 0.0, 0.0, 0.0)
    shp = _main_header(100 + len(body), bounds) + body
    shx = _main_header(100 + len(index), bounds) + index
    return shp, shx, dbf_bytes(records, columns)


def dbf_bytes(records, columns=()):
    """columns: (name, kind, size, decimals, values) added after ID and NOTE."""
    fields = DBF_FIELDS + tuple(column[:4] for column in columns)
    record_length = 1 + sum(field[2] for field in fields)
    header_length = 32 + 32 * len(fields) + 1
    data = struct.pack("<4BIHH20x", 3, *DBF_DATE, len(records), header_length, record_length)
    for name, kind, size, decimals in fields:
        data += struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), size,
                            decimals)
    data += b"\r"
    for number, record in enumerate(records, start=1):
        note = record.note.encode("ascii")
        if len(note) > DBF_FIELDS[1][2]:
            raise DataError("note too long: %s" % record.note)
        data += b" " + str(number).rjust(DBF_FIELDS[0][2]).encode("ascii")
        data += note.ljust(DBF_FIELDS[1][2])
        for _, kind, size, _, values in columns:
            text = str(values[number - 1]).encode("ascii")
            if len(text) > size:
                raise DataError("value too long: %s" % values[number - 1])
            data += text.rjust(size) if kind == "N" else text.ljust(size)
    return data + b"\x1a"


def read_layer(path):
    """Records of a shapefile as pyshp reads them; every ring must repeat its first point."""
    import shapefile  # pyshp

    layer = []
    with shapefile.Reader(path) as reader:
        for shape_record in reader.iterShapeRecords():
            shape = shape_record.shape
            if shape.shapeType != 5:
                raise DataError("%s: shape type %d" % (path, shape.shapeType))
            bounds = list(shape.parts) + [len(shape.points)]
            rings = []
            for start, end in zip(bounds, bounds[1:]):
                points = [tuple(p) for p in shape.points[start:end]]
                if points[0] != points[-1]:
                    raise DataError("%s: a ring does not repeat its first point" % path)
                rings.append(tuple(points[:-1]))
            layer.append(Record(tuple(rings), shape_record.record[1]))
    return layer


# --------------------------------------------------------------------------------------------
# Geometric checks
# --------------------------------------------------------------------------------------------


def edges_of(rings):
    for ring in rings:
        n = len(ring)
        for i in range(n):
            yield ring[i], ring[(i + 1) % n]


def point_segment_distance(p, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    length2 = dx * dx + dy * dy
    if length2 == 0:
        return math.hypot(p[0] - a[0], p[1] - a[1])
    t = ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2
    t = max(0.0, min(1.0, t))
    return math.hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy)


def exactly_on_segment(p, a, b):
    """Whether the binary coordinates of p lie exactly on the segment a-b."""
    px, py, ax, ay, bx, by = (Fraction(v) for v in (p[0], p[1], a[0], a[1], b[0], b[1]))
    if (bx - ax) * (py - ay) != (by - ay) * (px - ax):
        return False
    return min(ax, bx) <= px <= max(ax, bx) and min(ay, by) <= py <= max(ay, by)


def segment_crossing(a, b, c, d):
    """The point where the non-parallel segments a-b and c-d meet, or None."""
    dx1, dy1 = b[0] - a[0], b[1] - a[1]
    dx2, dy2 = d[0] - c[0], d[1] - c[1]
    den = dx1 * dy2 - dy1 * dx2
    if den == 0:
        return None
    wx, wy = c[0] - a[0], c[1] - a[1]
    t = (wx * dy2 - wy * dx2) / den
    u = (wx * dy1 - wy * dx1) / den
    eps = 1e-12
    if -eps <= t <= 1 + eps and -eps <= u <= 1 + eps:
        return (a[0] + t * dx1, a[1] + t * dy1)
    return None


class SegmentGrid:
    """Buckets of segments for near-point queries."""

    def __init__(self, segments, size, reach):
        self.size = size
        self.buckets = {}
        for segment in segments:
            (x0, y0), (x1, y1) = segment
            for key in self._keys(min(x0, x1) - reach, min(y0, y1) - reach,
                                  max(x0, x1) + reach, max(y0, y1) + reach):
                self.buckets.setdefault(key, []).append(segment)

    def _keys(self, minx, miny, maxx, maxy):
        s = self.size
        for i in range(math.floor(minx / s), math.floor(maxx / s) + 1):
            for j in range(math.floor(miny / s), math.floor(maxy / s) + 1):
                yield i, j

    def near(self, p):
        return self.buckets.get((math.floor(p[0] / self.size), math.floor(p[1] / self.size)), ())


def separation_faults(first, second, margin):
    """Vertices of one set of records closer than margin to an edge of the other without lying
    exactly on it (both directions)."""
    faults = []
    for one, other in ((first, second), (second, first)):
        grid = SegmentGrid([e for r in other for e in edges_of(r.rings)], 2.0, margin)
        for record in one:
            for ring in record.rings:
                for p in ring:
                    for a, b in grid.near(p):
                        if point_segment_distance(p, a, b) < margin and not exactly_on_segment(
                                p, a, b):
                            faults.append((p, a, b))
    return faults


def check_separation(name, first, second, margin):
    faults = separation_faults(first, second, margin)
    if faults:
        p, a, b = faults[0]
        raise DataError("%s: vertex %r lies %.4g from edge %r-%r" %
                        (name, p, point_segment_distance(p, a, b), a, b))


def check_record_shape(name, record):
    """Orientation, validity and no contact between the rings of one record."""
    if not record.rings:
        raise DataError("%s: empty record" % name)
    geometry = geometry_from_rings(record.rings)
    if not geometry.is_valid:
        from shapely.validation import explain_validity

        raise DataError("%s (%s): invalid: %s" % (name, record.note, explain_validity(geometry)))
    for ring in record.rings:
        if len(ring) < 3 or any(ring[i] == ring[i - 1] for i in range(len(ring))):
            raise DataError("%s (%s): degenerate ring" % (name, record.note))
    # Exterior rings clockwise, holes counter-clockwise: a ring is a hole when an odd number
    # of the record's other rings enclose it.
    for i, ring in enumerate(record.rings):
        probe = Polygon(ring).representative_point()
        depth = sum(1 for j, other in enumerate(record.rings)
                    if j != i and Polygon(other).contains(probe) and
                    Polygon(other).area > Polygon(ring).area)
        if (signed_area(ring) > 0) != (depth % 2 == 0):
            raise DataError("%s (%s): ring %d has the wrong orientation" % (name, record.note, i))
    lines = [LinearRing(r) for r in record.rings]
    for i in range(len(lines)):
        for j in range(i + 1, len(lines)):
            if lines[i].intersects(lines[j]):
                raise DataError("%s (%s): rings %d and %d touch" % (name, record.note, i, j))


def check_exact_overlay(name, record, sources):
    """The expected rings hold exactly the nodes an exact overlay produces: the source
    vertices on the result's boundary and the crossings of edges of different sources there.

    sources: (group, record) pairs; crossings are computed between records of different groups.
    """
    geometry = geometry_from_rings(record.rings)
    minx, miny, maxx, maxy = geometry.bounds
    reach = 1e-6

    def inside_bounds(p):
        return minx - reach <= p[0] <= maxx + reach and miny - reach <= p[1] <= maxy + reach

    candidates = set()
    for _, source in sources:
        for ring in source.rings:
            candidates.update(p for p in ring if inside_bounds(p))
    edge_lists = [(group, list(edges_of(source.rings))) for group, source in sources]
    boxes = []
    for group, edges in edge_lists:
        boxes.append([(min(a[0], b[0]), min(a[1], b[1]), max(a[0], b[0]), max(a[1], b[1]))
                      for a, b in edges])
    for i in range(len(edge_lists)):
        for j in range(i + 1, len(edge_lists)):
            if edge_lists[i][0] == edge_lists[j][0]:
                continue
            for (a, b), box_ab in zip(edge_lists[i][1], boxes[i]):
                if box_ab[2] < minx or box_ab[0] > maxx or box_ab[3] < miny or box_ab[1] > maxy:
                    continue
                for (c, d), box_cd in zip(edge_lists[j][1], boxes[j]):
                    if (box_cd[0] > box_ab[2] or box_cd[2] < box_ab[0] or
                            box_cd[1] > box_ab[3] or box_cd[3] < box_ab[1]):
                        continue
                    crossing = segment_crossing(a, b, c, d)
                    if crossing is not None and inside_bounds(crossing):
                        candidates.add(crossing)

    def bucket(p):
        return (math.floor(p[0]), math.floor(p[1]))

    def near_any(p, buckets):
        i, j = bucket(p)
        for key in ((i + di, j + dj) for di in (-1, 0, 1) for dj in (-1, 0, 1)):
            for q in buckets.get(key, ()):
                if abs(p[0] - q[0]) <= reach and abs(p[1] - q[1]) <= reach:
                    return True
        return False

    candidate_buckets = {}
    for p in candidates:
        candidate_buckets.setdefault(bucket(p), []).append(p)
    vertex_buckets = {}
    for ring in record.rings:
        for p in ring:
            vertex_buckets.setdefault(bucket(p), []).append(p)
            if not near_any(p, candidate_buckets):
                raise DataError("%s (%s): node %r is neither a source vertex nor a crossing" %
                                (name, record.note, p))
    boundary = geometry.boundary
    for p in candidates:
        if boundary.distance(Point(p)) < 1e-7 and not near_any(p, vertex_buckets):
            raise DataError("%s (%s): boundary point %r is missing from the rings" %
                            (name, record.note, p))


def check_layer_is_coverage(name, layer):
    """Polygons of one layer do not overlap and meet only at common vertices."""
    polygons = [geometry_from_rings(r.rings) for r in layer]
    for i in range(len(polygons)):
        for j in range(i + 1, len(polygons)):
            if not polygons[i].intersects(polygons[j]):
                continue
            if polygons[i].intersection(polygons[j]).area > 1e-9:
                raise DataError("%s: records %d and %d overlap" % (name, i + 1, j + 1))
    vertices = set(p for r in layer for ring in r.rings for p in ring)
    grid = SegmentGrid([e for r in layer for e in edges_of(r.rings)], 2.0, 0.0)
    for p in vertices:
        for a, b in grid.near(p):
            if p != a and p != b and point_segment_distance(p, a, b) < GENERATED_MARGIN:
                raise DataError("%s: vertex %r lies on or near edge %r-%r of another polygon "
                                "(layers must share vertices where they touch)" % (name, p, a, b))


# --------------------------------------------------------------------------------------------
# Commit-time validation rules, mirrored to document what each validation record breaks
# --------------------------------------------------------------------------------------------


def cleaned_ring(ring):
    """Repeated nodes and spikes (A, B, A) removed."""
    nodes = list(ring)
    changed = True
    while changed and len(nodes) >= 3:
        changed = False
        n = len(nodes)
        for i in range(n):
            if nodes[i] == nodes[i - 1]:
                del nodes[i]
                changed = True
                break
            if nodes[i] == nodes[i - 2]:
                # A spike A, B, A loses B and one of the two A.
                for k in sorted({i % n, (i - 1) % n}, reverse=True):
                    del nodes[k]
                changed = True
                break
    return nodes


def split_ring(ring):
    """The ring split into loops at the crossings of non-neighbouring edges."""
    n = len(ring)
    if n <= 3:
        return [ring]
    for i in range(n):
        for j in range(i + 2, n):
            if i == 0 and j == n - 1:
                continue
            crossing = segment_crossing(ring[i], ring[(i + 1) % n], ring[j], ring[(j + 1) % n])
            if crossing is None:
                continue
            loop = [crossing] + ring[i + 1:j + 1]
            rest = ring[:i + 1] + [crossing] + ring[j + 1:]
            loops = []
            for part in (loop, rest):
                part = [p for k, p in enumerate(part) if p != part[k - 1]]
                if len(part) >= 3:
                    loops.extend(split_ring(part))
            return loops
    return [ring]


def _covers(outer, inner):
    return Polygon(outer).buffer(0).covers(Polygon(inner).buffer(0))


def _overlap(a, b):
    return Polygon(a).buffer(0).intersection(Polygon(b).buffer(0)).area > 0


def commit_failure(rings):
    """The message with which committing a polygon of these rings fails, or None."""
    prepared = []
    for ring in rings:
        ring = cleaned_ring(ring)
        if len(ring) >= 3:
            prepared.extend(split_ring(ring))
    exteriors = sorted((r for r in prepared if signed_area(r) > 0), key=signed_area,
                       reverse=True)
    holes = [r for r in prepared if signed_area(r) <= 0]
    assigned = {i: [] for i in range(len(exteriors))}
    pending = list(holes)
    unassigned = []
    while pending:
        hole = pending.pop(0)
        for e in reversed(range(len(exteriors))):
            if signed_area(hole) == 0 or not _covers(exteriors[e], hole):
                continue
            if any(_covers(g, hole) for g in assigned[e]):
                continue
            for g in [g for g in assigned[e] if _covers(hole, g)]:
                assigned[e].remove(g)
                pending.append(g)
            assigned[e].append(hole)
            break
        else:
            unassigned.append(hole)
    if unassigned:
        return MSG_NOT_ENCLOSED
    if not exteriors:
        return MSG_NO_EXTERIOR
    for a in range(len(exteriors)):
        for b in range(a + 1, len(exteriors)):
            if not _overlap(exteriors[a], exteriors[b]):
                continue
            if not _covers(exteriors[a], exteriors[b]):
                return MSG_EXTERIORS_OVERLAP
            overlapping = [g for g in assigned[a] if _overlap(g, exteriors[b])]
            if not overlapping:
                return MSG_NESTED_EXTERIOR
            if not _covers(overlapping[0], exteriors[b]):
                return MSG_EXTERIOR_HOLE_OVERLAP
    for e in assigned:
        hs = assigned[e]
        for i in range(len(hs)):
            for j in range(i + 1, len(hs)):
                if _overlap(hs[i], hs[j]):
                    return MSG_HOLES_OVERLAP
    return None


# --------------------------------------------------------------------------------------------
# Validation layers
# --------------------------------------------------------------------------------------------


def square(x0, y0, x1, y1):
    """Rectangle ring, clockwise: up the left side, along the top, down the right side."""
    return ((x0, y0), (x0, y1), (x1, y1), (x1, y0))


def reversed_ring(ring):
    return (ring[0],) + tuple(ring[:0:-1])


def circle(cx, cy, radius, count, phase=0.0):
    """Clockwise ring of count nodes on a circle, coordinates rounded to 3 decimals."""
    ring = []
    for k in range(count):
        angle = phase - 2.0 * math.pi * k / count
        ring.append((round(cx + radius * math.cos(angle), 3),
                     round(cy + radius * math.sin(angle), 3)))
    return tuple(ring)


# Each validation record: (note, rings as written, message the commit must fail with or None).
# Rings are written in the orientation given here on purpose: orientation decides which rings
# are exterior rings and which are holes.
VALIDATE_F1 = (
    ("hole crosses the right side of its exterior ring",
     (square(0, 0, 20, 20), reversed_ring(square(15, 5, 25, 15))), MSG_NOT_ENCLOSED),
    ("single counter-clockwise ring, no exterior ring",
     (reversed_ring(square(30, 0, 50, 20)),), MSG_NOT_ENCLOSED),
    ("two exterior rings partially overlapping",
     (square(60, 0, 75, 15), square(70, 5, 85, 20)), MSG_EXTERIORS_OVERLAP),
    ("bow-tie ring; the repair splits it into a clockwise and a counter-clockwise loop",
     (((0, 30), (20, 50), (20, 30), (0, 50)),), MSG_NOT_ENCLOSED),
    ("hole lies outside its exterior ring",
     (square(30, 30, 50, 50), reversed_ring(square(55, 35, 65, 45))), MSG_NOT_ENCLOSED),
)

VALIDATE_F2 = (
    ("exterior ring inside another exterior ring with no hole between",
     (square(0, 0, 30, 30), square(10, 10, 20, 20)), MSG_NESTED_EXTERIOR),
    ("two holes partially overlapping",
     (square(40, 0, 80, 30), reversed_ring(square(45, 5, 60, 20)),
      reversed_ring(square(55, 10, 70, 25))), MSG_HOLES_OVERLAP),
    ("island partially overlapping the hole it should sit in",
     (square(0, 40, 40, 80), reversed_ring(square(5, 45, 25, 65)), square(20, 60, 35, 75)),
     MSG_EXTERIOR_HOLE_OVERLAP),
    ("ring of three collinear nodes (zero area) alone",
     (((50, 50), (60, 60), (70, 70)),), MSG_NOT_ENCLOSED),
    ("hole inside another hole with no island between",
     (square(50, 40, 90, 80), reversed_ring(square(55, 45, 85, 75)),
      reversed_ring(square(60, 50, 70, 60))), MSG_NOT_ENCLOSED),
)

COMB = ((0, 60), (0, 80), (4, 80), (4, 66), (8, 66), (8, 80), (12, 80), (12, 66), (16, 66),
        (16, 80), (20, 80), (20, 60))

VALIDATE_T1 = (
    ("square with two holes",
     (square(0, 0, 30, 30), reversed_ring(square(4, 4, 12, 26)),
      reversed_ring(((16, 4), (17, 20), (26, 26), (25, 6)))), None),
    ("exterior, hole, island in the hole, hole in the island",
     (square(40, 0, 80, 40), reversed_ring(square(45, 5, 75, 35)), square(50, 10, 70, 30),
      reversed_ring(square(55, 15, 65, 25))), None),
    ("three separate exterior rings, one with a hole",
     (square(90, 0, 100, 10), square(90, 20, 100, 30), ((105, 0), (104, 30), (125, 28),
                                                        (120, 2)),
      reversed_ring(((108, 6), (108, 24), (117, 22), (116, 8)))), None),
    ("left of three polygons sharing edges", (((30, 60), (30, 80), (40, 80), (40, 70),
                                               (40, 60)),), None),
    ("right of three polygons sharing edges", (((40, 70), (40, 80), (55, 80), (55, 70)),),
     None),
    ("bottom of three polygons sharing edges", (((40, 60), (40, 70), (55, 70), (55, 60)),),
     None),
    ("comb-shaped polygon (many reflex corners)", (COMB,), None),
)

VALIDATE_T2 = (
    ("hole touching its exterior ring at one node",
     (square(0, 0, 20, 20), reversed_ring(((10, 0), (5, 8), (15, 8)))), None),
    ("parts stored hole first, then the small, then the big exterior ring",
     (reversed_ring(square(35, 5, 45, 15)), square(55, 0, 60, 5), square(30, 0, 50, 20)),
     None),
    ("ring with a repeated node, removed by cleaning",
     (((0, 30), (0, 40), (10, 40), (10, 40), (10, 30)),), None),
    ("64-node ring with a 56-node hole",
     (circle(100, 20, 18, 64), reversed_ring(circle(100, 20, 9, 56, 0.1))), None),
    ("first of two polygons overlapping each other", (square(20, 30, 40, 50),), None),
    ("second of two polygons overlapping each other", (square(30, 40, 50, 60),), None),
    ("two exterior rings touching at one corner",
     (square(60, 30, 70, 40), square(70, 40, 80, 50)), None),
)


def validation_layer(rows):
    return [Record(tuple(tuple(r) for r in rings), note) for note, rings, _ in rows]


# --------------------------------------------------------------------------------------------
# Polygon operation rows: two one-record layers; expected intersection, union, difference
# --------------------------------------------------------------------------------------------

# file prefix -> (description, first record, second record)
POLYGON_ROWS = {
    "1": ("convex hexagon and a convex quadrilateral overlapping one corner region; proper "
          "crossings only",
          hand_record("A", [((2, 0), (0, 12), (6, 24), (20, 28), (30, 18), (26, 4))]),
          hand_record("B", [((26, 11), (15, 21), (25, 33), (37, 23))])),
    "2": ("U-shaped polygon and a slanted bar across both arms: the intersection has two "
          "parts, the union encloses a new hole, the difference has three parts",
          hand_record("A", [((0, 0), (0, 30), (10, 30), (10, 10), (20, 10), (20, 30), (30, 30),
                             (30, 0))]),
          hand_record("B", [((-5, 17), (-5, 23), (35, 25), (35, 19))])),
    "3": ("two parallelograms on one slanted strip: edges overlap collinearly and each has "
          "two vertices on the other's edges; all three results convex with collinear nodes",
          hand_record("A", [((0, 0), (0, 10), (16, 18), (16, 8))]),
          hand_record("B", [((8, 4), (8, 14), (28, 24), (28, 14))])),
    "4": ("squares with holes that overlap each other: each outer corner lies in the other's "
          "hole; the union has three holes, the intersection and the difference two parts",
          hand_record("A", [square(0, 0, 40, 40)], [square(8, 8, 32, 32)]),
          hand_record("B", [square(20, 20, 60, 60)], [square(28, 28, 52, 52)])),
    "5": ("two-part polygons: a band crosses a triangle and ends inside a square; the "
          "second's other part shares a whole edge with that square",
          hand_record("A", [((0, 0), (10, 24), (20, 0)), square(30, 0, 50, 20)]),
          hand_record("B", [((-5, 8), (-5, 14), (45, 17), (45, 11)), square(50, 0, 62, 20)])),
    "6": ("square with a hole and an island in the hole, crossed by a diagonal band",
          hand_record("A", [square(0, 0, 40, 40), square(14, 14, 26, 26)],
                      [square(8, 8, 32, 32)]),
          hand_record("B", [((-6, 2), (38, 46), (46, 38), (2, -6))])),
    "10": ("non-convex polygon with a hole inside an L-shaped polygon, touching its edge "
           "from inside with one vertex; the difference would be empty",
           hand_record("A", [((15, 0), (4, 8), (4, 34), (14, 34), (14, 16), (34, 16), (34, 6),
                              (24, 4))], [square(6, 18, 11, 30)]),
           hand_record("B", [((0, 0), (0, 40), (20, 40), (20, 20), (40, 20), (40, 0))])),
    "11": ("rectangle and a convex quadrilateral whose vertex lies on the rectangle's edge, "
           "where the boundary crosses it; the other crossing is proper",
           hand_record("A", [square(0, 0, 30, 20)]),
           hand_record("B", [((10, 20), (6, 28), (26, 26), (18, 12))])),
    "12": ("both rings start with the same four nodes; the first then turns inside the "
           "second, which has a hole; the difference would be empty",
           hand_record("A", [((0, 0), (0, 30), (10, 30), (15, 20), (14, 8), (9, 12),
                              (6, 3))]),
           hand_record("B", [((0, 0), (0, 30), (10, 30), (15, 20), (20, 30), (30, 30),
                              (30, 0))], [square(20, 5, 26, 14)])),
    "13": ("two-part polygon inside a polygon with a hole: one part lies along the outer "
           "edge, the other along the hole's edge (collinear overlaps); the difference would "
           "be empty",
           hand_record("A", [((5, 0), (6, 9), (12, 11), (16, 0)),
                             ((28, 11), (28, 17), (21, 18), (19, 12))]),
           hand_record("B", [((0, 0), (0, 40), (25, 40), (25, 30), (45, 30), (45, 0))],
                       [square(28, 8, 38, 20)])),
}

# file prefix -> expected convexity of intersection, union, difference (None: no file)
POLYGON_CONVEX = {
    "1": (True, False, False),
    "2": (False, False, False),
    "3": (True, True, True),
    "4": (False, False, False),
    "5": (False, False, False),
    "6": (False, False, False),
    "10": (False, False, None),
    "11": (True, False, False),
    "12": (False, False, None),
    "13": (False, False, None),
}

POLYGON_OPERATIONS = (("int", "intersection"), ("union", "union"),
                      ("substract", "difference"))


def polygon_operation(first, second, operation):
    a = geometry_from_rings(first.rings)
    b = geometry_from_rings(second.rings)
    return getattr(a, operation)(b)


# --------------------------------------------------------------------------------------------
# Set-union rows: one layer of overlapping polygons; expected: their union as one record
# --------------------------------------------------------------------------------------------


def _chain():
    quads = {
        "q1": ((0, 0), (0, 8), (10, 9), (9, 1)),
        "q2": ((7, 3), (6, 12), (17, 13), (16, 4)),
        "q3": ((14, 6), (15, 15), (24, 13), (23, 5)),
        "q4": ((21, 8), (20, 18), (31, 17), (30, 9)),
        "q5": ((28, 12), (29, 22), (38, 21), (37, 11)),
        "q6": ((35, 15), (34, 24), (44, 26), (43, 14)),
        "t7": ((12, 10.5), (20, 20.5), (22.5, 9.5)),
    }
    # Stored so that the first groups of three hold polygons that do not meet each other.
    order = ("q1", "q3", "q5", "q2", "q4", "q6", "t7")
    return [hand_record(name, [quads[name]]) for name in order]


def _nested():
    return [
        hand_record("n1 square with a hole", [square(0, 0, 40, 40)], [square(10, 10, 30, 30)]),
        hand_record("n2 island in n1's hole, inside n6", [square(15, 15, 25, 25)]),
        hand_record("n3 inside n5", [((2, 2), (3, 7), (7, 8), (8, 3))]),
        hand_record("n4 overlaps a corner of n1's hole", [((26, 26), (28, 36), (36, 34),
                                                           (34, 24))]),
        hand_record("n5 inside n1", [square(1, 1, 9, 9)]),
        hand_record("n6 in n1's hole around n2", [((13, 13), (13.5, 26), (25.5, 26.5),
                                                    (26.5, 13.5))]),
    ]


def _touching():
    # A frame of four polygons around a hole. Neighbours share whole edges with common
    # vertices; opposite sides do not meet, so no two polygons touch at a corner only and
    # the union needs no particular order of its operands.
    rng = random.Random(7)

    def jitter(x, y):
        return (round(x + (rng.random() - 0.5) * 2.4, 3), round(y + (rng.random() - 0.5) * 2.4, 3))

    lb, rb, lt, rt = jitter(10, 10), jitter(20, 10), jitter(10, 20), jitter(20, 20)
    bottom = ((0, 0), (0, 10), lb, rb, (30, 10), (30, 0))
    top = ((0, 20), (0, 30), (30, 30), (30, 20), rt, lt)
    left = ((0, 10), (0, 20), lt, lb)
    right = (rb, rt, (30, 20), (30, 10))
    return [
        hand_record("bottom", [bottom]),
        hand_record("left", [left]),
        hand_record("top", [top]),
        hand_record("right", [right]),
        hand_record("r1", [square(40, 0, 50, 10)]),
        hand_record("r2 shares part of r1's right edge", [((50, 3), (50, 7), (58, 8), (57, 2))]),
        hand_record("r3 shares r1's whole top edge", [square(40, 10, 50, 18)]),
    ]


def _groups():
    bars = {
        "bar bottom": ((0, 0), (1, 6), (31, 5), (30, -1)),
        "bar right": ((25, 2), (26, 30), (32, 31), (31, 1)),
        "bar top": ((2, 24), (1, 30), (30, 29), (30, 25)),
        "bar left": ((-1, 3), (0, 28), (6, 27), (5, 2)),
    }
    return [
        hand_record("bar bottom", [bars["bar bottom"]]),
        hand_record("triangle 1", [((50, 0), (55, 15), (62, 2))]),
        hand_record("isolated", [((45, 30), (47, 40), (58, 38), (56, 28))]),
        hand_record("bar top", [bars["bar top"]]),
        hand_record("island in the frame", [((12, 12), (13, 18), (19, 17), (17, 11))]),
        hand_record("triangle 2", [((52, 12), (63, 14), (60, 4))]),
        hand_record("bar right", [bars["bar right"]]),
        hand_record("bar left", [bars["bar left"]]),
    ]


SET_UNION_ROWS = {
    "PS1": ("chain of overlapping quadrilaterals and a triangle over three of them; the first "
            "groups of three hold polygons that do not meet", _chain),
    "PS2": ("nested polygons: a square with a hole, an island in the hole inside a larger "
            "island, a polygon over a corner of the hole, a polygon inside another inside the "
            "square", _nested),
    "PS3": ("polygons touching along shared edges: four polygons framing a hole (the union "
            "keeps it) and three rectangles sharing a whole and a partial edge", _touching),
    "PS4": ("separate groups: four bars overlapping at the corners of a frame (union has a "
            "hole) with an island in it, two overlapping triangles, an isolated polygon",
            _groups),
}


# --------------------------------------------------------------------------------------------
# Topology rows: two layers of non-overlapping polygons
# --------------------------------------------------------------------------------------------


def _t1_first():
    return [
        hand_record("a1 with a hole", [((0, 0), (0, 40), (30, 40), (30, 20), (30, 0))],
                    [square(6, 24, 14, 34)]),
        hand_record("a2", [((30, 0), (30, 20), (60, 20), (60, 0))]),
        hand_record("a3", [((30, 20), (30, 40), (60, 40), (60, 20))]),
    ]


def _t1_second():
    return [
        hand_record("b1 across a1 and a2", [((22, 4), (24, 14), (38, 16), (40, 6))]),
        hand_record("b2 inside a3", [((38, 26), (40, 34), (50, 35), (48, 25))]),
        hand_record("b3 inside the hole of a1", [((8, 26), (9, 32), (12, 31), (12, 27))]),
        hand_record("b4 touching a2 along its bottom edge", [square(35, -8, 50, 0)]),
        hand_record("b5 over the right side of a3", [((55, 24), (56, 36), (70, 35),
                                                       (68, 25))]),
        hand_record("b6 sharing an edge with b1", [((40, 6), (38, 16), (54, 14), (52, 4))]),
    ]


def _pinch_free(labels, nx, ny):
    """Relabel cells until no label meets itself only at a corner of the grid."""
    for _ in range(10000):
        changed = False
        for i in range(1, nx):
            for j in range(1, ny):
                bl, br = labels[i - 1, j - 1], labels[i, j - 1]
                tl, tr = labels[i - 1, j], labels[i, j]
                if bl == tr and br != bl and tl != bl:
                    labels[i, j] = tl
                    changed = True
                elif br == tl and bl != br and tr != br:
                    labels[i - 1, j] = tr
                    changed = True
        if not changed:
            return
    raise DataError("corner contacts could not be removed")


def make_coverage(prefix, nx, ny, size, amplitude, seed_count, seed, frame, islands, gaps,
                  detached):
    """Irregular polygons made of the cells of a jittered grid, labelled by the nearest of
    seed_count random seeds. Shared boundaries follow grid edges, so neighbours share their
    vertices. Optional extras: a frame polygon along the left and bottom border (its bounds
    cover the whole layer), island polygons filling holes of others, gaps (holes that no
    polygon fills) and detached second parts of a polygon inside another one.

    Returns the records and the gap cells' centres."""
    rng = random.Random(seed)
    vertices = {}
    for i in range(nx + 1):
        for j in range(ny + 1):
            dx = (rng.random() - 0.5) * 2 * amplitude * size
            dy = (rng.random() - 0.5) * 2 * amplitude * size
            vertices[i, j] = (round(i * size + (dx if 0 < i < nx else 0.0), 3),
                              round(j * size + (dy if 0 < j < ny else 0.0), 3))
    seeds = [(rng.random() * nx, rng.random() * ny) for _ in range(seed_count)]
    labels = {}
    for i in range(nx):
        for j in range(ny):
            distances = [((i + 0.5 - sx) ** 2 + (j + 0.5 - sy) ** 2, k)
                         for k, (sx, sy) in enumerate(seeds)]
            labels[i, j] = min(distances)[1]
    frame_label = seed_count
    if frame:
        for i in range(nx):
            for j in range(ny):
                if i == 0 or j == 0:
                    labels[i, j] = frame_label
    _pinch_free(labels, nx, ny)

    taken = set()
    notes = {}
    next_label = seed_count + 1

    def pick():
        """An inner cell away from earlier picks; its eight neighbours join its region, so
        that whatever the cell becomes is enclosed by that one region."""
        low = 2 if frame else 1
        cells = [(i, j) for i in range(low, nx - 1) for j in range(low, ny - 1)
                 if not any(abs(i - ti) <= 2 and abs(j - tj) <= 2 for ti, tj in taken)]
        if not cells:
            raise DataError("no room for an island, gap or detached part")
        i, j = cells[int(rng.random() * len(cells))]
        taken.add((i, j))
        for di in (-1, 0, 1):
            for dj in (-1, 0, 1):
                labels[i + di, j + dj] = labels[i, j]
        return i, j

    for _ in range(islands):
        cell = pick()
        notes[next_label] = "island in %s%d" % (prefix, labels[cell])
        labels[cell] = next_label
        next_label += 1
    gap_centres = []
    for _ in range(gaps):
        cell = pick()
        labels[cell] = -1
        i, j = cell
        corners = (vertices[i, j], vertices[i, j + 1], vertices[i + 1, j + 1], vertices[i + 1, j])
        gap_centres.append((sum(p[0] for p in corners) / 4, sum(p[1] for p in corners) / 4))
    for _ in range(detached):
        cell = pick()
        host = labels[cell]
        owners = sorted(set(labels.values()) - {host, -1, frame_label})
        owner = owners[int(rng.random() * len(owners))]
        notes[owner] = "second part inside %s%d" % (prefix, host)
        labels[cell] = owner
    _pinch_free(labels, nx, ny)

    records = []
    for label in sorted(set(labels.values()) - {-1}):
        cells = [Polygon((vertices[i, j], vertices[i, j + 1], vertices[i + 1, j + 1],
                          vertices[i + 1, j]))
                 for (i, j), value in sorted(labels.items()) if value == label]
        note = "%s%d" % (prefix, label)
        if label == frame_label and frame:
            note += " frame along the left and bottom border"
        elif label in notes:
            note += " " + notes[label]
        records.append(record_from_geometry(unary_union(cells), note))
    return records, gap_centres


class Mesh:
    """Conforming mesh of quadrilaterals and triangles on a jittered grid."""

    def __init__(self, prefix, nx, ny, size, origin, amplitude, seed, triangle_share,
                 gap_points):
        self.prefix = prefix
        self.size = size
        self.amplitude = amplitude
        self.origin = origin
        self.rng = random.Random(seed)
        self.vertices = {}
        for i in range(nx + 1):
            for j in range(ny + 1):
                self.vertices[i, j] = self._jittered(i, j)
        self.cells = []
        for i in range(nx):
            for j in range(ny):
                corners = ((i, j), (i, j + 1), (i + 1, j + 1), (i + 1, j))
                if self.rng.random() < triangle_share:
                    if self.rng.random() < 0.5:
                        parts = ((corners[0], corners[1], corners[2]),
                                 (corners[0], corners[2], corners[3]))
                    else:
                        parts = ((corners[0], corners[1], corners[3]),
                                 (corners[1], corners[2], corners[3]))
                    self.cells.append(("%s%d_%da" % (prefix, i, j), parts[0]))
                    self.cells.append(("%s%d_%db" % (prefix, i, j), parts[1]))
                else:
                    self.cells.append(("%s%d_%d" % (prefix, i, j), corners))
        # Leave out the cells that hold the given points (each point removes its cell).
        for point in gap_points:
            self.cells = [c for c in self.cells
                          if not Polygon([self.vertices[k] for k in c[1]]).contains(Point(point))]

    def remove_cells_overlapping(self, geometry):
        self.cells = [c for c in self.cells
                      if Polygon([self.vertices[k] for k in c[1]]).intersection(geometry).area == 0]

    def _jittered(self, i, j):
        dx = (self.rng.random() - 0.5) * 2 * self.amplitude * self.size
        dy = (self.rng.random() - 0.5) * 2 * self.amplitude * self.size
        return (round(self.origin[0] + i * self.size + dx, 3),
                round(self.origin[1] + j * self.size + dy, 3))

    def records(self):
        return [Record((normalised_ring(oriented([self.vertices[k] for k in corners], True)),),
                       note)
                for note, corners in self.cells]

    def keep_clear_of(self, other, margin):
        """Move mesh vertices until none lies within margin of an edge of other and no vertex
        of other lies within margin of a mesh edge."""
        other_grid = SegmentGrid([e for r in other for e in edges_of(r.rings)], 2.0, margin)
        other_points = [p for r in other for ring in r.rings for p in ring]
        for _ in range(100):
            used = set(k for _, corners in self.cells for k in corners)
            edges = set()
            for _, corners in self.cells:
                for a, b in zip(corners, corners[1:] + corners[:1]):
                    edges.add((min(a, b), max(a, b)))
            bad = set()
            for key in sorted(used):
                p = self.vertices[key]
                if any(point_segment_distance(p, a, b) < margin for a, b in other_grid.near(p)):
                    bad.add(key)
            mesh_grid = SegmentGrid([(self.vertices[a], self.vertices[b]) for a, b in edges],
                                    2.0, margin)
            endpoint_of = {}
            for a, b in edges:
                endpoint_of.setdefault((self.vertices[a], self.vertices[b]), a)
            for p in other_points:
                for a, b in mesh_grid.near(p):
                    if point_segment_distance(p, a, b) < margin:
                        bad.add(endpoint_of[a, b])
            if not bad:
                return
            for key in sorted(bad):
                self.vertices[key] = self._jittered(*key)
        raise DataError("mesh vertices could not be moved clear")


def make_attr_fem(prefix_a, prefix_b, coverage_args, mesh_args, clear_island=False):
    attr, gap_centres = make_coverage(prefix_a, **coverage_args)
    # The first gap of the mesh sits over the first gap of the coverage, so that the layer
    # union keeps a hole where neither layer has a polygon.
    extra_gaps = list(mesh_args.pop("extra_gaps"))
    mesh = Mesh(prefix_b, gap_points=gap_centres[:1] + extra_gaps, **mesh_args)
    if clear_island:
        # No mesh cell under the first island: it overlaps nothing, so the layer union keeps
        # it apart, inside a hole of the dissolved polygon around it.
        island = next(r for r in attr if "island" in r.note)
        mesh.remove_cells_overlapping(geometry_from_rings(island.rings))
    mesh.keep_clear_of(attr, GENERATED_MARGIN)
    return attr, mesh.records()


def _attr_fem():
    return make_attr_fem(
        "a", "f",
        dict(nx=16, ny=12, size=6.25, amplitude=0.22, seed_count=20, seed=1101, frame=True,
             islands=2, gaps=1, detached=1),
        dict(nx=18, ny=14, size=5.6, origin=(3.3, -4.1), amplitude=0.2, seed=2202,
             triangle_share=0.5, extra_gaps=((40.0, 30.0), (75.0, 55.0))))


def _attr_fem_small():
    # The mesh reaches past the coverage on the right: its last column only touches the
    # dissolved polygon of the layer union and stays apart.
    return make_attr_fem(
        "a", "f",
        dict(nx=8, ny=6, size=5.0, amplitude=0.22, seed_count=16, seed=3303, frame=False,
             islands=1, gaps=1, detached=0),
        dict(nx=10, ny=7, size=4.4, origin=(2.1, -1.7), amplitude=0.2, seed=4404,
             triangle_share=0.3, extra_gaps=((10.0, 20.0),)),
        clear_island=True)


# first file, second file, expected file of each operation
TOPOLOGY_ROWS = (
    ("attr", "fem", {"join": "attr_fem_join", "int": "attr_fem_int"}),
    ("t1_1", "t1_2", {"join": "t1_union", "int": "t1_int"}),
    ("attr_small", "fem_small", {"join": "attr_fem_small_join", "int": "attr_fem_small_int",
                                 "union": "attr_fem_small_union", "sub": "attr_fem_small_sub"}),
)


def _bounds_meet(a, b):
    return not (a[2] < b[0] or a[0] > b[2] or a[3] < b[1] or a[1] > b[3])


class Arrangement:
    """The faces of all polygons' boundaries noded together, each with the polygons covering
    it. Results are unions of faces: every crossing is computed once, so results that share
    a crossing share its coordinates, and no overlay of overlays leaves sliver rings."""

    def __init__(self, geometries):
        lines = unary_union([g.boundary for g in geometries])
        self.faces = []
        for face in polygonize(lines):
            point = face.representative_point()
            covering = frozenset(k for k, g in enumerate(geometries)
                                 if _bounds_meet(g.bounds, point.bounds) and g.contains(point))
            self.faces.append((face, covering))

    def region(self, accept):
        """Union of the faces whose covering set passes accept."""
        return unary_union([face for face, covering in self.faces if accept(covering)])


def topology_expectations(first, second):
    """Expected records of the layer operations, each with the source records it came from.

    int: one record per pair with a common area; join: those plus, for every polygon of
    either layer, its part outside the other layer; union: the union of each group of
    polygons linked by overlaps (polygons that only touch stay apart); sub: the parts of the
    first layer's polygons outside the second layer."""
    sources = [("A", r) for r in first] + [("B", r) for r in second]
    geometries = [geometry_from_rings(r.rings) for _, r in sources]
    count_a = len(first)
    arrangement = Arrangement(geometries)
    # Polygons of one layer do not overlap, so a face lies in at most one polygon per layer.
    faces_by_pair = {}
    for face, covering in arrangement.faces:
        a = [k for k in covering if k < count_a]
        b = [k for k in covering if k >= count_a]
        if len(a) > 1 or len(b) > 1:
            raise DataError("polygons of one layer overlap")
        if a or b:
            key = (a[0] if a else None, b[0] if b else None)
            faces_by_pair.setdefault(key, []).append(face)

    def short(k):
        return sources[k][1].note.split()[0]

    def near(k, layer_range):
        return [m for m in layer_range if _bounds_meet(geometries[k].bounds, geometries[m].bounds)]

    common, outside_first, outside_second = [], [], []
    for (a, b), faces in sorted(faces_by_pair.items(), key=lambda item: (
            item[0][0] if item[0][0] is not None else -1,
            item[0][1] if item[0][1] is not None else -1)):
        geometry = unary_union(faces)
        if a is not None and b is not None:
            common.append((record_from_geometry(geometry, "%s * %s" % (short(a), short(b))),
                           [sources[a], sources[b]]))
        elif a is not None:
            others = near(a, range(count_a, len(sources)))
            outside_first.append((record_from_geometry(geometry, "%s outside the second layer"
                                                       % short(a)),
                                  [sources[a]] + [sources[m] for m in others]))
        else:
            others = near(b, range(count_a))
            outside_second.append((record_from_geometry(geometry, "%s outside the first layer"
                                                        % short(b)),
                                   [sources[b]] + [sources[m] for m in others]))

    parent = list(range(len(sources)))

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x

    for a, b in faces_by_pair:
        if a is not None and b is not None:
            parent[find(a)] = find(b)
    groups = {}
    for k in range(len(sources)):
        groups.setdefault(find(k), []).append(k)
    union = []
    for members in groups.values():
        member_set = frozenset(members)
        geometry = arrangement.region(lambda covering: bool(covering & member_set))
        names = [short(k) for k in members]
        note = " + ".join(names) if len(names) <= 6 else "%s + ... (%d polygons)" % (
            " + ".join(names[:3]), len(names))
        union.append((record_from_geometry(geometry, note), [sources[k] for k in members]))
    union.sort(key=lambda item: item[0].rings[0][0])
    return {"int": common, "join": common + outside_first + outside_second, "union": union,
            "sub": outside_first}


# --------------------------------------------------------------------------------------------
# Sample layers for the desktop program
# --------------------------------------------------------------------------------------------


def _parcels():
    records, _ = make_coverage("p", nx=12, ny=9, size=50.0, amplitude=0.25, seed_count=34,
                               seed=5505, frame=False, islands=2, gaps=1, detached=1)
    return records


def _zones():
    """Ten overlapping smooth blobs over the parcels."""
    rng = random.Random(6606)
    records = []
    for k in range(10):
        cx = 90 + rng.random() * 420
        cy = 80 + rng.random() * 290
        radius = 55 + rng.random() * 70
        phases = (rng.random() * 2 * math.pi, rng.random() * 2 * math.pi)
        count = 24
        ring = []
        for m in range(count):
            angle = -2.0 * math.pi * m / count
            r = radius * (1 + 0.22 * math.sin(2 * angle + phases[0]) +
                          0.12 * math.sin(3 * angle + phases[1]))
            ring.append((round(cx + r * math.cos(angle), 3), round(cy + r * math.sin(angle), 3)))
        records.append(Record((normalised_ring(oriented(ring, True)),), "zone %d" % (k + 1)))
    return records


# --------------------------------------------------------------------------------------------
# Building, deriving and verifying the catalogue
# --------------------------------------------------------------------------------------------

VALIDATION_FILES = {"ValidateF1": VALIDATE_F1, "ValidateF2": VALIDATE_F2,
                    "ValidateT1": VALIDATE_T1, "ValidateT2": VALIDATE_T2}


def build_inputs():
    """Every input layer of the catalogue, by file name without extension."""
    layers = {name: validation_layer(rows) for name, rows in VALIDATION_FILES.items()}
    for prefix, (_, first, second) in POLYGON_ROWS.items():
        layers[prefix + "_1"] = [first]
        layers[prefix + "_2"] = [second]
    for name, (_, make) in SET_UNION_ROWS.items():
        layers[name] = make()
    layers["attr"], layers["fem"] = _attr_fem()
    layers["t1_1"], layers["t1_2"] = _t1_first(), _t1_second()
    layers["attr_small"], layers["fem_small"] = _attr_fem_small()
    return layers


def derive_expected(layers):
    """Expected layers computed from the inputs: name -> list of (record, sources)."""
    expected = {}
    for prefix in POLYGON_ROWS:
        first, second = layers[prefix + "_1"][0], layers[prefix + "_2"][0]
        convex = POLYGON_CONVEX[prefix]
        for (suffix, operation), is_convex in zip(POLYGON_OPERATIONS, convex):
            if is_convex is None:
                continue
            result = polygon_operation(first, second, operation)
            record = record_from_geometry(result, "%s of %s_1 and %s_2" % (operation, prefix,
                                                                            prefix))
            expected["%s_%s" % (prefix, suffix)] = [(record, [("A", first), ("B", second)])]
    for name in SET_UNION_ROWS:
        inputs = layers[name]
        arrangement = Arrangement([geometry_from_rings(r.rings) for r in inputs])
        union = arrangement.region(bool)
        sources = [(k, r) for k, r in enumerate(inputs)]
        expected[name + "_union"] = [(record_from_geometry(union, "union of %s" % name),
                                      sources)]
    for first, second, outputs in TOPOLOGY_ROWS:
        results = topology_expectations(layers[first], layers[second])
        for operation, name in outputs.items():
            expected[name] = results[operation]
    return expected


def verify_validation(layers):
    for name, rows in VALIDATION_FILES.items():
        layer = layers[name]
        if len(layer) != len(rows):
            raise DataError("%s: %d records instead of %d" % (name, len(layer), len(rows)))
        for record, (note, _, message) in zip(layer, rows):
            found = commit_failure([list(r) for r in record.rings])
            if found != message:
                raise DataError("%s (%s): commit would report %r, expected %r" %
                                (name, note, found, message))
            if message is None and not geometry_from_rings(record.rings).is_valid:
                raise DataError("%s (%s): GEOS finds the polygon invalid" % (name, note))
        expect_invalid = name.startswith("ValidateF")
        if any((message is not None) != expect_invalid for _, _, message in rows):
            raise DataError("%s: every record must be %s" %
                            (name, "invalid" if expect_invalid else "valid"))


def verify_polygon_rows(layers, expected):
    for prefix in POLYGON_ROWS:
        first, second = layers[prefix + "_1"], layers[prefix + "_2"]
        for name, layer in ((prefix + "_1", first), (prefix + "_2", second)):
            if len(layer) != 1:
                raise DataError("%s: one record expected" % name)
            check_record_shape(name, layer[0])
        check_separation(prefix, first, second, HAND_MARGIN)
        for (suffix, operation), is_convex in zip(POLYGON_OPERATIONS, POLYGON_CONVEX[prefix]):
            name = "%s_%s" % (prefix, suffix)
            if is_convex is None:
                rest = polygon_operation(first[0], second[0], operation)
                if rest.area != 0:
                    raise DataError("%s: the difference of a row without its file is not empty"
                                    % prefix)
                continue
            (record, sources), = expected[name]
            check_record_shape(name, record)
            check_exact_overlay(name, record, sources)
            if record_is_convex(record.rings) != is_convex:
                raise DataError("%s: convexity is %s, the catalogue says %s" %
                                (name, not is_convex, is_convex))
            if is_convex:
                # A convex result must not depend on rounding: its turns are zero or clear.
                ring = record.rings[0]
                for i in range(len(ring)):
                    value = turn_value(ring[i - 1], ring[i], ring[(i + 1) % len(ring)])
                    if value != 0 and abs(value) < 1e-6:
                        raise DataError("%s: nearly collinear nodes" % name)


def check_no_corner_contacts(name, layer):
    """Any two polygons overlap, share a stretch of boundary or stay apart: the library unites
    them in groups whose make-up depends on its enumeration order, and no group may meet at
    an isolated point."""
    geometries = [geometry_from_rings(r.rings) for r in layer]
    for i in range(len(geometries)):
        for j in range(i + 1, len(geometries)):
            common = geometries[i].intersection(geometries[j])
            if common.is_empty or common.area > 0:
                continue
            pieces = getattr(common, "geoms", [common])
            if any(piece.length == 0 for piece in pieces):
                raise DataError("%s: %s and %s touch at a point only" %
                                (name, layer[i].note, layer[j].note))


def verify_set_unions(layers, expected):
    for name in SET_UNION_ROWS:
        inputs = layers[name]
        for k, record in enumerate(inputs):
            check_record_shape(name, record)
            check_separation(name, [record], inputs[:k] + inputs[k + 1:], HAND_MARGIN)
        check_no_corner_contacts(name, inputs)
        (record, sources), = expected[name + "_union"]
        check_record_shape(name + "_union", record)
        check_exact_overlay(name + "_union", record, sources)


def verify_topology_rows(layers, expected):
    for first, second, outputs in TOPOLOGY_ROWS:
        for name in (first, second):
            for record in layers[name]:
                check_record_shape(name, record)
            check_layer_is_coverage(name, layers[name])
        margin = HAND_MARGIN if first == "t1_1" else GENERATED_MARGIN
        check_separation(first + "/" + second, layers[first], layers[second], margin)
        for name in outputs.values():
            if not expected[name]:
                raise DataError("%s: no expected polygon" % name)
            for record, sources in expected[name]:
                check_record_shape(name, record)
                check_exact_overlay(name, record, sources)


def verify_samples(samples):
    for name, layer in samples.items():
        for record in layer:
            check_record_shape(name, record)
    check_layer_is_coverage("parcels", samples["parcels"])


def verify(layers, samples):
    """Re-derive every expected layer from the inputs and check all properties; returns the
    expected layers as plain records."""
    expected = derive_expected(layers)
    verify_validation(layers)
    verify_polygon_rows(layers, expected)
    verify_set_unions(layers, expected)
    verify_topology_rows(layers, expected)
    verify_samples(samples)
    return {name: [record for record, _ in items] for name, items in expected.items()}


def build_samples():
    return {"parcels": _parcels(), "zones": _zones()}


_OWNERS = ("Andersen", "Baker", "Costa", "Dubois", "Evans", "Fischer", "Garcia", "Hansen",
           "Ivanova", "Jensen", "Kowalski", "Larsen", "Moreau", "Nielsen", "Olsen", "Peters")
_ZONE_CODES = (("R1", "Residential, low density"), ("R2", "Residential, medium density"),
               ("C1", "Commercial"), ("I1", "Industrial"), ("P1", "Parks and open space"),
               ("R3", "Residential, high density"), ("M1", "Mixed use"),
               ("A1", "Agriculture"), ("W1", "Water protection"), ("T1", "Transport"))


def sample_columns(name, count):
    """The attribute columns of a sample layer: a parcel's owner and lot number, a zone's code
    and name."""
    if name == "parcels":
        return (("OWNER", "C", 24, 0, [_OWNERS[(7 * i) % len(_OWNERS)] for i in range(count)]),
                ("LOT", "N", 6, 0, [1001 + 3 * i for i in range(count)]))
    if name == "zones":
        return (("CODE", "C", 4, 0, [_ZONE_CODES[i][0] for i in range(count)]),
                ("NAME", "C", 40, 0, [_ZONE_CODES[i][1] for i in range(count)]))
    return ()


def columns_of(folder, name, records):
    return sample_columns(name, len(records)) if folder == SAMPLES_DIR else ()


def all_files():
    """Every file to write: (folder, name without extension) -> records."""
    layers = build_inputs()
    samples = build_samples()
    expected = verify(layers, samples)
    files = {}
    for name, records in list(layers.items()) + list(expected.items()):
        files[REGRESSION_DIR, name] = records
    for name, records in samples.items():
        files[SAMPLES_DIR, name] = records
    return files


def write_all(files):
    os.makedirs(SAMPLES_DIR, exist_ok=True)
    for (folder, name), records in sorted(files.items()):
        for extension, data in zip((".shp", ".shx", ".dbf"),
                                   shapefile_bytes(records, columns_of(folder, name, records))):
            with open(os.path.join(folder, name + extension), "wb") as stream:
                stream.write(data)
    print("wrote %d layers" % len(files))


def check_all(files):
    """Compare the committed files with a fresh build, then verify what pyshp reads."""
    problems = []
    for (folder, name), records in sorted(files.items()):
        for extension, data in zip((".shp", ".shx", ".dbf"),
                                   shapefile_bytes(records, columns_of(folder, name, records))):
            path = os.path.join(folder, name + extension)
            if not os.path.exists(path):
                problems.append("missing: %s" % path)
            else:
                with open(path, "rb") as stream:
                    if stream.read() != data:
                        problems.append("differs from a fresh build: %s" % path)
    for folder in (REGRESSION_DIR, SAMPLES_DIR):
        for entry in sorted(os.listdir(folder)):
            base, extension = os.path.splitext(entry)
            if extension in (".shp", ".shx", ".dbf") and (folder, base) not in files:
                problems.append("not made by this script: %s" % os.path.join(folder, entry))
    if problems:
        raise DataError("\n".join(problems))
    read = {key: read_layer(os.path.join(key[0], key[1] + ".shp")) for key in files}
    for key, records in files.items():
        if [r.rings for r in read[key]] != [r.rings for r in records]:
            raise DataError("pyshp reads other coordinates from %s" % key[1])
    layers = {name: records for (folder, name), records in read.items()
              if folder == REGRESSION_DIR}
    samples = {name: records for (folder, name), records in read.items()
               if folder == SAMPLES_DIR}
    expected = verify(layers, samples)
    for name, records in expected.items():
        if [r.rings for r in records] != [r.rings for r in layers[name]]:
            raise DataError("%s does not match the result re-derived from its inputs" % name)
    print("checked %d layers: all files agree with a fresh build and with GEOS" % len(files))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true",
                        help="verify the committed files instead of writing them")
    arguments = parser.parse_args()
    try:
        files = all_files()
        if arguments.check:
            check_all(files)
        else:
            write_all(files)
    except DataError as error:
        print("error: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
