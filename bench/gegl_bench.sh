#!/usr/bin/env bash
# GEGL benchmark: the operation glimmora:spokes against GEGL's own supernova,
# both run by the gegl tool on the same 4000 x 3000 RGB image.
#
#   bench/gegl_bench.sh [RUNS]        (default 7 rounds)
#
# Commands, for one thread (GEGL_THREADS=1) and GEGL's default thread count:
#   glimmora    gegl IN -o OUT -- glimmora:spokes      (default properties)
#   supernova   gegl IN -o OUT -- gegl:supernova       (default properties)
#   floor       gegl IN -o OUT                         (load and save only)
#   floor_rgba  the same with an opaque alpha channel added before saving
# The eight commands take turns round after round.  Each effect cost is its
# total minus the floor of the same thread count in the same round, the
# median over the rounds, in wall-clock time and in processor time (user +
# system, which a busy machine disturbs less).  Printed: the costs, what the
# alpha channel alone costs (both effects write RGBA, the floor writes RGB),
# and the ratio supernova / glimmora:spokes for each thread count.
#
# Exit code 0, or 2 when the benchmark cannot run (module not built, gegl
# missing, or an effect left the image unchanged).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
build=${GLIMMORA_BUILD_DIR:-$root/build}
work=${GLIMMORA_BENCH_DIR:-$build/bench-gegl}
mkdir -p "$work"
work=$(cd "$work" && pwd)

"$root/bench/setup-bench.sh"
command -v gegl >/dev/null || { echo "bench: gegl is not installed" >&2; exit 2; }
module="$build/gegl/glimmora-spokes.so"
[ -f "$module" ] || { echo "bench: $module is missing; build first (tools/build.sh)" >&2; exit 2; }
system_ops=$(pkg-config --variable=pluginsdir gegl-0.4)
export GEGL_PATH="$build/gegl:$system_ops"
# GEGL's swap stays inside the work folder.
export XDG_CACHE_HOME="$work/cache"

# --- the image: the one bench/host_bench.sh uses -----------------------------------
image="$work/in-4000x3000.png"
[ -f "$image" ] || python3 "$root/bench/make_image.py" "$image"

# --- timing ---------------------------------------------------------------------------
# For each thread count (_1: GEGL_THREADS=1, _n: GEGL's default):
#   glimmora, supernova  the two effects
#   floor                load and save, the baseline
#   floor_rgba           load, add an opaque alpha channel, save: both effects
#                        write RGBA, so this shows what the alpha alone costs
names=(glimmora_1 supernova_1 floor_1 floor_rgba_1 glimmora_n supernova_n floor_n floor_rgba_n)
run_named() {
    local threads=(env)
    case "$1" in *_1) threads=(env GEGL_THREADS=1) ;; esac
    case "$1" in
    glimmora_*) "${threads[@]}" gegl "$image" -o "$work/$1.png" -- glimmora:spokes ;;
    supernova_*) "${threads[@]}" gegl "$image" -o "$work/$1.png" -- gegl:supernova ;;
    floor_rgba_*) "${threads[@]}" gegl "$image" -o "$work/$1.png" -- gegl:convert-format "format=R'G'B'A u8" ;;
    floor_*) "${threads[@]}" gegl "$image" -o "$work/$1.png" ;;
    esac
}
# Prints "NAME WALL CPU": seconds of wall-clock time, and of processor time
# (user + system) of the command and its children.
timed() {
    local TIMEFORMAT='%R %U %S' t status=0
    t=$( { time run_named "$1" >"$work/last.out" 2>&1; } 2>&1 ) || status=$?
    if [ "$status" -ne 0 ]; then echo "bench: $1 failed:" >&2; cat "$work/last.out" >&2; exit 2; fi
    # GEGL reports a missing operation as a warning and carries on.
    if grep -qi "warning" "$work/last.out"; then echo "bench: $1:" >&2; cat "$work/last.out" >&2; exit 2; fi
    awk -v n="$1" -v t="$t" 'BEGIN { split(t, v, " "); printf "%s %.3f %.3f\n", n, v[1], v[2] + v[3] }'
}

samples="$work/samples.txt"
: >"$samples"
echo "image: $image (4000 x 3000 RGB), $runs rounds" >&2
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start" >&2
for name in "${names[@]}"; do timed "$name" >/dev/null; done  # one untimed round
for _ in $(seq "$runs"); do
    for name in "${names[@]}"; do timed "$name" >>"$samples"; done
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end" >&2

# Both effects must really have run: their pixels differ from the floor's
# (gegl-imgcmp compares pixels whatever the files' channels; 0 means equal).
for name in glimmora_1 supernova_1; do
    if gegl-imgcmp "$work/$name.png" "$work/floor_1.png" >/dev/null 2>&1; then
        echo "bench: $name left the image unchanged (GPL3 operations not enabled, or the module not loaded?)" >&2
        exit 2
    fi
done
if ! cmp -s "$work/glimmora_1.png" "$work/glimmora_n.png"; then
    echo "bench: glimmora:spokes gave different files for one and several threads" >&2
    exit 2
fi

awk -v rounds="$runs" '
    function median(a, n,    i, j, t) {
        for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
        return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    { seen[$1]++; wall[$1, seen[$1]] = $2; cpu[$1, seen[$1]] = $3 }
    END {
        n = split("glimmora_1 supernova_1 floor_1 floor_rgba_1 glimmora_n supernova_n floor_n floor_rgba_n", order, " ")
        printf "%-14s %12s %12s\n", "", "wall s", "cpu s"
        for (i = 1; i <= n; i++) {
            for (r = 1; r <= rounds; r++) { w[r] = wall[order[i], r]; c[r] = cpu[order[i], r] }
            printf "%-14s %12.3f %12.3f\n", order[i], median(w, rounds), median(c, rounds)
        }
        printf "(medians of %d rounds)\n", rounds
        printf "\neffect cost = total - floor of the same round, median over the rounds:\n"
        printf "%-17s %-6s %16s %16s %14s %10s\n", "", "", "glimmora:spokes", "gegl:supernova", "alpha alone", "ratio"
        split("1 n", kinds, " ")
        for (k = 1; k <= 2; k++) {
            s = kinds[k]
            label = (s == "1") ? "one thread" : "default threads"
            for (m = 1; m <= 2; m++) {
                for (r = 1; r <= rounds; r++) {
                    if (m == 1) { g[r] = wall["glimmora_" s, r] - wall["floor_" s, r]; p[r] = wall["supernova_" s, r] - wall["floor_" s, r]; a[r] = wall["floor_rgba_" s, r] - wall["floor_" s, r] }
                    else { g[r] = cpu["glimmora_" s, r] - cpu["floor_" s, r]; p[r] = cpu["supernova_" s, r] - cpu["floor_" s, r]; a[r] = cpu["floor_rgba_" s, r] - cpu["floor_" s, r] }
                }
                gc = median(g, rounds); pc = median(p, rounds); ac = median(a, rounds)
                # Below 10 ms the difference is within the noise of runs of seconds.
                gd = (gc < 0.010) ? 0.010 : gc
                printf "%-17s %-6s %14.3f s %14.3f s %12.3f s %10.1f\n", label, (m == 1) ? "wall" : "cpu", gc, pc, ac, pc / gd
            }
        }
        printf "\nratio: supernova cost / glimmora:spokes cost (a cost under 10 ms counts as 10 ms)\n"
    }' "$samples"
