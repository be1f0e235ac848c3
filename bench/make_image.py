#!/usr/bin/env python3
# Writes the benchmarks' image to the PNG file named by the argument:
# a smooth, colourful 4000 x 3000 RGB picture: gradients plus a ripple, so
# both encoders see realistic, compressible but not trivial content.
import math, struct, sys, zlib
w, h = 4000, 3000
red = bytes(x * 255 // (w - 1) for x in range(w))
ripple = bytes(int(127.5 + 127.5 * math.sin(x / 37.0)) for x in range(2 * w))
rows = []
for y in range(h):
    row = bytearray(3 * w)
    row[0::3] = red
    row[1::3] = bytes([y * 255 // (h - 1)]) * w
    start = (y * 7) % w
    row[2::3] = ripple[start:start + w]
    rows.append(b"\0" + bytes(row))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
with open(sys.argv[1], "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n")
    f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)))
    f.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 6)))
    f.write(chunk(b"IEND", b""))
