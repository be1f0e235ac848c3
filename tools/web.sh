#!/usr/bin/env bash
# Builds the web page when needed and serves build/web/ on 127.0.0.1:
#   tools/web.sh [--port PORT]      (port 8000 unless given)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=8000
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=${2:?--port needs a number}; shift 2 ;;
    --port=*) port=${1#--port=}; shift ;;
    -h|--help) sed -n '2,3p' "$0" | cut -c3-; exit 0 ;;
    *) echo "web.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
done
case "$port" in ''|*[!0-9]*) echo "web.sh: --port takes a number, not '$port'" >&2; exit 2 ;; esac

# Only the web page's part of the build (the external project "web").
if ! command -v emcc >/dev/null || [ ! -f "$root/build/CMakeCache.txt" ]; then
  "$root/tools/setup.sh"
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$root/build" --target web -j"$(nproc)" >/dev/null

echo "Glimmora in the browser: http://127.0.0.1:$port/  (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/build/web"
