#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the README's gallery with the headless renderer: one picture per
# mode, from a fixed seed and a pointer path that shows the mode at its best,
# and a short animation of three modes, made from a session of them.
#   scripts/make-gallery.sh [RENDERER] [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
render="${1:-build/tambrel-render}"
out="${2:-docs/gallery}"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# path NAME FRAMES EXPRESSION: one "X Y" line per pass, x and y from awk over frame f
path() { awk -v n="$2" "BEGIN { pi = atan2(0, -1); for (f = 0; f < n; f++) { $3; printf \"%d %d\\n\", x, y } }" >"$tmp/$1"; }

path follower 150 'x = 420 + 60 * cos(f / 25); y = 300 + 60 * sin(f / 25)'
path drawing 240 'x = 60 + f * 2; y = 256 + 150 * sin(f / 18)'
path fireworks 50 'x = (f < 8) ? 180 : (f < 16) ? 420 : 300; y = (f < 8) ? 200 : (f < 16) ? 240 : 140'
path snow 420 'x = 300 + 120 * sin(f / 90); y = 360'
path shader 600 'x = 300 + 150 * cos(f / 60); y = 256 + 110 * sin(f / 45)'
path psyche 40 'x = 360 + f; y = 230'

r() { "$render" --seed 20261207 "$@"; }
r --mode follower --frames 150 --path "$tmp/follower" --out "$out/follower.png"
r --mode bouncy --frames 70 --click 8 --click 30 --pointer 420,300 --out "$out/bouncy.png"
r --mode drawing --frames 240 --path "$tmp/drawing" --click 80 --click 160 --out "$out/drawing.png"
r --mode fireworks --frames 24 --path "$tmp/fireworks" --click 0 --click 8 --click 16 --out "$out/fireworks.png"
r --mode emitter --frames 600 --pointer 300,420 --click 300 --out "$out/emitter.png"
r --mode gravity --frames 14 --pointer 330,250 --click 0 --out "$out/gravity.png"
r --mode snow --frames 420 --path "$tmp/snow" --out "$out/snow.png"
r --mode stars --frames 320 --pointer 420,330 --out "$out/stars.png"
r --mode bumps --frames 60 --pointer 300,256 --click 0 --out "$out/bumps.png"
r --mode shader --frames 600 --path "$tmp/shader" --click 200 --click 400 --out "$out/shader.png"
r --mode clouds --frames 1 --click 1 --out "$out/clouds.png"
r --mode capture --frames 120 --capture-image "$out/clouds.png" --click 60 --out "$out/capture.png"
r --mode whirl --seed 4 --frames 40 --pointer 520,90 --click 0 --out "$out/whirl.png" # a wide swarm
r --mode psyche --frames 40 --path "$tmp/psyche" --click 0 --out "$out/psyche.png"

# The animation: fireworks, a collapsing mesh and interfering rings, one run
# kept as a session, made into a GIF from it by the renderer's clip encoder.
r --mode fireworks --frames 48 --path "$tmp/fireworks" --click 0 --click 8 --click 16 \
  --mode gravity --frames 40 --pointer 330,250 --click 0 \
  --mode psyche --frames 40 --path "$tmp/psyche" --click 0 --save-session "$out/tambrel.tambrel"
"$render" --replay "$out/tambrel.tambrel" --video "$out/tambrel.gif"
echo "gallery written to $out"
