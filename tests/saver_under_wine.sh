#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tambrel.scr under Wine, as Windows runs a screensaver: /s covers the
# screen with the canvas in whole blocks on black and ends on a key or a
# move of the mouse, not on a nudge; /p draws into a window another program
# gives it and ends when that window goes; /c keeps its settings. And the
# window, told --autopilot, plays by itself.
#   tests/saver_under_wine.sh BUILD_WIN_DIR
build="$(realpath "$1")"
source "$(dirname "$0")/xvfb_session.sh"
wine_prefix
screen_w=1280 screen_h=1024
block=2 left=44 top=4 # 596 x 508 in blocks of 2, centred on 1280 x 1024
start_display
scr="$build/tambrel.scr"
[ -f "$scr" ] || fail "no tambrel.scr beside tambrel.exe"

for ending in "mousemove_relative 40 0" "key x"; do
  wine "$scr" /s >"$work/app.log" 2>&1 &
  app_pid=$!
  visible_window '^Tambrel$' 180 && wid=$found || fail "/s showed no window"
  read -r x y w h < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
    /^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print x, y, w, h}')
  [ "$x,$y,$w,$h" = "0,0,$screen_w,$screen_h" ] || fail "/s covers $w x $h at $x,$y, not the screen"
  wait_until 60 shown 2>"$work/why" || fail "/s: $(cat "$work/why")"
  xdotool mousemove_relative 3 0
  cp "$work/shown.png" "$work/nudged.png" # still playing after it: the pictures go on
  wait_until 30 eval 'shown 2>/dev/null && ! cmp -s "$work/shown.png" "$work/nudged.png"' || fail "a nudge of the mouse ended /s"
  # shellcheck disable=SC2086 # the ending's words are xdotool's arguments
  xdotool $ending
  wait_until 30 eval '! kill -0 "$app_pid" 2>/dev/null' || fail "$ending did not end /s"
done
echo "ok /s: the whole screen, the canvas in blocks of $block on black; a nudge leaves it, a move or a key ends it"

# Into a file, not a pipe: a saver left running would hold a pipe open.
for what in preview settings; do
  wine "$build/tests/saver_check.exe" "$what" "$(winpath "$scr")" >"$work/check.log" 2>/dev/null ||
    fail "$(tr -d '\r' <"$work/check.log")"
  tr -d '\r' <"$work/check.log"
done

wine "$build/tambrel.exe" --autopilot --seed 3 >"$work/app.log" 2>&1 &
app_pid=$!
find_window
wait_until 60 eval '[[ "$(title)" == "Tambrel: "* ]]' || fail "--autopilot switched no mode on: '$(title)'"
echo "ok --autopilot: the window plays by itself ($(title))"
