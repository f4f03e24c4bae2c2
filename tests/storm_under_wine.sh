#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows front end's dispatch under a storm of real input under Wine:
# random button presses, canvas clicks and double clicks, keys, the pointer
# over and off the window. After each event the program must still run and
# show one of its fifteen titles. Then tambrel.exe is closed again and again
# at awkward moments (in every mode, during a click's rebuild pause, during
# a capture's waits): it must always end with status 0.
#   tests/storm_under_wine.sh BUILD_WIN_DIR [EVENTS] [CLOSES]
# TAMBREL_SOAK_SECONDS keeps both going that long after the given counts.
build="$1" events="${2:-150}" closes="${3:-6}"
source "$(dirname "$0")/xvfb_session.sh"
wine_prefix
start_display
soak=${TAMBREL_SOAK_SECONDS:-0}

start_exe() {
  wine "$build/tambrel.exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  find_window
}

valid_titles="Tambrel|Tambrel: Cursor follower animation|Tambrel: Bouncy ball animation|Tambrel: Simple drawing mode|\
Tambrel: Fireworks animation|Tambrel: Particle emittor animation|Tambrel: Gravity field simulation|\
Tambrel: Falling snow animation|Tambrel: Starfield animation|Tambrel: Collision detection animation|\
Tambrel: Shade-bob type drawing mode|Tambrel: Random fractal cloud painter|Tambrel: Screen capture degrader|\
Tambrel: 3D whirlwind animation|Tambrel: Psychedelic animation"

start_exe
sleep 1
deadline=$((SECONDS + soak))
for ((e = 0; e < events || SECONDS < deadline; e++)); do
  case $((RANDOM % 10)) in
    0 | 1 | 2 | 3) press_button $((RANDOM % 14)) ;;
    4 | 5) xdotool mousemove --window "$wid" $((RANDOM % 600)) $((RANDOM % 512)) click 1 ;;
    6) xdotool mousemove --window "$wid" $((RANDOM % 600)) $((RANDOM % 512)) click --repeat 2 --delay 40 1 ;;
    7) press_button 15 ;;
    8) xdotool key --window "$wid" "$(shuf -n1 -e space Tab Return Escape)" ;;
    9) xdotool mousemove $((RANDOM % screen_w)) $((RANDOM % screen_h)) ;; # anywhere, often off the window
  esac
  kill -0 "$app_pid" 2>/dev/null || fail "event $e: the program ended"
  t=$(title)
  [[ "|$valid_titles|" == *"|$t|"* ]] || fail "event $e: title '$t'"
done
echo "ok Windows storm: $e events, running with a valid title after each"
close_program
[ "$status" = 0 ] || fail "exit status $status after the storm"

deadline=$((SECONDS + soak))
for ((run = 0; run < closes || SECONDS < deadline; run++)); do
  start_exe
  close_awkwardly "$run"
  [ "$status" = 0 ] || fail "close $run (mode $((run % 14))): exit status $status"
done
echo "ok Windows closes: $run closes at awkward moments, every exit status 0"
