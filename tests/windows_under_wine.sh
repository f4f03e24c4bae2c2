#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows edition under Wine: the core's tests cross-built and run, the
# import table, and tambrel.exe on a virtual X display with a window manager,
# driven from outside as a user would: client size, centring, no maximise,
# a white canvas, every mode button with its title, clicks on the canvas,
# "Clear Screen", Escape, and the close button's exit status; sessions and
# pictures kept and replayed across editions; then the same
# window on a screen of 192 dots per inch (200 %), laid out at that scale.
#   tests/windows_under_wine.sh BUILD_WIN_DIR RENDERER
build="$1" render="$2"
source "$(dirname "$0")/xvfb_session.sh"
wine_prefix

# All of the core's tests (about 90 s under Wine: it sleeps in 1 ms steps).
wine "$build/tests/tambrel_core_tests.exe" --gtest_brief=1 >"$work/core.log" 2>&1 ||
  fail "the core's tests under Wine: $(grep -E 'FAILED|Failure' "$work/core.log" | head -n 5)"
echo "ok the core's tests under Wine: $(grep -E '^\[  PASSED  \]' "$work/core.log")"

# Only the system's DLLs.
dlls=$(x86_64-w64-mingw32-objdump -p "$build/tambrel.exe" | awk '/DLL Name:/ {print toupper($3)}' | sort | tr '\n' ' ')
for dll in $dlls; do
  case "$dll" in KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | MSVCRT.DLL | ADVAPI32.DLL | WINMM.DLL | COMDLG32.DLL | SHELL32.DLL | OLE32.DLL) ;;
    *) fail "tambrel.exe needs $dll" ;; esac
done
# Windows wakes a sleeper on its 15.6 ms tick unless asked for 1 ms, which
# Wine (sleeping on Linux's timers) would never show.
x86_64-w64-mingw32-objdump -p "$build/tambrel.exe" | grep -c -E '\btimeBeginPeriod$' >/dev/null ||
  fail "tambrel.exe does not ask Windows for a 1 ms timer"
echo "ok tambrel.exe imports only $dlls, and asks for a 1 ms timer"

