#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows edition under Wine: the core's tests cross-built and run, the
# import table, and tambrel.exe on a virtual X display with a window manager,
# driven from outside as a user would: client size, centring, no maximise,
# a white canvas, every mode button with its title, clicks on the canvas,
# "Clear Screen", Escape, and the close button's exit status.
#   tests/windows_under_wine.sh BUILD_WIN_DIR
build="$1"
source "$(dirname "$0")/xvfb_session.sh"
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || fail "wineboot"

# All of the core's tests (about 90 s under Wine: it sleeps in 1 ms steps).
wine "$build/tests/tambrel_core_tests.exe" --gtest_brief=1 >"$work/core.log" 2>&1 ||
  fail "the core's tests under Wine: $(grep -E 'FAILED|Failure' "$work/core.log" | head -n 5)"
echo "ok the core's tests under Wine: $(grep -E '^\[  PASSED  \]' "$work/core.log")"

# Only the system's DLLs.
dlls=$(x86_64-w64-mingw32-objdump -p "$build/tambrel.exe" | awk '/DLL Name:/ {print toupper($3)}' | sort | tr '\n' ' ')
for dll in $dlls; do
  case "$dll" in KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | MSVCRT.DLL | ADVAPI32.DLL) ;;
    *) fail "tambrel.exe needs $dll" ;; esac
done
echo "ok tambrel.exe imports only $dlls"

start_display
wine "$build/tambrel.exe" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
sleep 1.5

read -r abs_x abs_y client_w client_h < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4}
  /Absolute upper-left Y:/ {y=$4} /^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print x, y, w, h}')
