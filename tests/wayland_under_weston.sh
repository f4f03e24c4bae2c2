#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program on Wayland: weston's headless compositor and Qt's Wayland
# platform. The window asks for a fixed size and carries the app id of its
# desktop entry (read from the protocol the program sends); a mode switched
# on through the accessibility bus shows in a screenshot of the compositor.
set -euo pipefail
source "$(dirname "$0")/waiting.sh"
program="$1"
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export XDG_RUNTIME_DIR="$work/run" WAYLAND_DISPLAY=tambrel-test
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY
weston --backend=headless-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" --width=1280 --height=1024 \
  --debug --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
wait_until 60 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "weston did not start: $(tail -n 5 "$work/weston.log")"

dbus-daemon --session --fork --print-address=1 --print-pid=3 >"$work/bus" 3>"$work/bus.pid" 2>/dev/null
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
pids+=("$(head -n1 "$work/bus.pid")")
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
a11y_bus_up

QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 WAYLAND_DEBUG=client "$program" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
# The window's first requests, waited for (at most 60 s: a first start on a
# fresh machine builds its font cache first). The line under the window is
# a window of its own, whose requests may come first.
first_requests() {
  grep -q 'set_app_id(' "$work/app.log" && grep -q 'set_max_size(736, 530)' "$work/app.log" || ! kill -0 "$app" 2>/dev/null
}
wait_until 60 first_requests || true
kill -0 "$app" 2>/dev/null || fail "the program ended: $(grep -v ' -> \| wl_' "$work/app.log" | tail -n 5)"
grep -q 'set_app_id("org.tambrel.Tambrel")' "$work/app.log" || fail "the window's app id is not org.tambrel.Tambrel"
grep -q 'set_min_size(736, 530)' "$work/app.log" && grep -q 'set_max_size(736, 530)' "$work/app.log" ||
  fail "the window does not ask for a fixed 736 x 530"

shot() { # a screenshot of the compositor, as PPM
  rm -f "$work"/wayland-screenshot*.png
  (cd "$work" && timeout 10 weston-screenshooter) || fail "no screenshot"
  convert "$work"/wayland-screenshot*.png "$work/$1.ppm"
}
black() { # pure black pixels of a screenshot
  /usr/bin/python3 -c '
import sys
d = open(sys.argv[1], "rb").read()
head = d.split(b"\n", 3)
w, h = map(int, head[1].split()); px = head[3]
print(sum(1 for i in range(0, 3 * w * h, 3) if px[i:i + 3] == b"\0\0\0"))' "$work/$1.ppm"
}
shot before
PYTHONPATH="$(dirname "$0")" /usr/bin/python3 - <<'PY' || fail "could not press the button through the accessibility bus"
from atspi import application, find, press
press(find(application(), 'Turn Shader On'))
PY
before=$(black before)
for _ in $(seq 20); do # until the black canvas shows, at most 10 s
  sleep 0.5
  shot after
  after=$(black after)
  [ $((after - before)) -ge $((596 * 508 * 99 / 100)) ] && break
done
[ $((after - before)) -ge $((596 * 508 * 99 / 100)) ] ||
  fail "the shade-bob mode's black canvas does not show: $before black pixels before, $after after"
kill "$app"
echo "Wayland under weston: app id, fixed size, a mode switched on and shown"