screen_w=2400 screen_h=1800 # room for the window at 200 %
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
film() { # films the canvas for $1 seconds: how many different pictures it showed
  ffmpeg -loglevel error -f x11grab -framerate 50 -video_size 596x508 -i "$DISPLAY+$((abs_x + 10)),$((abs_y + 10))" \
    -t "$1" -f framemd5 - | awk -F, '!/^#/ {print $6}' | sort -u | wc -l
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
wait_until 30 title_is "Tambrel: Cursor follower animation" || fail "Enter did not press the focused button: '$(title)'"
xdotool key space
wait_until 30 title_is Tambrel || fail "Space did not press the focused button: '$(title)'"
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
  wait_until 30 title_is "${titles[$n]}" || fail "button $n: title '$(title)', expected '${titles[$n]}'"
  if [ "${clicks_change[$n]}" = 1 ]; then
    xdotool mousemove --window "$wid" 300 250
    # A burst can come and go within 0.2 s, quicker than a screenshot:
    # film the canvas at 50 frames a second around the click instead.
    film 3 >"$work/frames" &
    film_pid=$!
    sleep 1
    xdotool click 1
    wait "$film_pid" || fail "button $n: the canvas could not be filmed"
    [ "$(cat "$work/frames")" -gt 1 ] || fail "button $n: the picture did not change after a click on the canvas"
  fi
  xdotool mousemove --window "$wid" 677 "$button_y" click 1
  wait_until 30 title_is Tambrel || fail "button $n pressed again: title '$(title)'"
  is_white || fail "button $n pressed again: the canvas is not white"
done
echo "ok every mode button switches its mode on and off; clicks on the canvas change its picture"

xdotool mousemove --window "$wid" 677 $((8 + 32 * 10 + 12)) click 1 # clouds: nothing moves
wait_until 30 title_is "Tambrel: Random fractal cloud painter" || fail "the clouds did not switch on"
xdotool mousemove --window "$wid" 300 250 click 1
wait_until 30 eval '! is_white' || fail "no cloud"
xdotool mousemove --window "$wid" 677 $((8 + 32 * 15 + 12)) click 1 # "Clear Screen"
wait_until 30 is_white || fail "Clear Screen did not whiten the canvas"
[ "$(title)" = "Tambrel: Random fractal cloud painter" ] || fail "Clear Screen switched the mode off"
echo "ok Clear Screen whitens and keeps the mode on"

# A rebuild's pause delays the animation, not the window: after forty quick
# clicks on the whirl (100 ms of pause each) a press still answers at once.
press_button 12
wait_until 30 eval '[ "$(title)" = "Tambrel: 3D whirlwind animation" ]' || fail "the whirl did not switch on"
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
read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
one_mode_on() {
  canvas
  white=$(convert "$work/canvas.png" -fill black +opaque white -format '%[fx:mean]' info:)
  captions=$(post caption 1013 caption 1004 | paste -sd '|')
  [ "$captions" = 'Turn Capture On|Turn Drawing Off' ] && [ "$(title)" = "Tambrel: Simple drawing mode" ] &&
    awk -v w="$white" 'BEGIN {exit !(w > 0.9)}'
}
wait_until 30 one_mode_on || fail "a press during the capture: captions '$captions', title '$(title)', $white of the canvas white"
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

# Keeping what the user sees. A run recorded with --record through real
# input, its picture saved with Ctrl+S through the system's file dialog: the
# Linux renderer replays the session to that very picture. A session the
# core made elsewhere replays in the window to the renderer's picture, and a
# press takes it over. A broken file is refused with its reason.
wine "$build/tambrel.exe" --record "$(winpath "$work/run.tambrel")" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
sleep 0.5
read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
press_button 3 # fireworks
xdotool mousemove --window "$wid" 150 200 click 1 sleep 0.2 mousemove --window "$wid" 400 300 click --repeat 2 --delay 60 1
sleep 0.3
press_button 2 # the pen
xdotool mousemove --window "$wid" 100 100 sleep 0.1 mousemove --window "$wid" 300 200 sleep 0.1 mousemove --window "$wid" 500 400 click 1
sleep 0.3
press_button 10 # clouds: a still picture to end on
xdotool mousemove --window "$wid" 330 260 click 1
wait_until 30 title_is "Tambrel: Random fractal cloud painter" || fail "the clouds did not switch on: '$(title)'"
sleep 0.5
canvas
save_dialog() { xdotool search --onlyvisible --name '^Save Picture$' 2>/dev/null | awk 'NR == 1'; }
xdotool windowactivate --sync "$wid" key ctrl+s
wait_until 30 eval '[ -n "$(save_dialog)" ]' || fail "Ctrl+S brought no file dialog"
sleep 0.5
xdotool key ctrl+a type --delay 5 "$(winpath "$work/picture.png")"
xdotool key Return
wait_until 30 eval '[ -s "$work/picture.png" ]' || fail "Ctrl+S saved no picture"
/usr/bin/python3 -c '
import sys
from PIL import Image
t = Image.open(sys.argv[1]).text
assert t.get("Mode") == "clouds" and t.get("Software", "").startswith("Tambrel ") and t.get("Seed", "").isdigit(), t
' "$work/picture.png" || fail "the picture tambrel.exe saved does not say what it is"
close_program
[ "$status" = 0 ] || fail "exit status $status after recording"
"$render" --replay "$work/run.tambrel" --out "$work/replayed.png" || fail "the renderer could not replay the session of tambrel.exe"
same_picture "$work/picture.png" "$work/replayed.png" ||
  fail "the renderer's replay differs from the picture tambrel.exe saved in $(compare -metric AE "$work/picture.png" "$work/replayed.png" null: 2>&1) pixels"
same_picture "$work/canvas.png" "$work/picture.png" || fail "the saved picture differs from the canvas on the screen"
echo "ok a session recorded by tambrel.exe replays in the renderer to the picture it saved ($(stat -c %s "$work/run.tambrel") bytes)"

"$render" --mode fireworks --pointer 200,150 --click 5 --click 30 --frames 80 --mode drawing --pointer 400,300 --frames 40 \
  --mode clouds --pointer 300,250 --click 2 --frames 10 --save-session "$work/made.tambrel" --out "$work/made.png" ||
  fail "the renderer could not make a session"
# A session replays in the window at its pace to the picture the renderer
# replays it to, and a press then takes it over.
replays_in_window() { # session, its last mode's title, what it is
  "$render" --replay "$1" --out "$work/expected.png" || fail "the renderer could not replay $3"
  wine "$build/tambrel.exe" --replay "$(winpath "$1")" >"$work/app.log" 2>&1 &
  app_pid=$!
  # The replay may have switched a mode on (and so changed the title) by the
  # time the window shows.
  visible_window '^Tambrel' 180 && wid=$found ||
    fail "no window for the replay of $3"
  wait_until 60 title_is "$2" || fail "the replay of $3 did not reach its last mode: '$(title)'"
  replayed() { canvas && same_picture "$work/canvas.png" "$work/expected.png"; }
  wait_until 30 replayed || fail "the window's replay of $3 ends on another picture"
  press_button 1
  wait_until 30 title_is "Tambrel: Bouncy ball animation" || fail "a press after the replay of $3 did nothing: '$(title)'"
  close_program
  [ "$status" = 0 ] || fail "exit status $status after the replay of $3"
}
replays_in_window "$work/made.tambrel" "Tambrel: Random fractal cloud painter" "the renderer's session"
echo "ok a session made elsewhere replays in tambrel.exe to the same picture, and a press takes it over"
replays_in_window "$(dirname "$0")/sessions/linux-window.tambrel" "Tambrel: Random fractal cloud painter" "the Linux window's session"
echo "ok a session the Linux window recorded replays in tambrel.exe to the window's picture"

# The replay bar through the keyboard, as in the other editions: the client
# area grows by it while a session plays; a pause holds the picture; seeks
# both ways land on the renderer's --until-ms pictures; Ctrl+Enter takes
# over and the bar goes.
"$render" --seed 9 --mode psyche --frames 1500 --click 0 --click 600 --mode fireworks --frames 1500 --click 10 \
  --click 700 --save-session "$work/steer.tambrel" || fail "the renderer made no session to steer"
wine "$build/tambrel.exe" --replay "$(winpath "$work/steer.tambrel")" --at 2 >"$work/app.log" 2>&1 &
app_pid=$!
visible_window '^Tambrel' 180 && wid=$found || fail "no window for the steered replay"
height() { xwininfo -id "$wid" | awk '/^  Height:/ {print $2}'; }
wait_until 30 eval '[ "$(height)" = 564 ]' || fail "no replay bar: the client area is $(height) px tall"
read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
keys() { xdotool windowactivate --sync "$wid" key --delay 80 "$@"; sleep 0.5; }
holds() { canvas && cp "$work/canvas.png" "$work/paused.png" && sleep 0.5 && canvas && same_picture "$work/canvas.png" "$work/paused.png"; }
play_button() { # the bar's Play button, which says "Pause" while the replay plays
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "60x23+$((abs_x + 8))+$((abs_y + 535))" +repage "$1"
}
# Playing and shown first. Wine can lose a key that comes while a new
# window is still taking the keyboard (the picture holding still for half a
# second proves nothing on a busy machine): the button's word tells.
canvas && cp "$work/canvas.png" "$work/first.png"
wait_until 60 eval 'canvas && ! same_picture "$work/canvas.png" "$work/first.png"' || fail "the replay does not play"
play_button "$work/playing.png"
paused_button() { play_button "$work/button.png" && ! same_picture "$work/button.png" "$work/playing.png"; }
for _ in 1 2 3; do
  keys ctrl+p
  wait_until 20 paused_button && break
done
paused_button || fail "Ctrl+P did not pause the replay"
holds || fail "a paused replay goes on changing"
seek_lands() { # keys..., then the time they lead to
  local ms="${@: -1}"
  keys "${@:1:$#-1}"
  "$render" --replay "$work/steer.tambrel" --until-ms "$ms" --out "$work/until-$ms.png" || fail "--until-ms $ms"
  wait_until 30 eval 'canvas && same_picture "$work/canvas.png" "$work/until-$ms.png"' ||
    fail "a seek to $ms ms shows another picture than the renderer's ($(compare -metric AE "$work/canvas.png" "$work/until-$ms.png" null: 2>&1) pixels differ)"
}
seek_lands ctrl+Home ctrl+Right ctrl+Right ctrl+Right 15000
seek_lands ctrl+Left ctrl+Left 5000
# A click on the timeline goes to the clicked time wherever the replay is
# (it paged by a minute, to the end from 0:05 and to the start from the end).
"$render" --replay "$work/steer.tambrel" --out "$work/steer-end.png" || fail "the steered session does not replay"
click_track() { # from the picture in $1; the track spans client x 270 to 506: this is about 0:10
  local before=$1
  xdotool mousemove --window "$wid" 350 547 click 1
  wait_until 30 eval 'holds && ! same_picture "$work/canvas.png" "$before"' || fail "a click on the timeline stayed on its picture"
  ! same_picture "$work/canvas.png" "$work/steer-end.png" && ! same_picture "$work/canvas.png" "$work/until-0.png" ||
    fail "a click on the timeline went to an end"
}
"$render" --replay "$work/steer.tambrel" --until-ms 0 --out "$work/until-0.png" || fail "--until-ms 0"
click_track "$work/until-5000.png"
cp "$work/canvas.png" "$work/middle-from-start.png"
keys ctrl+End
wait_until 30 eval 'canvas && same_picture "$work/canvas.png" "$work/steer-end.png"' || fail "Ctrl+End did not reach the end"
click_track "$work/steer-end.png"
same_picture "$work/canvas.png" "$work/middle-from-start.png" || fail "a click on the timeline lands elsewhere from the end than from 0:05"
keys ctrl+Return
wait_until 30 eval '[ "$(height)" = 530 ]' || fail "Ctrl+Enter did not take the replay over"
close_program
[ "$status" = 0 ] || fail "exit status $status after the steered replay"
echo "ok the replay bar: pause holds, seeks both ways land on --until-ms pictures, a click goes to its time, Ctrl+Enter takes over"

# A seek far into a long session goes on away from the window: a press is
# answered at once meanwhile, a close ends the program at once, and left
# alone the seek lands on the session's last picture.
"$render" --seed 4 --mode psyche --frames 40000 --pointer 300,200 --click 0 --click 20000 \
  --save-session "$work/long.tambrel" --out "$work/long-end.png" || fail "the renderer made no long session"
long_replay() {
  wine "$build/tambrel.exe" --replay "$(winpath "$work/long.tambrel")" >"$work/app.log" 2>&1 &
  app_pid=$!
  visible_window '^Tambrel' 180 && wid=$found || fail "no window for the long replay"
  wait_until 30 eval '[ "$(height)" = 564 ]' || fail "no replay bar for the long replay"
  keys ctrl+p ctrl+End
}
long_replay
press_button 1
wait_until 2 eval '[ "$(title)" = "Tambrel: Bouncy ball animation" ]' || fail "during a long seek a press was not answered within 2 s"
close_program
long_replay
close_program # fails when the program still runs 5 s after the close
long_replay
read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
wait_until 180 eval 'canvas && same_picture "$work/canvas.png" "$work/long-end.png"' || fail "the long seek did not land on the last picture"
close_program
echo "ok during a long seek the window answers a press and a close at once; the seek lands on the last picture"

head -c 40 "$work/made.tambrel" >"$work/broken.tambrel"
wine "$build/tambrel.exe" --replay "$(winpath "$work/broken.tambrel")" >"$work/app.log" 2>&1 &
app_pid=$!
find_window # the message box, titled as the program
xdotool windowactivate --sync "$wid" key Return
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 2 ] || fail "a broken session: exit status $status, not 2"
grep -q "cannot replay" "$work/app.log" || fail "a broken session: no reason given"
echo "ok a broken session is refused with its reason: $(grep -m1 'cannot replay' "$work/app.log" | tr -d '\r')"

