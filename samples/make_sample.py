#!/usr/bin/env python3
"""Draws samples/nightfall.png, the picture the demo filters: a dusk sky over
dark hills, with a moon and a few stars.  Run once; the PNG is kept in the
repository.  Pure Python, no imaging library."""
import math
import os
import random
import struct
import zlib

W, H = 320, 240


def sky(y):
    # Deep blue at the top to a warm glow at the horizon.
    t = y / (H * 0.75)
    top, bottom = (12, 18, 60), (235, 140, 90)
    return [int(a + (b - a) * min(t, 1.0) ** 1.6) for a, b in zip(top, bottom)]


def hill_height(x):
    return H * 0.72 + 14 * math.sin(x / 37.0) + 9 * math.sin(x / 13.0 + 1.3)


def main():
    rng = random.Random(7)
    stars = {(rng.randrange(W), rng.randrange(int(H * 0.45))) for _ in range(70)}
    moon_x, moon_y, moon_r = 236, 62, 17
    rows = []
    for y in range(H):
        row = bytearray()
        base = sky(y)
        for x in range(W):
            r, g, b = base
            d = math.hypot(x - moon_x, y - moon_y)
            if d < moon_r:
                r, g, b = 246, 240, 214
            elif d < moon_r + 10:  # a soft halo
                k = 1 - (d - moon_r) / 10
                r, g, b = (int(c + (246 - c) * 0.35 * k) for c in (r, g, b))
            elif (x, y) in stars:
                r, g, b = 250, 250, 255
            if y > hill_height(x):
                shade = int(18 + 10 * math.sin(x / 9.0) * math.cos(y / 7.0))
                r, g, b = shade, shade + 12, shade + 8
            row += bytes((r, g, b))
        rows.append(b"\0" + bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "nightfall.png")
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(b"".join(rows), 9)))
        f.write(chunk(b"IEND", b""))
    print(path)


if __name__ == "__main__":
    main()
