#!/usr/bin/env bash
# End-to-end benchmark: the command-line host running Glimmora on a
# 4000 x 3000 RGB image, against GEGL's supernova on the same image.
#
#   bench/host_bench.sh [RUNS]        (default 7 rounds)
#
# Times, each as min and median of RUNS rounds:
#   glimmora        tools/glimmora apply IN OUT, default parameters
#   glimmora floor  tools/glimmora copy IN OUT: the same host loading and
#                   saving the image with no filter (its hidden main window
#                   included, which a desktop host has before any filter)
#   gegl 1 thread   gegl IN -o OUT -- gegl:supernova (default properties), GEGL_THREADS=1
#   gegl threads    the same with GEGL's default thread count
#   gegl floor      gegl IN -o OUT: GEGL loading and saving with no operation
# The commands take turns round after round; each effect cost is its total
# minus the floor of the same round, the median over the rounds.
# Glimmora's cost must be at most 1/20 of GEGL's single-threaded cost.
# Last, one Glimmora run broken down by the host's own clock.
# Exit code 0 when it is, 1 when not, 2 when the benchmark cannot run.
#
# GEGL runs GPL3 operations such as supernova only when the application's
# licence allows them (the gegl tool declares GPL3); otherwise it would pass
# the pixels through unchanged.  The script checks that the peer's output
# differs from its floor output, which the same encoder wrote.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
work=${GLIMMORA_BENCH_DIR:-$root/build/bench-host}
mkdir -p "$work"
work=$(cd "$work" && pwd)

"$root/bench/setup-bench.sh"
# The same Wine as tools/glimmora and the tests: WINE64_LOADER (GLIMMORA_WINE)
# and WINE64_SERVER.
# shellcheck source=../tools/wine-prefix.sh
. "$root/tools/wine-prefix.sh"
command -v gegl >/dev/null || { echo "bench: gegl is not installed" >&2; exit 2; }

# --- the image ----------------------------------------------------------------
image="$work/in-4000x3000.png"
[ -f "$image" ] || python3 "$root/bench/make_image.py" "$image"

# --- one display and one Wine server for every run ------------------------------
# Both stay up between runs so that no run pays for starting them.
export GLIMMORA_WINEPREFIX=${GLIMMORA_WINEPREFIX:-$work/wine64}
xvfb_pid=""
cleanup() {
    WINEPREFIX="$GLIMMORA_WINEPREFIX" "$WINE64_SERVER" -k >/dev/null 2>&1 </dev/null || true
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    rm -f "$work/display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$work/xvfb.log" 2>&1 3>"$work/display" &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || { echo "bench: Xvfb did not start" >&2; exit 2; }
    export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
fi
glimmora="$root/tools/glimmora"
# The first run builds what is missing and sets up the prefix.
"$glimmora" copy "$image" "$work/warm.png" >/dev/null 2>"$work/warm.log" || { cat "$work/warm.log" >&2; exit 2; }
# Then a server that stays up between runs: without it each run that opens a
# window (the plug-in measures its dialog) would start Wine's desktop anew.
# The server the first run started (or one left from an earlier benchmark)
# must be gone before the persistent one can take its place.
WINEPREFIX="$GLIMMORA_WINEPREFIX" "$WINE64_SERVER" -k </dev/null >/dev/null 2>&1 || true
WINEPREFIX="$GLIMMORA_WINEPREFIX" timeout 20 "$WINE64_SERVER" -w </dev/null >/dev/null 2>&1 || true
WINEPREFIX="$GLIMMORA_WINEPREFIX" "$WINE64_SERVER" -p </dev/null >/dev/null 2>&1 || true
# Wine's desktop process ends a few seconds after the last program with a
# window, and starting it again costs the next such program about half a
# second: a program that keeps a window open for the whole benchmark keeps
# it up, as a desktop session would.
WINEPREFIX="$GLIMMORA_WINEPREFIX" WINEDEBUG=-all setsid "$WINE64_LOADER" notepad </dev/null >/dev/null 2>&1 &
sleep 2

# --- timing -------------------------------------------------------------------------
# The five commands take turns, round after round, so that a slow spell of
# the machine falls on all of them alike.
names=(glimmora glimmora_floor gegl_1_thread gegl_threads gegl_floor)
run_named() {
    case "$1" in
    glimmora) "$glimmora" apply "$image" "$work/glimmora.png" --quiet ;;
    glimmora_floor) "$glimmora" copy "$image" "$work/copy.png" ;;
    gegl_1_thread) GEGL_THREADS=1 gegl "$image" -o "$work/gegl-1.png" -- gegl:supernova ;;
    gegl_threads) gegl "$image" -o "$work/gegl-n.png" -- gegl:supernova ;;
    gegl_floor) gegl "$image" -o "$work/gegl-floor.png" ;;
    esac
}
timed() {
    local t0 t1
    t0=$(date +%s.%N)
    run_named "$1" >/dev/null 2>"$work/last.err" || { echo "bench: $1 failed:" >&2; cat "$work/last.err" >&2; exit 2; }
    t1=$(date +%s.%N)
    awk -v n="$1" -v a="$t0" -v b="$t1" 'BEGIN { printf "%s %.6f\n", n, b - a }'
}