# The command line: help and version answered, in a box and on the output;
# a missing, empty or repeated file refused in a box with its reason.
answers() { # wanted status, what the output shows, arguments...
  local want=$1 shows=$2
  shift 2
  wine "$build/tambrel.exe" "$@" >"$work/app.log" 2>&1 &
  app_pid=$!
  find_box Tambrel 180 || fail "tambrel.exe $*: no box"
  xdotool windowactivate --sync "$box" key Return
  status=0
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" = "$want" ] || fail "tambrel.exe $*: exit status $status, not $want"
  grep -q -e "$shows" "$work/app.log" || fail "tambrel.exe $*: the output does not say '$shows': $(cat "$work/app.log")"
}
answers 0 "^Usage: tambrel" --help
answers 0 "^Usage: tambrel" /?
answers 0 "^tambrel [0-9]" --version
answers 2 "--record needs a file" --record ""
answers 2 "--record needs a file" --record --replay x.tambrel
answers 2 "--record is given twice" --record a.tambrel --record b.tambrel
answers 2 "cannot write the session to Z:.*missing" --record "$(winpath "$work/missing/r.tambrel")"
echo "ok the command line: help and version answered, a missing or repeated file refused in a box"

# F1 tells what Tambrel is, its version and its keys.
wine "$build/tambrel.exe" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
xdotool windowactivate --sync "$wid" key F1
find_box "About Tambrel" 180 || fail "F1 brought no About box"
xdotool windowactivate --sync "$box" key Return
wait_until 30 eval '! find_box "About Tambrel" 0.2' || fail "the About box stays up"
close_program
[ "$status" = 0 ] || fail "exit status $status after the About box"
echo "ok F1 shows the About box"