[ "$client_w" = 736 ] && [ "$client_h" = 530 ] || fail "client area ${client_w}x${client_h}, expected 736x530"
read -r left right top bottom < <(xprop -id "$wid" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
want_x=$(((screen_w - client_w - left - right) / 2 + left)) want_y=$(((screen_h - client_h - top - bottom) / 2 + top))
[ $((abs_x - want_x)) -ge -1 ] && [ $((abs_x - want_x)) -le 1 ] && [ $((abs_y - want_y)) -ge -1 ] && [ $((abs_y - want_y)) -le 1 ] ||
  fail "client at ($abs_x, $abs_y), centred frame would put it at ($want_x, $want_y)"
xprop -id "$wid" _NET_WM_ALLOWED_ACTIONS | grep -q 'MAXIMIZE' && fail "the window can be maximised"
echo "ok 736 x 530, centred, no maximise"

canvas() { # the drawing surface's picture, as the distinct colours it holds
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "596x508+$((abs_x + 10))+$((abs_y + 10))" +repage "$work/canvas.png"
}
is_white() { canvas; [ "$(convert "$work/canvas.png" -format '%[fx:minima]' info:)" = 1 ]; }
is_white || fail "the canvas is not white at start"
[ "$(title)" = Tambrel ] || fail "title '$(title)'"

# The dialog's keyboard: Escape does nothing, Enter presses the focused
# button (the first one at start), as Space does.
xdotool mousemove --window "$wid" 300 300 key --window "$wid" Escape
sleep 0.5
kill -0 "$app_pid" 2>/dev/null || fail "Escape closed the window"
[ "$(title)" = Tambrel ] || fail "Escape did something: '$(title)'"
xdotool windowactivate --sync "$wid" key Return
sleep 0.5
[ "$(title)" = "Tambrel: Cursor follower animation" ] || fail "Enter did not press the focused button: '$(title)'"
xdotool key space
sleep 0.5
[ "$(title)" = Tambrel ] || fail "Space did not press the focused button: '$(title)'"
echo "ok Escape does nothing, Enter and Space press the focused button"

titles=("Tambrel: Cursor follower animation" "Tambrel: Bouncy ball animation" "Tambrel: Simple drawing mode"
  "Tambrel: Fireworks animation" "Tambrel: Particle emittor animation" "Tambrel: Gravity field simulation"
  "Tambrel: Falling snow animation" "Tambrel: Starfield animation" "Tambrel: Collision detection animation"
  "Tambrel: Shade-bob type drawing mode" "Tambrel: Random fractal cloud painter" "Tambrel: Screen capture degrader"
  "Tambrel: 3D whirlwind animation" "Tambrel: Psychedelic animation")
clicks_change=(1 1 1 1 1 1 1 1 1 1 1 1 1 1) # every mode's picture changes after a click on the canvas
for n in $(seq 0 13); do
  button_y=$((8 + 32 * n + 12))
  xdotool mousemove --window "$wid" 677 "$button_y" click 1
  sleep 0.4
  [ "$(title)" = "${titles[$n]}" ] || fail "button $n: title '$(title)', expected '${titles[$n]}'"
  if [ "${clicks_change[$n]}" = 1 ]; then
    xdotool mousemove --window "$wid" 300 250
    sleep 0.4
    canvas
    cp "$work/canvas.png" "$work/before.png"
    xdotool click 1
    changed=0
    for _ in $(seq 20); do # a burst can fade again: look until the picture differs
      sleep 0.1
      canvas
      [ "$(compare -metric AE "$work/before.png" "$work/canvas.png" null: 2>&1 || true)" != 0 ] && changed=1 && break
    done
    [ "$changed" = 1 ] || fail "button $n: the picture did not change after a click on the canvas"
  fi
  xdotool mousemove --window "$wid" 677 "$button_y" click 1
  sleep 0.4
  [ "$(title)" = Tambrel ] || fail "button $n pressed again: title '$(title)'"
  is_white || fail "button $n pressed again: the canvas is not white"
done
echo "ok every mode button switches its mode on and off; clicks on the canvas change its picture"

xdotool mousemove --window "$wid" 677 $((8 + 32 * 10 + 12)) click 1 # clouds: nothing moves
sleep 0.3
xdotool mousemove --window "$wid" 300 250 click 1
sleep 0.5
is_white && fail "no cloud"
xdotool mousemove --window "$wid" 677 $((8 + 32 * 15 + 12)) click 1 # "Clear Screen"
sleep 0.3
is_white || fail "Clear Screen did not whiten the canvas"
[ "$(title)" = "Tambrel: Random fractal cloud painter" ] || fail "Clear Screen switched the mode off"
echo "ok Clear Screen whitens and keeps the mode on"

# A rebuild's pause delays the animation, not the window: after forty quick
# clicks on the whirl (100 ms of pause each) a press still answers at once.
press_button 12
wait_until 5 eval '[ "$(title)" = "Tambrel: 3D whirlwind animation" ]' || fail "the whirl did not switch on"
xdotool mousemove --window "$wid" 300 250 click --repeat 40 --delay 10 1
press_button 1
wait_until 2 eval '[ "$(title)" = "Tambrel: Bouncy ball animation" ]' || fail "after forty clicks a press took over 2 s"
press_button 1
echo "ok forty clicks' pauses leave the window answering"

t0=$(date +%s%N)
wmctrl -c Tambrel || true
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app_pid" 2>/dev/null && fail "still running 5 s after the close"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 0 ] || fail "exit status $status after the close"
echo "ok the close button ends it with status 0 in $((($(date +%s%N) - t0) / 1000000)) ms"

# Messages other programs post while the capture waits for the screen: a
# press waits its turn (never two modes on), and a close ends the program.
post() { wine "$build/tests/post_messages.exe" "$@" 2>/dev/null | tr -d '\r'; }
start_exe() {
  wine "$build/tambrel.exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  find_window
  sleep 0.5
}
# The drawing mode does not clear the canvas: had the capture stayed on
# beside it, its screen picture would show, smearing.
start_exe
xdotool mousemove 5 5
post command 1013 click 1004
sleep 1.5
read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
canvas
white=$(convert "$work/canvas.png" -fill black +opaque white -format '%[fx:mean]' info:)
captions=$(post caption 1013 caption 1004 | paste -sd '|')
[ "$captions" = 'Turn Capture On|Turn Drawing Off' ] && [ "$(title)" = "Tambrel: Simple drawing mode" ] &&
  awk -v w="$white" 'BEGIN {exit !(w > 0.9)}' ||
  fail "a press during the capture: captions '$captions', title '$(title)', $white of the canvas white"
close_program
echo "ok a press posted during the capture's waits waits its turn: one mode on"
start_exe
post command 1013 close
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app_pid" 2>/dev/null && fail "a close posted during the capture's waits: still running 5 s later"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 0 ] || fail "a close posted during the capture's waits: exit status $status"
echo "ok a close posted during the capture's waits ends the program with status 0"
echo "Windows edition under Wine: all checks passed"
