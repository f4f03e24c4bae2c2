#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sessions of the real program, end to end. Driven by xdotool through several
# modes (a capture of the screen among them) with pointer moves, clicks,
# double clicks and "Clear Screen", `tambrel --record` writes a session;
# the run ends on a cloud, which stays still. The canvas on the screen then
# equals `tambrel-render --replay` of the file, pixel for pixel: every
# random number of the run was drawn again in the same order. The same file
# replayed in the window ends on the same picture, and a press takes it over.
# The shortcuts save a picture of the canvas and a clip that ends on it. A
# run killed by the system leaves a file that replays.
#   tests/sessions_under_xvfb.sh build/tambrel build/tambrel-render
program="$1" render="$2"
source "$(dirname "$0")/xvfb_session.sh"
screen_w=1920 screen_h=1400 # room for the window at twice the size, with its bar
start_display
session="$work/run.tambrel"


QT_QPA_PLATFORM=xcb "$program" --record "$session" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
wait_until 30 eval '[ -s "$session" ]' || fail "--record wrote nothing"

play() { # a button (0..13 the modes, 15 "Clear Screen"), then pointer moves and clicks on the canvas
  press_button "$1"
  shift
  xdotool "$@"
  sleep 0.3
}
play 3 mousemove --window "$wid" 150 200 click 1 mousemove --window "$wid" 400 300 click --repeat 2 --delay 60 1 # fireworks
play 2 mousemove --window "$wid" 100 100 sleep 0.1 mousemove --window "$wid" 300 200 sleep 0.1 mousemove --window "$wid" 500 400 click 1 # drawing
play 15 mousemove --window "$wid" 250 250 # Clear Screen, the pen still on
play 11 mousemove --window "$wid" 320 240 click 1 # capture: the screen picture goes into the session; a scatter
play 5 mousemove --window "$wid" 200 300 click 1 sleep 0.2 mousemove --window "$wid" 260 280 # gravity
play 13 mousemove --window "$wid" 300 250 click --repeat 2 --delay 80 1 # psyche
play 10 mousemove --window "$wid" 330 260 click 1 # clouds: a still picture to end on
wait_until 30 title_is "Tambrel: Random fractal cloud painter" || fail "the clouds did not switch on"
sleep 0.5
canvas_to "$work/live.png"

# The keyboard's shortcuts keep it: Ctrl+S a picture, Ctrl+E a clip of the
# last ten seconds, each through the file dialog (the name typed over the
# one it offers).
dialog() { xdotool search --onlyvisible --name "^Save (Picture|Clip)\$" 2>/dev/null | awk 'NR == 1'; }
new_dialog() { [ -n "$(dialog)" ] && [ "$(dialog)" != "${1:-}" ]; }
active_dialog() { [ -n "$(dialog)" ] && [ "$(xdotool getactivewindow 2>/dev/null)" = "$(dialog)" ]; }
save_as() { # shortcut, file: the dialog that comes, then the file's name
  xdotool windowactivate --sync "$wid" key "$1"
  wait_until 30 new_dialog || fail "no dialog after $1"
  if [ "$1" = ctrl+e ]; then # the clip's last 2 s (no longer than it need be), as offered; then the file dialog
    local first
    first=$(dialog)
    wait_until 30 active_dialog || fail "the clip's dialog never has the keyboard"
    xdotool key ctrl+a type 2
    xdotool key Return
    wait_until 30 new_dialog "$first" || fail "no file dialog for the clip"
  fi
  wait_until 30 active_dialog || fail "the file dialog never has the keyboard"
  xdotool key ctrl+a type --delay 5 "$2"
  xdotool key Return
}
save_as ctrl+s "$work/picture.png"
wait_until 30 eval '[ -s "$work/picture.png" ]' || fail "Ctrl+S saved no picture"
same_picture "$work/live.png" "$work/picture.png" || fail "the saved picture differs from the canvas on the screen"
wait_until 30 eval 'xdotool search --onlyvisible --name "^Saved\$" >/dev/null' || fail "no note says the picture was saved"
/usr/bin/python3 -c '
import sys
from PIL import Image
t = Image.open(sys.argv[1]).text
assert t.get("Mode") == "clouds" and t.get("Software", "").startswith("Tambrel ") and t.get("Seed", "").isdigit(), t
' "$work/picture.png" || fail "the picture does not say what it is"
wait_until 30 eval '! xdotool search --onlyvisible --name "^Saved\$" >/dev/null' || fail "the picture's note stays"
save_as ctrl+e "$work/clip.webp"
wait_until 240 eval '[ -s "$work/clip.webp" ]' || fail "Ctrl+E saved no clip"
wait_until 30 eval 'xdotool search --onlyvisible --name "^Saved\$" >/dev/null' || fail "no note says the clip was saved"
/usr/bin/python3 -c '
import sys
from PIL import Image
im = Image.open(sys.argv[1])
im.seek(im.n_frames - 1)
im.convert("RGB").save(sys.argv[2])
' "$work/clip.webp" "$work/clip-last.png" || fail "the clip does not decode"
same_picture "$work/live.png" "$work/clip-last.png" || fail "the clip's last frame differs from the canvas on the screen"
echo "ok Ctrl+S saves the canvas's exact picture, Ctrl+E a clip that ends on it"
close_program
[ "$status" = 0 ] || fail "exit status $status"
# TAMBREL_KEEP_SESSION=DIR keeps the session and its picture (how the other
# editions' tests got the Linux window's session they replay).
[ -z "${TAMBREL_KEEP_SESSION:-}" ] || cp "$session" "$work/picture.png" "$TAMBREL_KEEP_SESSION/"