# The installer, silent: the program, its Start menu entry, the session type
# with its icon and its entry in Apps and Features are there; a session
# opened from the desktop (wine start, as Explorer's double click does)
# replays; the uninstall takes every file and key away.
msi=$(ls "$build"/tambrel-*.msi)
version=$(basename "$msi" .msi | sed 's/^tambrel-//')
keys() { # the key's values, nothing where there is no such key (reg says so on its output)
  local out
  if out=$(wine reg query "$1" "${@:2}" 2>/dev/null); then tr -d '\r' <<<"$out"; fi
}
wine msiexec /i "$(winpath "$msi")" /qn >"$work/app.log" 2>&1 || fail "the silent install failed"
exe=$(find "$WINEPREFIX/drive_c" -path '*/Tambrel/tambrel.exe')
[ -n "$exe" ] && [ -f "$(dirname "$exe")/LICENSE.txt" ] || fail "the installer put no tambrel.exe and licence"
saver() { keys 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE | awk '/SCRNSAVE.EXE/ {sub(/.*REG_SZ +/, ""); print}'; }
[ -f "$(dirname "$exe")/tambrel.scr" ] && [[ "$(saver)" == *'\Tambrel\tambrel.scr' ]] ||
  fail "the installer did not make tambrel.scr the screensaver where none was chosen: '$(saver)'"
