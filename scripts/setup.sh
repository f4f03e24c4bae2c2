#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs whatever is missing for building and testing Tambrel on Debian,
# then configures and builds it in ./build. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make pkg-config
  zlib1g-dev                      # sessions are compressed
  libavcodec-dev libavformat-dev libavfilter-dev libswscale-dev libwebp-dev ffmpeg python3-pil webp   # clips, and the tests' decoders
  qt6-base-dev libgl-dev libxcb1-dev   # the window (Qt 6 Widgets; X11 events)
  libgtest-dev libbenchmark-dev   # tests and benchmarks
  clang libclang-rt-14-dev        # the fuzz targets (libFuzzer)
  fonts-liberation                # a small sans-serif UI font for the buttons
  xvfb xdotool x11-utils imagemagick xauth openbox wmctrl   # the window under a virtual display
  xscreensaver passwd procps       # the screensaver under the real daemon (run by a user of its own)
  desktop-file-utils appstream dpkg-dev file lintian   # install and package checks
  shared-mime-info xdg-utils libglib2.0-bin   # sessions as documents: their type, and opening one
  dbus-daemon dbus-session-bus-common   # a private session bus for the screenshot portal test
  emscripten nodejs chromium            # the web edition, and its test in a real browser
  firefox-esr webkit2gtk-driver         # the page's tests in the other engines (Gecko, WebKit)
  at-spi2-core python3-pyatspi          # the accessibility test
  weston qt6-wayland                    # the Wayland test
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest zip wine wine64   # the Windows edition and its test under Wine
  git                             # the first run clones the repository; a release archives its source
)

source scripts/install-missing.sh
install_missing setup "${packages[@]}"

build_type="${TAMBREL_BUILD_TYPE:-Release}"
cmake -S . -B build -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
cmake --build build -j"$(nproc)"
