#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real window's pace where users are: each mode's passes a second on X11
# (Xvfb with a window manager) at 1x, 2x and 3x and on Wayland (weston's
# headless compositor, pixman) at 1x and 2x, from one run of tambrel-pace
# each, printed as one table.
#   scripts/pace.sh [SECONDS per mode, default 2] [tambrel-pace's options, such as --only gravity]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-2}
shift || true
pace=$PWD/build/tambrel-pace
[ -x "$pace" ] || scripts/setup.sh >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# X11: one virtual display with a window manager for the three runs.
(
  source tests/xvfb_session.sh
  screen_w=3000 screen_h=2000
  start_display
  for scale in 1 2 3; do
    QT_QPA_PLATFORM=xcb "$pace" "$seconds" --scale "$scale" "$@" >"$out/x11-$scale" 2>/dev/null
  done
)
# Wayland: a compositor per scale, its output scaled as a laptop's would be.
for scale in 1 2; do
  (
    export XDG_RUNTIME_DIR="$out/run-$scale" WAYLAND_DISPLAY=tambrel-pace
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    unset DISPLAY
    weston --backend=headless-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" --width=$((1600 * scale)) \
      --height=$((1200 * scale)) --scale="$scale" --idle-time=0 >"$out/weston-$scale.log" 2>&1 &
    weston=$!
    for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
    QT_QPA_PLATFORM=wayland "$pace" "$seconds" "$@" >"$out/wayland-$scale" 2>/dev/null || true
    kill "$weston" 2>/dev/null || true
  )
done

printf '%-10s %10s %10s %10s %12s %12s\n' mode "X11 1x" "X11 2x" "X11 3x" "Wayland 1x" "Wayland 2x"
paste "$out/x11-1" "$out/x11-2" "$out/x11-3" "$out/wayland-1" "$out/wayland-2" |
  awk 'NR > 1 { printf "%-10s %10s %10s %10s %12s %12s\n", $1, $2, $8, $14, $20, $26 }'
