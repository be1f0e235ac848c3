#!/usr/bin/env bash
# Sets up, builds, and runs every test tier with one CTest summary: native unit
# tests (also under AddressSanitizer and UndefinedBehaviorSanitizer), structure
# checks of both DLLs, and the 64-bit plug-in driven by a test host under Wine
# (with its own Xvfb when no display is set); the web page's WebAssembly
# engine in node and the page itself in headless Chromium (web.*).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)" "$@"
