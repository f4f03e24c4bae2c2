#!/usr/bin/env bash
# Sets up and builds Tambrel, then runs the whole test suite. Tests that need
# a display start their own virtual one (Xvfb) or use Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
ctest --output-on-failure -j"$(nproc)" "$@"
