# SPDX-License-Identifier: MIT
# Sourced by the tests that run the real program: a private virtual X display
# with a window manager, torn down on exit, and helpers to find the window.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/waiting.sh"
work=$(mktemp -d)
screen_w=1280 screen_h=1024
app_pid="" wm_pid="" xvfb_pid="" small=""
# Never fails a test that passed: what it stops is waited for, and what
# cannot be removed is said, not counted.
cleanup() {
  [ -n "$small" ] && umount "$small" 2>/dev/null || true
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  # The Wine server goes on writing into its prefix for a moment after the
  # last program ends: it is stopped and waited for first.
  [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; } || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work" 2>/dev/null || echo "note: could not remove all of $work" >&2
  return 0
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/app.log" ] && { echo "--- program output:" >&2; tail -n 40 "$work/app.log" >&2; }
  exit 1
}

# A Wine prefix of the test's own, with a home folder of its own: Wine
# writes menus and icons for the desktop (winemenubuilder, switched off
# here) and its settings there, never into the user's home.
wine_prefix() {
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
  export XDG_CACHE_HOME="$work/home/.cache" WINEPREFIX="$work/wine" WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$HOME"
  wineboot -i >/dev/null 2>&1 || fail "wineboot"
  # Its server ends before a display starts: one that outlived wineboot
  # would go on without the display, and no window could come.
  wineserver -w
}

# A Linux path as Wine's programs name it (drive Z: is the root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

start_display() {
  # Xvfb picks a free display number itself and writes it to the pipe. It
  # must not reset when its first client (xdpyinfo below) leaves: during a
  # reset the next one (the window manager) cannot connect. No auto-repeat:
  # on a busy machine xdotool can be held up between a key's press and its
  # release long enough for the server to repeat the key.
  rm -f "$work/display" # a display started before left its number there
  Xvfb -displayfd 3 -noreset -r -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  wait_until 60 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
  wait_until 60 eval 'xdpyinfo >/dev/null 2>&1' || fail "Xvfb did not start"
  openbox >"$work/wm.log" 2>&1 &
  wm_pid=$!
  # Windows mapped before the window manager runs would go undecorated.
  wait_until 60 eval 'wmctrl -m >/dev/null 2>&1' || fail "openbox did not start: $(tail -n 3 "$work/wm.log")"
}

# Sets $wid to the visible main window, waiting for it (at most 180 s: a
# first start may be slow, Wine's in a fresh prefix on a busy machine most). Its title may already name a mode: a replay
# switches one on as soon as it starts. awk reads all of xdotool's output,
# where head would cut it off and fail the pipe.
find_window() {
  visible_window '^Tambrel(: .*)?$' 180 && wid=$found || fail "no window titled Tambrel"
}

# Sets $found to the first visible window whose title matches PATTERN,
# asking again until SECONDS have passed (once for less than a second).
# One search can fail while it runs (a window it listed went away: X's
# BadWindow ends xdotool), so each failure is only a reason to ask again.
visible_window() { # pattern, seconds
  local pattern=$1
  wait_until "${2%.*}" eval 'found=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | awk "NR == 1") && [ -n "$found" ]'
}

# The drawing surface (client 10,10 596x508) as a picture, and whether two
# pictures are the same to the pixel.
canvas_to() {
  read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "596x508+$((abs_x + 10))+$((abs_y + 10))" +repage "$1"
}
same_picture() { [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" = 0 ]; }

# Starts the program and sets $wid to its main window.
start_program() {
  QT_QPA_PLATFORM=xcb "$1" >"$work/app.log" 2>&1 &
  app_pid=$!
  find_window
}

# Whether the window's property PROP shows the pattern. All of xprop's
# output is read: grep -q would stop at the first match, and xprop, cut off
# while still writing a long property (an icon), would fail the pipe.
has_property() { # property, pattern
  xprop -id "$wid" "$1" 2>/dev/null | grep -c -e "$2" >/dev/null
}

# Closes the window through the window manager and sets $status and $close_ms.
close_program() {
  local t0 t1
  t0=$(date +%s%N)
  wmctrl -c Tambrel || true
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$app_pid" 2>/dev/null && fail "still running 5 s after the close"
  t1=$(date +%s%N)
  status=0
  wait "$app_pid" || status=$?
  app_pid=""
  close_ms=$(((t1 - t0) / 1000000))
}

title() { xprop -id "$wid" _NET_WM_NAME | sed 's/.*= "//; s/"$//'; }
title_is() { [ "$(title)" = "$1" ]; }

# Presses a button of the window $wid: 0..13 the modes, 15 "Clear Screen".
press_button() { xdotool mousemove --window "$wid" 677 $((8 + 32 * $1 + 12)) click 1; }

# Closes the running program at an awkward moment picked by the run number:
# in mode run % 14, and a third of the time during a click reaction's pause,
# a third during the capture's waits. Sets $status and $close_ms.
close_awkwardly() {
  press_button $(($1 % 14))
  case $(($1 % 3)) in
    0) xdotool mousemove --window "$wid" 300 250 click 1 ;; # a click reaction, maybe pausing
    1) press_button 11 ;;                                    # the capture
  esac
  sleep "0.$((RANDOM % 4))"
  close_program
}

# A disk of 64 KiB at $small, full but for one 4 KiB block: a first small
# file fits, nothing after it does. False where no disk can be mounted
# (not root): the caller skips those checks.
small_disk() {
  small="$work/small"
  mkdir -p "$small"
  mount -t tmpfs -o size=64k tambrel-test "$small" 2>/dev/null || { small=""; return 1; }
  dd if=/dev/zero of="$small/filler" bs=4096 count=15 2>/dev/null
}

# Sets $box to the visible window titled TITLE, waiting up to SECONDS.
find_box() { # title, seconds
  visible_window "^$1\$" "$2" && box=$found
}

# A screensaver's picture: $work/screen.png taken of the whole screen, and
# $work/shown.png the canvas in it (596 x 508) when it shows in whole blocks
# of BLOCK device pixels at LEFT,TOP, on black all round, with something
# drawn; else false, saying why on stderr.
shown() {
  import -window root "$work/screen.png" 2>/dev/null &&
    /usr/bin/python3 - "$work/screen.png" "${block:?}" "${left:?}" "${top:?}" "$work/shown.png" <<'EOF'
import sys
from PIL import Image
screen = Image.open(sys.argv[1]).convert("RGB")
block, left, top = (int(v) for v in sys.argv[2:5])
w, h = 596 * block, 508 * block
picture = screen.crop((left, top, left + w, top + h))
margins = [screen.crop(box) for box in ((0, 0, screen.width, top), (0, top + h, screen.width, screen.height),
                                        (0, top, left, top + h), (left + w, top, screen.width, top + h))]
if any(m.getextrema() != ((0, 0),) * 3 for m in margins if m.width and m.height):
    sys.exit("the margins are not black")
small = picture.resize((596, 508), Image.NEAREST)
if small.resize((w, h), Image.NEAREST).tobytes() != picture.tobytes():
    sys.exit("the picture is not in whole blocks")
if len(small.getcolors(596 * 508)) < 2:
    sys.exit("nothing is drawn yet")
small.save(sys.argv[5])
EOF
}
