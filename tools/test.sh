#!/usr/bin/env bash
# Sets up the machine (tools/setup.sh), builds everything into build/ and runs
# every test tier (GLIMMORA_TEST_TIERS in CMakeLists.txt) with one CTest
# summary: the portable core's unit tests (also sanitized), both DLLs under
# Wine (the 64-bit one under the system's Wine, the 32-bit one under the
# 32-bit Wine of tools/setup-i386.sh), the command-line host, the GEGL
# operation, the release bundles, the fuzz harnesses and the web page (its
# WebAssembly engine in node, the page in headless Chromium).  Wine gets an
# Xvfb of its own when no display is set.  Arguments go to ctest, e.g.
# tools/test.sh -R cli.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)" "$@"
