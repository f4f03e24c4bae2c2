#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the screensaver costs against the window: the window at 1x playing
# by itself, and the saver full screen at 1920 x 1080 and 3840 x 2160, each
# on a virtual X display of its own, played by the same hand (seed 7, two
# seconds a mode, so that most modes get their turn) for SECONDS, taking
# turns ROUNDS times. For each: the CPU it took (% of one
# core, all its threads and X's drawing in the program) and its pace
# (passes a second, from the session it kept).
#   scripts/saver-cost.sh [SECONDS] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-28} rounds=${2:-3}
tambrel=build/tambrel render=build/tambrel-render
[ -x "$tambrel" ] && [ -x "$render" ] || scripts/setup.sh
work=$(mktemp -d)
xvfb=""
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; } # clock ticks, user and system
run() { # name, screen, tambrel's options...
  local name=$1 screen=$2
  shift 2
  rm -f "$work/display"
  Xvfb -displayfd 3 -noreset -screen 0 "${screen}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb=$!
  until [ -s "$work/display" ]; do sleep 0.1; done
  DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb "$tambrel" "$@" --record "$work/$name.tambrel" 2>/dev/null &
  local app=$! from
  sleep 3 # started, its first mode on
  from=$(cpu "$app")
  local t0=$EPOCHREALTIME
  sleep "$seconds" # the span measured
  local used=$(($(cpu "$app") - from)) t1=$EPOCHREALTIME
  kill "$app"
  wait "$app" 2>/dev/null || true
  kill "$xvfb"
  wait "$xvfb" 2>/dev/null || true
  xvfb=""
  read -r passes _ _ span _ < <("$render" --replay "$work/$name.tambrel" --count)
  awk -v n="$name" -v u="$used" -v hz="$(getconf CLK_TCK)" -v t0="$t0" -v t1="$t1" -v p="$passes" -v s="$span" \
    'BEGIN { printf "%-28s CPU %5.1f %% of one core   pace %5.1f passes a second\n", n, 100 * u / hz / (t1 - t0), p / s }'
}

for ((r = 1; r <= rounds; ++r)); do
  run "window 1x, 1920 x 1080" 1920x1080 --autopilot --seed 7 --seconds-per-mode 2
  run "saver, 1920 x 1080" 1920x1080 --saver --seed 7 --seconds-per-mode 2
  run "saver, 3840 x 2160" 3840x2160 --saver --seed 7 --seconds-per-mode 2
done
