#!/usr/bin/env bash
# Installs what the end-to-end benchmark needs on top of tools/setup.sh:
# GEGL's command-line tool (the peer effect) and Python 3 (image generation).
# Idempotent, and quick when everything is already there.
set -euo pipefail

packages=(gegl python3)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-bench: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
