#!/usr/bin/env bash
# Installs what the end-to-end benchmark needs on top of tools/setup.sh:
# GEGL's command-line tool (the peer effect) and Python 3 (image generation).
# Idempotent, and quick when everything is already there.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh" gegl python3