"$render" --replay "$session" --out "$work/replayed.png" || fail "the renderer could not replay the session"
same_picture "$work/live.png" "$work/replayed.png" ||
  fail "the replay differs from the run in $(compare -metric AE "$work/live.png" "$work/replayed.png" null: 2>&1) pixels"
size=$(stat -c %s "$session")
echo "ok a session recorded through real input replays in the renderer to the window's own canvas ($size bytes)"

# The same session in the window: it plays at its pace, ends on the same
# cloud, and is then the user's.
QT_QPA_PLATFORM=xcb "$program" --replay "$session" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
wait_until 30 title_is "Tambrel: Random fractal cloud painter" || fail "the replay did not reach its last mode: '$(title)'"
canvas_matches() { canvas_to "$work/window.png" && same_picture "$work/window.png" "$work/replayed.png"; }
wait_until 30 canvas_matches || fail "the window's replay ends on another picture"
press_button 1
wait_until 30 title_is "Tambrel: Bouncy ball animation" || fail "a press after the replay did nothing: '$(title)'"
close_program
[ "$status" = 0 ] || fail "exit status $status after the replay"
echo "ok the window replays it to the same picture, and a press takes it over"

# The replay bar, through the keyboard: the window grows by it while a
# session plays; a pause holds the picture; seeks forwards and backwards
# land on the renderer's --until-ms picture; 8x ends sooner than the
# session's own pace; a take-over from a seek records the whole story.
"$render" --seed 9 --mode psyche --frames 1500 --click 0 --click 600 --mode fireworks --frames 1500 --click 10 \
  --click 700 --save-session "$work/steer.tambrel" || fail "the renderer made no session to steer"
QT_QPA_PLATFORM=xcb "$program" --replay "$work/steer.tambrel" --at 2 --record "$work/story.tambrel" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
height() { xwininfo -id "$wid" | awk '/Height:/ {print $2}'; }
wait_until 30 eval '[ "$(height)" -gt 530 ]' || fail "no replay bar under the window ($(height) px tall)"
keys() { xdotool windowactivate --sync "$wid" key --delay 80 "$@"; sleep 0.5; }
keys ctrl+p
canvas_to "$work/paused.png"
sleep 0.5
canvas_to "$work/still-paused.png"
same_picture "$work/paused.png" "$work/still-paused.png" || fail "a paused replay goes on changing"
seek_lands() { # keys..., then the time they lead to
  local ms="${@: -1}"
  keys "${@:1:$#-1}"
  "$render" --replay "$work/steer.tambrel" --until-ms "$ms" --out "$work/until-$ms.png" || fail "--until-ms $ms"
  wait_until 30 eval 'canvas_to "$work/seek.png" && same_picture "$work/seek.png" "$work/until-$ms.png"' ||
    fail "a seek to $ms ms shows another picture than the renderer's ($(compare -metric AE "$work/seek.png" "$work/until-$ms.png" null: 2>&1) pixels differ)"
}
seek_lands ctrl+Home ctrl+Right ctrl+Right ctrl+Right 15000
seek_lands ctrl+Right ctrl+Right 25000
seek_lands ctrl+Left ctrl+Left ctrl+Left 10000
keys ctrl+plus ctrl+plus ctrl+plus ctrl+p # 8x from 10 s: the 20 s left take 2.5 s
started=$(date +%s%N)
wait_until 30 eval '[ "$(height)" = 530 ]' || fail "at 8x the replay did not end"
took=$((($(date +%s%N) - started) / 1000000))
[ "$took" -lt 10000 ] || fail "at 8x the last 20 s took $took ms"
press_button 10
xdotool mousemove --window "$wid" 300 250 click 1
wait_until 30 title_is "Tambrel: Random fractal cloud painter" || fail "no take-over after the replay"
sleep 0.5
canvas_to "$work/taken.png"
close_program
"$render" --replay "$work/story.tambrel" --out "$work/story.png" || fail "the story after a seek does not replay"
same_picture "$work/taken.png" "$work/story.png" || fail "the story recorded after a seek replays to another picture"
echo "ok the replay bar: pause holds, seeks land on --until-ms pictures both ways, 8x ends in $took ms, the story replays"

