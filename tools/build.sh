#!/usr/bin/env bash
# Sets up a fresh Debian machine and builds both plug-ins and the web page:
#   build/win-i686/GLIMMORA.8bf     the 32-bit plug-in
#   build/win-x86_64/GLIMMORA.8bf   the 64-bit plug-in
#   build/web/                      the web page (tools/web.sh serves it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)"
echo "32-bit plug-in: $root/build/win-i686/GLIMMORA.8bf"
echo "64-bit plug-in: $root/build/win-x86_64/GLIMMORA.8bf"
echo "web page:       $root/build/web/ (tools/web.sh serves it)"
