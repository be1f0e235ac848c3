#!/usr/bin/env bash
# The main job in one command: builds what is missing (first run only), then
# runs the Glimmora plug-in on the sample picture samples/nightfall.png, a
# star of spectrum spokes around the moon, and writes a PNG.
#
#   tools/demo.sh [OUT.png]     (default build/demo/nightfall-glimmora.png)
#
# Needs nothing but this repository (tools/setup.sh installs the Debian
# packages when they are missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/demo/nightfall-glimmora.png}
mkdir -p "$(dirname "$out")"
"$root/tools/glimmora" apply "$root/samples/nightfall.png" "$out" \
    --centre 236,62 --spokes 12 --angle 15 --radius 20 --length 60 --thickness 25 --intensity 80
echo "wrote $out"
