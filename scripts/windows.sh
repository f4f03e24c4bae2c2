#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows edition: installs what is missing (Debian packages only),
# cross-builds a static tambrel.exe with mingw-w64 into build-win/, makes its
# installer build-win/tambrel-VERSION.msi with wixl and packs the portable
# build-win/tambrel-windows.zip (the program, a readme, the licence), each
# the same bytes from the same source. Its icon is the Linux package's, so
# the native build comes first.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev imagemagick zip googletest wixl msitools faketime)
source scripts/install-missing.sh
install_missing windows "${packages[@]}"
[ -f build/icons/hicolor/256x256/apps/org.tambrel.Tambrel.png ] || scripts/setup.sh

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DTAMBREL_WITH_QT=OFF -DTAMBREL_WITH_BENCH=ON -DTAMBREL_ICON_DIR="$PWD/build/icons/hicolor" >/dev/null
cmake --build build-win -j"$(nproc)"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Tambrel"
cp build-win/tambrel.exe "$stage/Tambrel/"
cp LICENSE "$stage/Tambrel/LICENSE.txt"
cat >"$stage/Tambrel/README.txt" <<'TXT'
Tambrel - fourteen interactive animations steered by the mouse.

Start tambrel.exe: it needs nothing else and installs nothing. Fourteen buttons
each switch an animation on and off, "Clear Screen" wipes the canvas. The mouse
steers the animation that is on, and a click on the canvas triggers its own
reaction. The capture animation takes a picture of the screen directly; it
never touches the clipboard.

MIT licence: see LICENSE.txt.
TXT
source scripts/reproducible.sh
sed -i 's/$/\r/' "$stage/Tambrel/README.txt" "$stage/Tambrel/LICENSE.txt"
stamp "$stage"
rm -f build-win/tambrel-windows.zip
(cd "$stage" && find Tambrel | LC_ALL=C sort | TZ=UTC zip -qX "$OLDPWD/build-win/tambrel-windows.zip" -@)
echo "windows: build-win/tambrel.exe, build-win/tambrel-windows.zip and the installer $(ls build-win/tambrel-*.msi)"