# A seek far into a long session goes on away from the window: meanwhile
# a press is answered at once (the window froze for the whole replay to
# there before), and a close ends the program at once; left alone, the
# seek lands on the renderer's picture of the session's end.
"$render" --seed 4 --mode psyche --frames 40000 --pointer 300,200 --click 0 --click 20000 \
  --save-session "$work/long.tambrel" --out "$work/long-end.png" || fail "the renderer made no long session"
long_replay() {
  QT_QPA_PLATFORM=xcb "$program" --replay "$work/long.tambrel" >"$work/app.log" 2>&1 &
  app_pid=$!
  find_window
  wait_until 30 title_is "Tambrel: Psychedelic animation" || fail "the long replay did not start: '$(title)'"
  keys ctrl+p ctrl+End
}
long_replay
press_button 1
wait_until 2 title_is "Tambrel: Bouncy ball animation" || fail "during a long seek a press was not answered within 2 s"
close_program
long_replay
close_program # fails when the program is still running 5 s after the close
long_replay
wait_until 120 eval 'canvas_to "$work/seek.png" && same_picture "$work/seek.png" "$work/long-end.png"' ||
  fail "the long seek did not land on the session's last picture"
close_program
echo "ok during a long seek the window answers a press and a close at once; the seek lands on the last picture"

# At twice the size, the window shows the newest picture: a pen that has
# stopped shows its last stroke, in 2 x 2 blocks, as the renderer replays it.
QT_SCALE_FACTOR=2 QT_QPA_PLATFORM=xcb "$program" --record "$work/twice.tambrel" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
xdotool mousemove --window "$wid" $((2 * 677)) $((2 * (8 + 32 * 2 + 12))) click 1 # "Turn Drawing On"
wait_until 30 title_is "Tambrel: Simple drawing mode" || fail "at twice the size the drawing mode did not switch on"
for x in 100 160 220 280 340 400 460; do xdotool mousemove --window "$wid" $((2 * x)) $((2 * (200 + x / 3))); sleep 0.05; done
# The pen rests beside the canvas: a resting pen's dot would still grow
# whenever its width reached a new high, here every dot falls outside. It
# rests in the empty slot between the buttons, where no button's tooltip
# comes up over the canvas.
xdotool mousemove --window "$wid" $((2 * 700)) $((2 * 468))
read -r abs_x abs_y < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
twice_to() {
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "1192x1016+$((abs_x + 20))+$((abs_y + 20))" +repage -sample 50% "$1"
}
twice_to "$work/twice.png"
settled() { cp "$work/twice.png" "$work/twice-before.png" && sleep 0.3 && twice_to "$work/twice.png" && same_picture "$work/twice.png" "$work/twice-before.png"; }
wait_until 30 settled || fail "at twice the size the picture never settles"
close_program
"$render" --replay "$work/twice.tambrel" --out "$work/twice-replayed.png" || fail "the session at twice the size does not replay"
same_picture "$work/twice.png" "$work/twice-replayed.png" ||
  fail "at twice the size the window shows another picture than the last one ($(compare -metric AE "$work/twice.png" "$work/twice-replayed.png" null: 2>&1) pixels differ)"
echo "ok at twice the size the window shows the newest picture, in whole blocks"

# A run killed by the system keeps what was recorded up to its last second.
QT_QPA_PLATFORM=xcb "$program" --record "$work/killed.tambrel" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
press_button 13
xdotool mousemove --window "$wid" 300 250 click 1
sleep 1.5
kill -9 "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
"$render" --replay "$work/killed.tambrel" --out "$work/killed.png" || fail "the session of a killed run does not replay"
echo "ok a killed run's session replays"
echo "sessions under Xvfb: all checks passed"
