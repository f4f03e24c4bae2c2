#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up and builds Tambrel, then starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: built ./build/tambrel, but there is no display to show it on (DISPLAY is not set)." >&2
  exit 1
fi
exec ./build/tambrel
