#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Keeping on a full disk, in the real window driven through real keys:
# --record onto a disk that fills says so once in the window; Save Session
# (Ctrl+Shift+S), Save Picture (Ctrl+S) and Save Clip (Ctrl+E) onto it each
# say why in a box and leave nothing under the chosen name; the session in
# memory is then saved elsewhere whole; at the end the user is asked once
# more, and the exit status says the recording was lost. The file --record
# left replays.
#   tests/keeping_under_xvfb.sh build/tambrel build/tambrel-render
program="$1" render="$2"
source "$(dirname "$0")/xvfb_session.sh"
small_disk || { echo "skipped: no disk can be mounted here"; exit 0; }
start_display

QT_QPA_PLATFORM=xcb "$program" --record "$small/rec.tambrel" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
press_button 13 # psyche: every pass adds to the session
xdotool mousemove --window "$wid" 300 250 click 1 mousemove --window "$wid" 200 150
find_box Recording 180 || fail "a disk that filled during --record: nothing said in the window"
grep -q "No space left on device" "$work/app.log" || fail "the reason was not given"
xdotool windowactivate --sync "$box" key Return
wait_until 30 eval '! find_box Recording 0.2' || fail "the recording's box stays up"
echo "ok a disk that fills during --record is said once in the window, with its reason"

# The next window titled TITLE that is not PREVIOUS (the same title serves
# a file dialog and the box after it).
next_window() { # title, previous id
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -v -x -e "${2:-none}" | awk 'NR == 1')
  [ -n "$id" ] && echo "$id"
}
await() { # title, previous id: sets $box
  local tries=100
  while ! box=$(next_window "$1" "${2:-}"); do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || fail "no window titled '$1' came"
    sleep 0.1
  done
  wait_until 30 eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$box" ]' || xdotool windowactivate --sync "$box"
}
refused() { # title, shortcut, file, [the clip's own dialog first]
  xdotool windowactivate --sync "$wid" key "$2"
  await "$1"
  if [ -n "${4:-}" ]; then # the clip's length and format, as offered
    xdotool key Return
    await "$1" "$box"
  fi
  local dialog=$box
  xdotool key ctrl+a type --delay 5 "$3"
  xdotool key Return
  await "$1" "$dialog" # the box that says why
  xdotool key Return
  if [ "$1" = "Save Session" ]; then # the dialog again, for another place
    await "$1" "$box"
    xdotool key Escape
  fi
  wait_until 30 eval '! next_window "$1" >/dev/null' || fail "$1 left a window up"
}
echo full >"$small/full" 2>/dev/null || true # the last block taken
refused "Save Session" ctrl+shift+s "$small/s.tambrel"
refused "Save Picture" ctrl+s "$small/p.png"
refused "Save Clip" ctrl+e "$small/c.webp" clip
[ "$(ls -A "$small" | sort | tr '\n' ' ')" = "filler full rec.tambrel " ] || fail "left on the full disk: $(ls -A "$small")"
echo "ok Save Session, Save Picture and Save Clip onto a full disk each say why and leave nothing"

# The session in memory is whole: saved elsewhere with Ctrl+Shift+S.
xdotool windowactivate --sync "$wid" key ctrl+shift+s
await "Save Session"
xdotool key ctrl+a type --delay 5 "$work/elsewhere.tambrel"
xdotool key Return
wait_until 30 eval '[ -s "$work/elsewhere.tambrel" ]' || fail "Ctrl+Shift+S saved nothing elsewhere"
echo "ok Ctrl+Shift+S then saves the whole session elsewhere"

wmctrl -c Tambrel || true
find_box Recording 180 || fail "a recording that cannot be finished: nothing asked at the end"
xdotool windowactivate --sync "$box" key Escape # Discard
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 3 ] || fail "a recording lost to a full disk: exit status $status, not 3"
"$render" --replay "$small/rec.tambrel" --out "$work/rec.png" || fail "the file --record left does not replay"
"$render" --replay "$work/elsewhere.tambrel" --out "$work/elsewhere.png" || fail "the session saved elsewhere does not replay"
echo "ok at the end the user is asked again; exit status 3; the file left and the session saved elsewhere replay"
