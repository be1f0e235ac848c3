#!/usr/bin/env bash
# The Wine runner names a program that ends with an error and without a word,
# and says whether the prefix's server and the display are still there.
#   silent_exit_test.sh ENV_SH STATE_DIR
set -u
env_sh=$1 state=$2
out=$("$env_sh" run "$state" runner.silent_exit cmd /c exit 3)
rc=$?
echo "$out"
[ "$rc" -eq 3 ] || { echo "FAIL: exit code $rc, expected 3"; exit 1; }
case "$out" in
*"runner.silent_exit: Wine ended cmd with exit code 3 and no output; wineserver running"*", display "*" up") ;;
*) echo "FAIL: no line naming the silent end"; exit 1 ;;
esac
echo "PASS"
