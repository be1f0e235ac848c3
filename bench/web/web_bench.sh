#!/usr/bin/env bash
# The engine as WebAssembly against the native engine, and the page's frames
# in Chromium (see bench/README.md).  Needs a build (tools/build.sh); builds
# the benchmark programs themselves.
#   bench/web/web_bench.sh [ROUNDS]
# The native program and both WebAssembly builds run ROUNDS times (3 unless
# given), one after another in each round, and each entry keeps its fastest
# time: a burst of load elsewhere falls on one round, not on one build.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build
rounds=${1:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -d "$build/web-build" ] || { echo "web_bench: no web build in $build; run tools/build.sh first" >&2; exit 2; }
cmake --build "$build" --target web_bench_native >/dev/null
cmake --build "$build/web-build" --target web_bench_simd web_bench_plain >/dev/null
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  "$build/web_bench_native" >>"$work/native"
  node --no-experimental-fetch "$build/web-build/web_bench_simd.js" >>"$work/simd"
  node --no-experimental-fetch "$build/web-build/web_bench_plain.js" >>"$work/plain"
done

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
def fastest(name):
    best = {}
    for line in open(f"{work}/{name}"):
        key, ms = line.split()
        best[key] = min(best.get(key, 1e30), float(ms))
    return best
native, simd, plain = fastest("native"), fastest("simd"), fastest("plain")
print(f"\n4000 x 3000, fastest of each; ratio: WebAssembly time / native time (target: at most 1.5 with SIMD)")
print(f"{'':30} {'native ms':>10} {'SIMD ms':>10} {'plain ms':>10} {'SIMD':>7} {'plain':>7}")
worst = 0
for key in native:
    r_simd, r_plain = simd[key] / native[key], plain[key] / native[key]
    worst = max(worst, r_simd)
    print(f"{key:30} {native[key]:10.2f} {simd[key]:10.2f} {plain[key]:10.2f} {r_simd:7.2f} {r_plain:7.2f}")
print(f"largest SIMD ratio: {worst:.2f}")
PY

echo
node "$root/bench/web/frames.mjs" "$build/web" "$(command -v chromium)" "$work"
