#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The window as a screen reader sees it, through the accessibility bus
# (AT-SPI) on a private session bus: a dialog named by its title, the canvas
# named and described, the mode buttons described, toggles that are checked
# while their mode is on, and a press through the action interface. The
# replay's timeline, found that way, then takes real clicks and keys.
program="$1" render="$2"
source "$(dirname "$0")/xvfb_session.sh"
start_display

dbus-daemon --session --fork --print-address=1 --print-pid=3 >"$work/bus" 3>"$work/bus.pid"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
bus_pid=$(head -n1 "$work/bus.pid")
trap 'kill "$bus_pid" "${launcher_pid:-}" 2>/dev/null; cleanup' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
launcher_pid=$!
a11y_bus_up
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_program "$program"

PYTHONPATH="$(dirname "$0")" /usr/bin/python3 - <<'PY' || fail "the accessibility tree"
import sys, time
import pyatspi
from atspi import application, find, press

def expect(ok, what):
    if not ok:
        sys.exit(what)

window = application()[0]
expect(window.getRoleName() in ('dialog', 'frame'), f'the window is a {window.getRoleName()!r}')
expect(window.name == 'Tambrel', f'the window is named {window.name!r}')
canvas = find(window, 'Canvas')
expect('No mode is on' in canvas.description, f'canvas description {canvas.description!r}')
button = find(window, 'Turn Fireworks On')
expect('sparks' in button.description, f'button description {button.description!r}')
states = button.getState()
expect(not states.contains(pyatspi.STATE_CHECKED), 'the button of a mode that is off is checked')
press(button)
for _ in range(50):
    if window.name == 'Tambrel: Fireworks animation':
        break
    time.sleep(0.1)
expect(window.name == 'Tambrel: Fireworks animation', f'after the press the window is named {window.name!r}')
button = find(window, 'Turn Fireworks Off')
expect(button.getState().contains(pyatspi.STATE_CHECKED), 'the button of the mode that is on is not checked')
expect('Fireworks animation is on' in canvas.description and 'burst' in canvas.description, f'canvas description {canvas.description!r}')
print('accessibility: dialog, canvas, buttons, toggles and the press action as a screen reader sees them')
PY
[ "$(title)" = "Tambrel: Fireworks animation" ] || fail "title '$(title)' after the press"
close_program
[ "$status" = 0 ] || fail "exit status $status"

# The timeline's own keys, once a click has given it the focus: each arrow
# is a step of 5 s, however quickly the keys come (it lost steps).
"$render" --seed 9 --mode psyche --frames 3000 --click 0 --click 600 --save-session "$work/steer.tambrel" ||
  fail "the renderer made no session"
"$render" --replay "$work/steer.tambrel" --until-ms 10000 --out "$work/until.png" || fail "--until-ms 10000"
QT_QPA_PLATFORM=xcb "$program" --replay "$work/steer.tambrel" >"$work/app.log" 2>&1 &
app_pid=$!
find_window
xdotool windowactivate --sync "$wid" key ctrl+p
read -r track_x track_y < <(PYTHONPATH="$(dirname "$0")" /usr/bin/python3 - <<'PY'
import pyatspi
from atspi import application, find
box = find(application()[0], 'Replay position').queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
print(box.x + box.width // 2, box.y + box.height // 2)
PY
) || fail "no timeline on the accessibility bus"
xdotool mousemove "$track_x" "$track_y" click 1 key --delay 20 Home Right Right Right Right Left Left
wait_until 30 eval 'canvas_to "$work/seek.png" && same_picture "$work/seek.png" "$work/until.png"' ||
  fail "Home, four Rights and two Lefts on the timeline show another picture than 0:10's"
close_program
echo "ok the timeline's keys after a click on it: Home, four Rights and two Lefts land on 0:10"
echo "accessibility under Xvfb: all checks passed"
