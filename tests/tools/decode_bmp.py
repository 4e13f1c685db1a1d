#!/usr/bin/env python3
"""Prints the rows of a 24-bit BMP, top row first, as one hex line each,
whichever way up the file stores them: two files show the same picture when
their outputs are equal."""
import struct
import sys

data = open(sys.argv[1], "rb").read()
assert data[:2] == b"BM", "not a BMP file"
offset = struct.unpack_from("<I", data, 10)[0]
width, height = struct.unpack_from("<ii", data, 18)
bits = struct.unpack_from("<H", data, 28)[0]
assert bits == 24, "not 24 bits per pixel"
stride = (width * 3 + 3) // 4 * 4
rows = [data[offset + r * stride: offset + r * stride + width * 3] for r in range(abs(height))]
assert all(len(row) == width * 3 for row in rows), "rows missing"
if height > 0:
    rows.reverse()  # stored bottom-up
print(width, abs(height))
for row in rows:
    print(row.hex())
