#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program at scale factors 1 to 3 on a virtual X display: the
# window scales as asked (not rounded up to the next whole factor), and
# every canvas pixel shows as a whole block of device pixels (the whole part
# of the factor each way), the picture centred in the canvas. A factor a
# hair below a whole number gets the whole number's blocks. Factors below 1,
# which Qt's widgets cannot be drawn at, are raised to 1 with a line that
# says so; a factor the screen cannot hold the window at gives way to the
# largest whole one that fits. Under the sanitizers this also shows that no
# factor paints outside the picture.
program="$1"
source "$(dirname "$0")/xvfb_session.sh"
screen_w=2400 screen_h=1800
start_display

for asked in ${TAMBREL_SCALES:-1 1.5 2 3 0.5 0.75 0.9 screens:0.8 1.9999999}; do
  if [ "${asked#screens:}" != "$asked" ]; then
    QT_SCREEN_SCALE_FACTORS=${asked#screens:} start_program "$program"
  else
    QT_SCALE_FACTOR=$asked start_program "$program"
  fi
  scale=${asked#screens:}
  if awk -v s="$scale" 'BEGIN {exit !(s < 1)}'; then
    grep -q "below 1, which the window cannot be drawn at" "$work/app.log" || fail "at $asked: no word that the factor is raised to 1"
    scale=1
  fi
  want_w=$(awk -v s="$scale" 'BEGIN {printf "%d", 736 * s + 0.5}') want_h=$(awk -v s="$scale" 'BEGIN {printf "%d", 530 * s + 0.5}')
  client() { read -r x y w h < <(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
    /^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print x, y, w, h}'); [ "$w" = "$want_w" ] && [ "$h" = "$want_h" ]; }
  wait_until 30 client || fail "at $asked the client area is ${w}x$h, not ${want_w}x$want_h"
  at() { awk -v s="$scale" -v v="$1" 'BEGIN {printf "%d", v * s + 0.5}'; } # rounded, as Qt places widgets
  xdotool mousemove --window "$wid" "$(at 677)" "$(at 340)" click 1 # "Turn Clouds On"
  wait_until 30 eval '[ "$(title)" = "Tambrel: Random fractal cloud painter" ]' || fail "at $asked the clouds did not switch on"
  xdotool mousemove --window "$wid" "$(at 300)" "$(at 260)" click 1 # a cloud
  canvas_in_blocks() {
    client
    import -window root "$work/shot.png"
    # The canvas control without its two-pixel frame, in device pixels.
    cx=$((x + $(at 10))) cy=$((y + $(at 10))) cw=$(($(at 606) - $(at 10))) ch=$(($(at 518) - $(at 10)))
    convert "$work/shot.png" -crop "${cw}x${ch}+${cx}+${cy}" +repage "$work/canvas.ppm"
    convert "$work/shot.png" -crop "1x1+$((x + 2))+$((y + 2))" +repage "$work/window.ppm" # the window's colour
    python3 - "$work/canvas.ppm" "$scale" "$work/window.ppm" "$asked" <<'PY' 2>"$work/check.log"
import sys
data = open(sys.argv[1], 'rb').read()
fields, pos = [], 0
while len(fields) < 4:  # P6, width, height, maximum
    while data[pos:pos + 1].isspace(): pos += 1
    end = pos
    while not data[end:end + 1].isspace(): end += 1
    fields.append(data[pos:end]); pos = end
pos += 1
w, h = int(fields[1]), int(fields[2])
px = lambda x, y: data[pos + 3 * (y * w + x): pos + 3 * (y * w + x) + 3]
around = open(sys.argv[3], 'rb').read()[-3:]
k = int(float(sys.argv[2]) + 1e-6)
# The picture: the box of everything not in the window's colour around it.
xs = [x for x in range(w) if any(px(x, y) != around for y in range(0, h, 7))]
ys = [y for y in range(h) if any(px(x, y) != around for x in range(0, w, 7))]
x0, x1, y0, y1 = xs[0], xs[-1] + 1, ys[0], ys[-1] + 1
assert (x1 - x0, y1 - y0) == (596 * k, 508 * k), f"picture {x1 - x0}x{y1 - y0}, not {596 * k}x{508 * k}"
assert abs((x0 - (w - x1))) <= 1 and abs((y0 - (h - y1))) <= 1, "picture not centred"
mixed = sum(1 for by in range(y0, y1, k) for bx in range(x0, x1, k)
            if any(px(bx + i, by + j) != px(bx, by) for j in range(k) for i in range(k)))
assert mixed == 0, f"{mixed} of {596 * 508} blocks mixed"
colours = len({px(x, y) for y in range(y0, y1, 5 * k) for x in range(x0, x1, 5 * k)})
assert colours > 100, f"only {colours} colours: no cloud"
print(f"scale {sys.argv[4]}: 596 x 508 blocks of {k} x {k} device pixels, centred")
PY
  }
  wait_until 30 canvas_in_blocks || fail "at $asked: $(tail -n 1 "$work/check.log")"
  close_program
  [ "$status" = 0 ] || fail "exit status $status"
done

# A scale the screen cannot hold the window at (with its replay bar) gives
# way to the largest whole scale that fits: 2x on 1280 x 1024 is 1x.
kill "$wm_pid" "$xvfb_pid" 2>/dev/null || true
wait "$wm_pid" "$xvfb_pid" 2>/dev/null || true
screen_w=1280 screen_h=1024
start_display
QT_SCALE_FACTOR=2 start_program "$program"
read -r w h < <(xwininfo -id "$wid" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w, h}')
[ "$w" = 736 ] && [ "$h" = 530 ] || fail "at 2x on a 1280 x 1024 screen the client area is ${w}x$h, not 736x530"
grep -q "does not fit the screen at a scale of 2; using 1" "$work/app.log" || fail "no word that the scale was lowered"
close_program
[ "$status" = 0 ] || fail "exit status $status"
echo "ok 2x on a 1280 x 1024 screen comes up at 1x, and says so"
echo "scaling under Xvfb: all checks passed"
