#!/usr/bin/env bash
# Makes the pictures under docs/ from samples/nightfall.png with the
# command-line host: before and after for RGB, grayscale and CMYK images, and
# the plug-in's dialog as it looks with the effect previewed; and with the
# GEGL operation (build it first): two stars from one gegl graph.
#
#   samples/make_pictures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
glimmora="$root/tools/glimmora"
sample="$root/samples/nightfall.png"
docs="$root/docs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$docs"

effect=(--centre 236,62 --spokes 12 --angle 15 --radius 20 --length 60 --thickness 25 --intensity 80)
"$glimmora" copy "$sample" "$work/rgb-before.png"
"$glimmora" apply "$sample" "$work/rgb-after.png" "${effect[@]}" --quiet
"$glimmora" copy "$sample" "$work/gray-before.png" --mode gray
"$glimmora" apply "$sample" "$work/gray-after.png" "${effect[@]}" --mode gray --quiet
"$glimmora" apply "$sample" "$work/cmyk-after.png" "${effect[@]}" --mode cmyk --quiet
# The dialog, scripted: the same values typed in, Preview pressed, a picture
# of the window taken, then OK.
"$glimmora" apply "$sample" "$work/dialog-result.png" --centre 236,62 --quiet \
    --dialog-test "spokes=12,angle=15,radius=20,length=60,thickness=25,intensity=80,preview,wait=500,shot=$work/dialog.png,ok"

# The GEGL operation (build/gegl/glimmora-spokes.so): two stars in one graph.
GEGL_PATH="$root/build/gegl:$(pkg-config --variable=pluginsdir gegl-0.4)" XDG_CACHE_HOME="$work/cache" \
    gegl "$sample" -- \
    glimmora:spokes center-x=236 center-y=62 spokes=12 angle=15 radius=20 length=60 thickness=25 intensity=80 \
    glimmora:spokes center-x=70 center-y=175 spokes=5 angle=40 radius=5 length=30 thickness=40 intensity=100 \
    gegl:png-save path="$work/gegl-after.png" bitdepth=8

python3 - "$work" "$docs" <<'PYEOF'
# Side-by-side pictures, 8-bit PNGs only; pure Python.
import os, struct, sys, zlib
work, docs = sys.argv[1], sys.argv[2]

def read(path):
    data = open(path, "rb").read(); at = 8; idat = b""
    while at < len(data):
        n = struct.unpack(">I", data[at:at + 4])[0]; kind = data[at + 4:at + 8]; body = data[at + 8:at + 8 + n]; at += 12 + n
        if kind == b"IHDR": w, h, _, colour = struct.unpack(">IIBB", body[:10])
        if kind == b"IDAT": idat += body
    ch = {0: 1, 2: 3, 4: 2, 6: 4}[colour]; raw = zlib.decompress(idat); stride = w * ch; rows = []; prev = bytearray(stride); i = 0
    for _ in range(h):
        f = raw[i]; line = bytearray(raw[i + 1:i + 1 + stride]); i += 1 + stride
        for x in range(stride):
            a = line[x - ch] if x >= ch else 0; b = prev[x]; c = prev[x - ch] if x >= ch else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rgb = bytearray()
        for x in range(w):
            px = line[x * ch:(x + 1) * ch]
            rgb += bytes([px[0]] * 3) if ch <= 2 else bytes(px[:3])
        rows.append(rgb); prev = line
    return w, h, rows

def write(path, w, h, rows):
    def chunk(k, d): return struct.pack(">I", len(d)) + k + d + struct.pack(">I", zlib.crc32(k + d) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    open(path, "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
                           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

def side_by_side(names, out, gap=8):
    pictures = [read(os.path.join(work, n)) for n in names]
    h = max(p[1] for p in pictures); w = sum(p[0] for p in pictures) + gap * (len(pictures) - 1)
    rows = []
    for y in range(h):
        row = bytearray()
        for k, (pw, ph, prow) in enumerate(pictures):
            if k: row += b"\xff" * (3 * gap)
            row += prow[y] if y < ph else b"\xff" * (3 * pw)
        rows.append(row)
    write(os.path.join(docs, out), w, h, rows)

side_by_side(["rgb-before.png", "rgb-after.png"], "glimmora-rgb.png")
side_by_side(["gray-before.png", "gray-after.png"], "glimmora-gray.png")
side_by_side(["rgb-before.png", "cmyk-after.png"], "glimmora-cmyk.png")
side_by_side(["rgb-before.png", "gegl-after.png"], "glimmora-gegl.png")
w, h, rows = read(os.path.join(work, "dialog.png")); write(os.path.join(docs, "glimmora-dialog.png"), w, h, rows)
PYEOF
ls -la "$docs"/glimmora-*.png
