"""Writes a .dbf beside a shapefile: ID (number), NAME (text of 30), AREA_HA (real), one row
per record of the .shx, so that reading attributes can be timed on the benchmark layers.

usage: /usr/bin/python3 add_dbf.py LAYER.shp"""

import os
import struct
import sys


def main():
    shp = sys.argv[1]
    base = os.path.splitext(shp)[0]
    records = (os.path.getsize(base + ".shx") - 100) // 8
    fields = (("ID", "N", 9, 0), ("NAME", "C", 30, 0), ("AREA_HA", "N", 19, 6))
    header_length = 32 + 32 * len(fields) + 1
    record_length = 1 + sum(f[2] for f in fields)
    with open(base + ".dbf", "wb") as out:
        out.write(struct.pack("<4BIHH20x", 3, 124, 1, 1, records, header_length, record_length))
        for name, kind, size, decimals in fields:
            out.write(struct.pack("<11sc4xBB14x", name.encode(), kind.encode(), size, decimals))
        out.write(b"\r")
        for i in range(records):
            out.write(b" " + str(i).rjust(9).encode() + ("cell %d" % i).ljust(30).encode() +
                      ("%.6f" % (i * 0.37)).rjust(19).encode())
        out.write(b"\x1a")
    with open(base + ".cpg", "w") as out:
        out.write("UTF-8")


if __name__ == "__main__":
    main()
