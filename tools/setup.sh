#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need, and
# any further packages named as arguments, then prepares the runner for the
# 32-bit programs (tools/setup-i386.sh).  Idempotent, and quick when
# everything is already there.
set -euo pipefail

packages=(
  cmake make g++ python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  libstb-dev
  # the fuzz tier (tests/fuzz): clang with its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the GEGL operation (src/gegl) and its graph runs
  libgegl-dev gegl pkg-config
  # the web page (src/web): emscripten brings node and node-acorn; its test
  # runs the page in chromium
  emscripten chromium
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The runner for the 32-bit programs (the 32-bit Wine, emulated where the
# kernel cannot run 32-bit programs; see the script).  It says so in one line
# when it cannot be set up here, and the 32-bit tests then skip.
"$(dirname "$0")/setup-i386.sh"
