#!/usr/bin/python3
"""Writes the layers of other shapes that BENCHMARKS.md measures as H=<folder>.

These layers were not used while tuning the engine; they come from the public samples that
the installed geopandas ships (world countries, city boroughs) and from simple formulas:

  countries, mesh2deg          country parts against a 2-degree mesh (EPSG:4326)
  nybb, nymesh_10000           borough parts against a 100 x 100 mesh over their bounds
  nyrot_22500, nyrot_108900    square meshes over the boroughs turned by 17 and -8 degrees
  hdense_a, hdense_b           country outlines of over 4 square degrees densified to 12,000
                               vertices with a wavy offset, and the same turned and moved
  hsliv_a, hsliv_b             a 120 x 120 mesh and the same turned by 0.01 degree
  hwavy_a, hwavy_b             two bands whose edges are sine waves of 3,000 and 2,900 periods
  hstar_a_3000, hstar_b_3000   jittered stars of 3,000 spikes, the second moved and turned

Usage: /usr/bin/python3 bench/data/make_other_classes.py FOLDER
Then: arealis intersection FOLDER/nybb.shp FOLDER/nymesh_10000.shp -o FOLDER/nyparts.shp
The random parts are seeded, so the same files come out for the same geopandas and shapely.
"""
import math
import os
import sys

import numpy as np
import geopandas as gpd
from shapely.geometry import Polygon, box
from shapely import affinity

OUT = sys.argv[1]
rng = np.random.default_rng(20261209)

def save(geoms, name, crs=None):
    gdf = gpd.GeoDataFrame({"id": list(range(len(geoms)))}, geometry=list(geoms), crs=crs)
    gdf.to_file(os.path.join(OUT, name + ".shp"))
    print(name, len(geoms), sum(len(g.exterior.coords) + sum(len(i.coords) for i in g.interiors) for g in geoms))

def mesh(minx, miny, maxx, maxy, nx, ny):
    dx = (maxx - minx) / nx; dy = (maxy - miny) / ny
    return [box(minx + i * dx, miny + j * dy, minx + (i + 1) * dx, miny + (j + 1) * dy)
            for j in range(ny) for i in range(nx)]

def explode(gs):
    out = []
    for g in gs:
        out.extend(list(g.geoms) if g.geom_type == "MultiPolygon" else [g])
    return out

world = gpd.read_file(gpd.datasets.get_path("naturalearth_lowres"))
countries = explode(world.geometry)
save(countries, "countries", world.crs)
save(mesh(-180, -90, 180, 90, 180, 90), "mesh2deg", world.crs)

nybb = gpd.read_file(gpd.datasets.get_path("nybb"))
boroughs = explode(nybb.geometry)
save(boroughs, "nybb", nybb.crs)
minx, miny, maxx, maxy = nybb.total_bounds
save(mesh(minx, miny, maxx, maxy, 100, 100), "nymesh_10000", nybb.crs)
cx, cy = (minx + maxx) / 2, (miny + maxy) / 2
side = max(maxx - minx, maxy - miny)
for n, angle in ((150, 17), (330, -8)):
    cells = mesh(cx - side / 2, cy - side / 2, cx + side / 2, cy + side / 2, n, n)
    save([affinity.rotate(c, angle, origin=(cx, cy)) for c in cells], "nyrot_%d" % (n * n), nybb.crs)

# Densified country boundaries: parts over 4 square degrees, exterior only, about 12,000
# vertices each with a wavy and random offset across the boundary.
def densify(ring, count):
    pts = np.asarray(ring.coords)[:-1]
    closed = np.vstack([pts, pts[:1]])
    seg = np.hypot(*np.diff(closed, axis=0).T)
    cum = np.concatenate([[0], np.cumsum(seg)])
    s = np.linspace(0, cum[-1], count, endpoint=False)
    x = np.interp(s, cum, closed[:, 0]); y = np.interp(s, cum, closed[:, 1])
    tx = np.roll(x, -1) - np.roll(x, 1); ty = np.roll(y, -1) - np.roll(y, 1)
    norm = np.hypot(tx, ty); norm[norm == 0] = 1
    nx_, ny_ = -ty / norm, tx / norm
    k = np.arange(count)
    step = cum[-1] / count
    off = step * (0.25 * np.sin(2 * math.pi * k / 47) + rng.uniform(-0.1, 0.1, count))
    return list(zip(x + off * nx_, y + off * ny_))

dense = []
for g in countries:
    if g.area > 4:
        p = Polygon(densify(g.exterior, 12000))
        if not p.is_valid:
            fixed = p.buffer(0)
            if fixed.geom_type == "MultiPolygon":
                fixed = max(fixed.geoms, key=lambda q: q.area)
            p = Polygon(fixed.exterior)
        dense.append(p)
save(dense, "hdense_a", world.crs)
save([affinity.translate(affinity.rotate(p, 0.7, origin=(0, 0)), 0.61, -0.37) for p in dense], "hdense_b", world.crs)

# Slivers: a 120 x 120 mesh against the same turned by 0.01 degree and moved a little.
sq = mesh(0, 0, 120, 120, 120, 120)
save(sq, "hsliv_a")
save([affinity.translate(affinity.rotate(c, 0.01, origin=(60, 60)), 1e-4, -2e-4) for c in sq], "hsliv_b")

# Wavy bands.
def band(periods, y0):
    xs = np.arange(60001) / 60.0
    lower = [(x, y0 + 12 * math.sin(2 * math.pi * periods * x / 1000)) for x in xs]
    upper = [(x, y0 + 50 + 12 * math.sin(2 * math.pi * periods * x / 1000 + 1)) for x in xs[::-1]]
    return Polygon(lower + upper)
save([band(3000, 0)], "hwavy_a")
save([band(2900, 25)], "hwavy_b")

# Jittered stars.
def star(n, phase):
    pts = []
    for i in range(2 * n):
        r = (100 if i % 2 == 0 else 40) * (1 + rng.uniform(-0.15, 0.15))
        a = 2 * math.pi * (i + phase) / (2 * n)
        pts.append((r * math.cos(a), r * math.sin(a)))
    return Polygon(pts)
for n in (3000,):
    save([star(n, 0)], "hstar_a_%d" % n)
    save([affinity.translate(star(n, 0.37), 3.1, -2.7)], "hstar_b_%d" % n)