[ -n "$(find "$WINEPREFIX/drive_c" -name Tambrel.lnk)" ] || fail "no Start menu entry"
[[ "$(keys 'HKCR\.tambrel' /ve)" == *Tambrel.Session* ]] || fail "sessions are not Tambrel's"
[[ "$(keys 'HKCR\Tambrel.Session\DefaultIcon' /ve)" == *tambrel.exe,0* ]] || fail "sessions have no icon"
[[ "$(keys 'HKCR\Tambrel.Session\shell\open\command' /ve)" == *'tambrel.exe" "%1"'* ]] || fail "sessions do not open in tambrel.exe"
apps=$(keys 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s; keys 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s)
grep -q "DisplayVersion *REG_SZ *$version" <<<"$apps" && grep -q 'Publisher *REG_SZ *The Tambrel developers' <<<"$apps" ||
  fail "no entry in Apps and Features with the version and publisher"
# The same version installed again (another build of it too: its codes
# come from the version) is still one entry.
wine msiexec /i "$(winpath "$msi")" /qn >"$work/app.log" 2>&1 || fail "the second install of the same version failed"
entries=$( (keys 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s; keys 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s) |
  grep -c "DisplayName *REG_SZ *Tambrel$" || true)
[ "$entries" = 1 ] || fail "after installing $version twice, Apps and Features shows Tambrel $entries times"
wine start "$(winpath "$work/made.tambrel")" >"$work/app.log" 2>&1
visible_window '^Tambrel' 180 && wid=$found ||
  fail "a session opened from the desktop started no window"
wait_until 60 title_is "Tambrel: Random fractal cloud painter" || fail "the session opened from the desktop did not replay: '$(title)'"
wmctrl -c Tambrel
wait_until 30 eval '! xdotool search --onlyvisible --name "^Tambrel" >/dev/null 2>&1' || fail "the replaying window did not close"
wine msiexec /x "$(winpath "$msi")" /qn >"$work/app.log" 2>&1 || fail "the silent uninstall failed"
left=$(find "$WINEPREFIX/drive_c" -iname '*tambrel*' -not -path '*/windows/Installer/*' | grep -v -F "$work" || true)
[ -z "$left" ] || fail "the uninstall left: $left"
for key in 'HKCR\.tambrel' 'HKCR\Tambrel.Session' 'HKCU\Software\Tambrel'; do
  [ -z "$(keys "$key")" ] || fail "the uninstall left $key"
