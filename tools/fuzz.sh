#!/usr/bin/env bash
# Runs one fuzz harness (tests/fuzz/NAME.cpp) for SECONDS (default 600):
#
#   tools/fuzz.sh NAME [SECONDS]        NAME: command_line dialog_script pipl image record
#
# It starts from the checked-in seeds (tests/fuzz/seeds/NAME) and the inputs
# found by earlier runs (build/fuzz/corpus/NAME, where new ones are kept),
# with a fixed seed.  A crash, leak, hang or broken check ends it with the
# input's bytes in hex and the file that holds them; exit status 1.  The
# harnesses are built with the rest (cmake --build build).
#
#   GLIMMORA_FUZZ_DIR    where the harnesses are (default build/fuzz)
#   GLIMMORA_FUZZ_FRESH  1: forget the kept inputs and start from the seeds
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=${1:?usage: tools/fuzz.sh NAME [SECONDS]}
seconds=${2:-600}
dir=${GLIMMORA_FUZZ_DIR:-$root/build/fuzz}
harness=$dir/$name
seeds=$root/tests/fuzz/seeds/$name
if [ ! -x "$harness" ] || [ ! -d "$seeds" ]; then
    echo "fuzz: no harness '$name' in $dir (or no seeds in $seeds); build first: cmake --build build" >&2
    exit 1
fi
corpus=$dir/corpus/$name
findings=$dir/findings/$name
if [ "${GLIMMORA_FUZZ_FRESH:-}" = 1 ]; then rm -rf "$corpus"; fi
rm -rf "$findings"
mkdir -p "$corpus" "$findings"

"$harness" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$seeds" 2>&1
status=$?

found=0
for f in "$findings"/*; do
    [ -f "$f" ] || continue
    found=1
    size=$(stat -c %s "$f")
    echo "fuzz: $name: reproducer $f ($size bytes), in hex:"
    od -An -tx1 -v "$f" | head -n 256
    if [ "$size" -gt 4096 ]; then echo "  (first 4096 bytes shown)"; fi
    echo "  to run it again: $harness $f"
done
if [ $status -ne 0 ] || [ $found -ne 0 ]; then
    echo "fuzz: $name failed (libFuzzer exit status $status)"
    exit 1
fi
exit 0
