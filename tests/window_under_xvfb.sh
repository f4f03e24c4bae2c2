#!/usr/bin/env bash
# The real program on a virtual X display with a window manager, checked from
# outside as a user would see it: client size, centring, title, a white
# canvas, Escape not closing, a mode button, and the close button's exit.
program="$1"
source "$(dirname "$0")/xvfb_session.sh"
start_display
start_program "$program"
sleep 1.5 # the window manager frames and the program centres the window

geometry() { xwininfo -id "$wid"; }
client_w=$(geometry | awk '/^  Width:/ {print $2}')
client_h=$(geometry | awk '/^  Height:/ {print $2}')
abs_x=$(geometry | awk '/Absolute upper-left X:/ {print $4}')
abs_y=$(geometry | awk '/Absolute upper-left Y:/ {print $4}')
[ "$client_w" = 736 ] && [ "$client_h" = 530 ] || fail "client area ${client_w}x${client_h}, expected 736x530"

read -r left right top bottom < <(xprop -id "$wid" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
outer_w=$((client_w + left + right)) outer_h=$((client_h + top + bottom))
want_x=$(((screen_w - outer_w) / 2 + left)) want_y=$(((screen_h - outer_h) / 2 + top))
[ $((abs_x - want_x)) -ge -1 ] && [ $((abs_x - want_x)) -le 1 ] && [ $((abs_y - want_y)) -ge -1 ] && [ $((abs_y - want_y)) -le 1 ] ||
  fail "client at ($abs_x, $abs_y), centred frame would put it at ($want_x, $want_y)"
xprop -id "$wid" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE && fail "the window can be maximised"

canvas_colours() { # distinct colours of the drawing surface (client 10,10 596x508)
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "596x508+$((abs_x + 10))+$((abs_y + 10))" +repage -unique-colors txt:- | tail -n +2 | wc -l
}
canvas_is_white() {
  import -window root "$work/shot.png"
  [ "$(convert "$work/shot.png" -crop "596x508+$((abs_x + 10))+$((abs_y + 10))" +repage -format '%[fx:minima]' info:)" = 1 ]
}
canvas_is_white || fail "the canvas is not white at start"

[ "$(title)" = Tambrel ] || fail "title '$(title)'"

xdotool mousemove --window "$wid" 300 300 key --window "$wid" Escape
sleep 0.5
kill -0 "$app_pid" 2>/dev/null || fail "Escape closed the window"

# Fireworks button (624, 104, 106 x 24), then a click on the canvas.
xdotool mousemove --window "$wid" 677 116 click 1
sleep 0.3
[ "$(title)" = "Tambrel: Fireworks animation" ] || fail "title after the fireworks button: '$(title)'"
xdotool mousemove --window "$wid" 300 250 click 1
sleep 0.3
[ "$(canvas_colours)" -gt 3 ] || fail "no burst on the canvas after a click"
xdotool mousemove --window "$wid" 677 116 click 1
sleep 0.3
[ "$(title)" = Tambrel ] || fail "the second press did not switch the mode off"
canvas_is_white || fail "the canvas is not white after switching off"

# The close button, through the window manager.
close_program
[ "$status" = 0 ] || fail "exit status $status"
echo "window under Xvfb: all checks passed"