done
[ -z "$(saver)" ] || fail "the uninstall left the screensaver it had set: $(saver)"
# A screensaver the user chose stays theirs through an install and an uninstall.
wine reg add 'HKCU\Control Panel\Desktop' /v SCRNSAVE.EXE /d 'C:\windows\system32\chosen.scr' /f >/dev/null 2>&1
wine msiexec /i "$(winpath "$msi")" /qn >"$work/app.log" 2>&1 && [ "$(saver)" = 'C:\windows\system32\chosen.scr' ] &&
  wine msiexec /x "$(winpath "$msi")" /qn >"$work/app.log" 2>&1 && [ "$(saver)" = 'C:\windows\system32\chosen.scr' ] ||
  fail "the installer changed the screensaver the user had chosen: '$(saver)'"
grep -q "DisplayName *REG_SZ *Tambrel" <<<"$(keys 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s)" &&
  fail "the uninstall left its entry in Apps and Features"
echo "ok the installer ($(basename "$msi")): silent install, Start menu, sessions open in tambrel.exe with its icon, the screensaver where none was chosen, Apps and Features; a clean uninstall"

# A drive that fills during --record: the window says so once, at the time;
# the file keeps the session up to its last whole write; at the end the
# user may keep the whole session elsewhere, and the exit status says the
# recording was lost.
if small_disk; then
  wine "$build/tambrel.exe" --record "$(winpath "$small/rec.tambrel")" >"$work/app.log" 2>&1 &
  app_pid=$!
  find_window
  main=$wid
  press_button 13
  xdotool mousemove --window "$wid" 300 250 click 1 mousemove --window "$wid" 200 150
  find_box Recording 180 || fail "a full drive during --record: nothing said in the window"
  first=$box
  xdotool windowactivate --sync "$box" key Return
  wait_until 30 eval '! xdotool search --onlyvisible --name "^Recording\$" >/dev/null 2>&1' || fail "the box stays: $(xdotool search --onlyvisible --name . getwindowname %@ 2>&1 | tr '\n' ' ')"
  # Save Picture onto the full drive says the system's reason, and leaves nothing.
  xdotool windowactivate --sync "$main" key ctrl+s
  find_box "Save Picture" 180 || fail "Ctrl+S brought no file dialog"
  dialog=$box
  sleep 0.5
  xdotool key ctrl+a type --delay 5 "$(winpath "$small/p.png")"
  xdotool key Return
  other_box() { xdotool search --onlyvisible --name '^Save Picture$' 2>/dev/null | grep -v -x -e "$dialog" | awk 'NR == 1'; }
  wait_until 30 eval '[ -n "$(other_box)" ]' || fail "Save Picture onto a full drive: nothing said"
  box=$(other_box)
  xdotool windowactivate --sync "$box" key Return
  wait_until 30 eval '! find_box "Save Picture" 0.2' || fail "Save Picture's box stays up"
  wmctrl -c Tambrel || true
  find_box Recording 180 || fail "a full drive at the end of --record: nothing said"
  xdotool windowactivate --sync "$box" key n # No: do not save elsewhere
  status=0
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" = 3 ] || fail "a recording lost to a full drive: exit status $status, not 3"
  "$render" --replay "$small/rec.tambrel" --out "$work/rec.png" || fail "the file left on the full drive does not replay"
  [ "$(ls -A "$small" | sort | tr '\n' ' ')" = "filler rec.tambrel " ] || fail "left on the full drive: $(ls -A "$small")"
  grep -q -E "Disk full|not enough space" "$work/app.log" || fail "the reason was not given: $(cat "$work/app.log")"
  echo "ok a drive that fills during --record is said once in the window and at the end, Save Picture onto it says why; the file left replays; exit status 3"
else
  echo "skipped the full drive: no disk can be mounted here"
fi