samples="$work/samples.txt"
: >"$samples"
echo "image: $image (4000 x 3000 RGB), $runs rounds" >&2
for name in "${names[@]}"; do timed "$name" >/dev/null; done  # one untimed round
for _ in $(seq "$runs"); do
    for name in "${names[@]}"; do timed "$name" >>"$samples"; done
done
results="$work/results.txt"
for name in "${names[@]}"; do
    awk -v n="$name" '$1 == n { print $2 }' "$samples" | sort -g | awk -v name="$name" '
        { t[NR] = $1 }
        END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2;
              printf "%s %.3f %.3f\n", name, t[1], m }'
done >"$results"

# The peer must really have run its effect.
if cmp -s "$work/gegl-1.png" "$work/gegl-floor.png"; then
    echo "bench: gegl:supernova left the image unchanged (GPL3 operations not enabled?)" >&2
    exit 2
fi
if cmp -s "$work/glimmora.png" "$work/copy.png"; then
    echo "bench: Glimmora left the image unchanged" >&2
    exit 2
fi

# Effect costs from the rounds: in each round, total minus its floor from the
# same round, then the median over the rounds.
status=0
awk -v rounds="$runs" '
    function median(a, n,    i, j, t) {
        for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
        return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    FNR == NR { min[$1] = $2; med[$1] = $3; next }
    { seen[$1]++; t[$1, seen[$1]] = $2 }
    END {
        printf "%-16s %9s %9s\n", "", "min s", "median s"
        n = split("glimmora glimmora_floor gegl_1_thread gegl_threads gegl_floor", order, " ")
        for (i = 1; i <= n; i++) printf "%-16s %9.3f %9.3f\n", order[i], min[order[i]], med[order[i]]
        for (r = 1; r <= rounds; r++) {
            g[r] = t["glimmora", r] - t["glimmora_floor", r]
            p1[r] = t["gegl_1_thread", r] - t["gegl_floor", r]
            pn[r] = t["gegl_threads", r] - t["gegl_floor", r]
        }
        gc = median(g, rounds); p1c = median(p1, rounds); pnc = median(pn, rounds)
        printf "\neffect cost (total - floor of the same round, median of %d rounds):\n", rounds
        printf "  glimmora            %7.3f s\n", gc
        printf "  gegl 1 thread       %7.3f s\n", p1c
        printf "  gegl threads        %7.3f s\n", pnc
        # Differences below 10 ms are within the noise of a run of a second.
        floor_noise = 0.010
        if (gc < floor_noise) printf "  (glimmora within measurement noise: counted as %.3f s)\n", floor_noise
        gd = (gc < floor_noise) ? floor_noise : gc
        printf "\nratio gegl 1 thread / glimmora: %.1f (target >= 20)\n", p1c / gd
        printf "ratio gegl threads  / glimmora: %.1f\n", pnc / gd
        printf "ratio glimmora total / floor:   %.2f (medians)\n", med["glimmora"] / med["glimmora_floor"]
        exit (p1c / gd >= 20) ? 0 : 1
    }' "$results" "$samples" || status=$?

# Where a Glimmora run spends its time, from the host itself: plug-in
# loading ("load") and the whole filter run ("run") are the filter's part.
echo
echo "one Glimmora run, by phase (the host's own clock):"
GLIMMORA_HOST_TIMING=1 "$glimmora" apply "$image" "$work/glimmora.png" --quiet 2>&1 >/dev/null | sed 's/^glimmora: /  /'
exit $status
