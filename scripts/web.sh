#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The web edition: installs what is missing, builds the page into
# build-web/site/ (static files only) and serves it on http://127.0.0.1:8000/.
#   scripts/web.sh          build and serve (PORT=8000 by default)
#   scripts/web.sh build    build only
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make emscripten nodejs)
source scripts/install-missing.sh
install_missing web "${packages[@]}"
# Save Clip's muxer comes from npm (Debian's npm, unless node came with one).
command -v npm >/dev/null || install_missing web npm

# Debian's emscripten runs its JavaScript tools with the system's node, which
# does not look in Debian's own module folder by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# The page installs with the application's icon, which the native build renders.
[ -f build/icons/hicolor/512x512/apps/org.tambrel.Tambrel.png ] || scripts/setup.sh
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release -DTAMBREL_WITH_QT=OFF -DTAMBREL_WITH_TESTS=OFF \
  -DTAMBREL_WITH_BENCH=OFF -DTAMBREL_ICON_DIR="$PWD/build/icons/hicolor" >/dev/null
cmake --build build-web -j"$(nproc)"
echo "web: the page is in build-web/site/ (build-web/site/tambrel.html is the same page in one file)"

[ "${1:-}" = build ] && exit 0
exec node tools/web/serve.mjs build-web/site "${PORT:-8000}"