# At 192 dots per inch the window lays itself out at twice the size: the
# client area, the buttons with their captions in an 8-point font at that
# scale, the canvas in 2 x 2 blocks, and a pointer over a canvas pixel
# reads that pixel (the modes see it 5 pixels up and left, as at 96 dpi).
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
wineserver -k || true
start_exe
read -r abs_x abs_y client_w client_h < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4}
  /Absolute upper-left Y:/ {y=$4} /^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print x, y, w, h}')
[ "$client_w" = 1472 ] && [ "$client_h" = 1060 ] || fail "at 192 dpi the client area is ${client_w}x${client_h}, not 1472x1060"
[ "$(post size 1005)" = "212 48" ] || fail "at 192 dpi a button is $(post size 1005), not 212 48"
# The caption "Turn Fireworks On" in the scaled font: twice as tall as at
# 96 dpi, and all of it inside its button.
import -window root "$work/shot.png"
read -r text_h text_l text_r < <(convert "$work/shot.png" -crop "200x40+$((abs_x + 2 * 624 + 6))+$((abs_y + 2 * 104 + 4))" +repage \
  -threshold 50% -negate -trim -format '%h %X %[fx:page.x+w]\n' info: | tr -d '+')
[ "$text_h" -ge 15 ] && [ "$text_l" -ge 2 ] && [ "$text_r" -le 198 ] ||
  fail "at 192 dpi the caption is $text_h pixels high, from $text_l to $text_r of 200"
xdotool mousemove --window "$wid" $((2 * (10 + 200) + 1)) $((2 * (10 + 150) + 1)) # over canvas pixel (200, 150)
post click 1004 # the pen, switched on where the pointer rests: each pass a dot there
inked() { # the pen's first dots are on the screen
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "1192x1016+$((abs_x + 20))+$((abs_y + 20))" +repage "$work/canvas.ppm"
  [ "$(convert "$work/canvas.ppm" -format '%[fx:minima]' info:)" != 1 ]
}
wait_until 30 inked || fail "at 192 dpi the pen draws nothing"
/usr/bin/python3 - "$work/canvas.ppm" <<'PY' || fail "at 192 dpi the canvas is not as it should be"
import sys
data = open(sys.argv[1], 'rb').read()
head = data.split(b'\n', 3)
w, h = map(int, head[1].split())
px = lambda x, y: data[len(data) - 3 * w * h + 3 * (y * w + x):][:3]
mixed = sum(1 for by in range(0, h, 2) for bx in range(0, w, 2)
            if len({px(bx + i, by + j) for j in range(2) for i in range(2)}) > 1)
assert mixed == 0, f'{mixed} blocks of 2 x 2 mixed'
ink = [(x // 2, y // 2) for y in range(0, h, 2) for x in range(0, w, 2) if px(x, y) != b'\xff\xff\xff']
assert ink, 'no dot'
cx, cy = sum(p[0] for p in ink) / len(ink), sum(p[1] for p in ink) / len(ink)
assert abs(cx - 205) <= 1 and abs(cy - 155) <= 1, f'the dot is at ({cx:.1f}, {cy:.1f}), not at the pen (205, 155)'
print(f'ok at 192 dpi: 2 x 2 blocks, the pen where the pointer puts it ({cx:.1f}, {cy:.1f})')
PY
close_program
[ "$status" = 0 ] || fail "exit status $status at 192 dpi"
echo "ok at 192 dpi: 1472 x 1060, buttons of 212 x 48 with captions $text_h pixels high, whole"

# A screen too small for the window at 200 % (1280 x 1024: with the replay
# bar's room it would not fit) gets the largest whole scale that fits, 100 %.
kill "$wm_pid" "$xvfb_pid" 2>/dev/null || true
wait "$wm_pid" "$xvfb_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true # Wine learns the screen's size when it starts
wineserver -w 2>/dev/null || true
screen_w=1280 screen_h=1024
start_display
start_exe
read -r client_w client_h < <(xwininfo -id "$wid" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w, h}')
[ "$client_w" = 736 ] && [ "$client_h" = 530 ] || fail "at 192 dpi on a 1280 x 1024 screen the client area is ${client_w}x${client_h}, not 736x530"
close_program
echo "ok at 192 dpi on a 1280 x 1024 screen: 736 x 530, the whole window on the screen"
echo "Windows edition under Wine: all checks passed"
