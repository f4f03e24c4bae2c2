#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program on a virtual X display with a window manager, checked from
# outside as a user would see it: client size, centring, title, a white
# canvas, Escape not closing, a mode button, and the close button's exit.
program="$1"
source "$(dirname "$0")/xvfb_session.sh"
start_display
start_program "$program"

geometry() { xwininfo -id "$wid"; }
client_w=$(geometry | awk '/^  Width:/ {print $2}')
client_h=$(geometry | awk '/^  Height:/ {print $2}')
[ "$client_w" = 736 ] && [ "$client_h" = 530 ] || fail "client area ${client_w}x${client_h}, expected 736x530"

# The window manager frames the window after it is mapped, and the program
# centres it once more, frame included: wait for that (at most 10 s).
centred() {
  read -r left right top bottom < <(xprop -id "$wid" _NET_FRAME_EXTENTS | sed -n 's/.*= //; s/,//gp')
  [ -n "${bottom:-}" ] || return 1
  abs_x=$(geometry | awk '/Absolute upper-left X:/ {print $4}')
  abs_y=$(geometry | awk '/Absolute upper-left Y:/ {print $4}')
  outer_w=$((client_w + left + right)) outer_h=$((client_h + top + bottom))
  want_x=$(((screen_w - outer_w) / 2 + left)) want_y=$(((screen_h - outer_h) / 2 + top))
  [ $((abs_x - want_x)) -ge -1 ] && [ $((abs_x - want_x)) -le 1 ] && [ $((abs_y - want_y)) -ge -1 ] && [ $((abs_y - want_y)) -le 1 ]
}
wait_until 30 centred || fail "client at ($abs_x, $abs_y), centred frame would put it at ($want_x, $want_y)"
has_property _NET_WM_ALLOWED_ACTIONS MAXIMIZE && fail "the window can be maximised"

canvas_colours() { # distinct colours of the drawing surface (client 10,10 596x508)
  import -window root "$work/shot.png"
  convert "$work/shot.png" -crop "596x508+$((abs_x + 10))+$((abs_y + 10))" +repage -format '%k' info:
}
canvas_is_white() {
  import -window root "$work/shot.png"
  [ "$(convert "$work/shot.png" -crop "596x508+$((abs_x + 10))+$((abs_y + 10))" +repage -format '%[fx:minima]' info:)" = 1 ]
}
canvas_is_white || fail "the canvas is not white at start"

[ "$(title)" = Tambrel ] || fail "title '$(title)'"

# The window's identity: its X11 class is the desktop entry's StartupWMClass,
# so task bars tie it to the launcher, and it carries the application's icon.
wm_class=$(grep '^StartupWMClass=' "$(dirname "$0")/../data/org.tambrel.Tambrel.desktop" | cut -d= -f2)
has_property WM_CLASS "\"$wm_class\"\$" || fail "WM_CLASS $(xprop -id "$wid" WM_CLASS), desktop entry says $wm_class"
wait_until 30 has_property _NET_WM_ICON 'Icon (16 x 16)' || fail "the window has no icon of its own"

xdotool mousemove --window "$wid" 300 300 key --window "$wid" Escape
sleep 0.5
kill -0 "$app_pid" 2>/dev/null || fail "Escape closed the window"

# Every mode button switches its mode on with its title, the canvas shows
# something once clicked, and a second press switches everything off. Each
# check waits for what it looks for (at most 5 s), as a user's eyes would.
titles=("Tambrel: Cursor follower animation" "Tambrel: Bouncy ball animation" "Tambrel: Simple drawing mode"
  "Tambrel: Fireworks animation" "Tambrel: Particle emittor animation" "Tambrel: Gravity field simulation"
  "Tambrel: Falling snow animation" "Tambrel: Starfield animation" "Tambrel: Collision detection animation"
  "Tambrel: Shade-bob type drawing mode" "Tambrel: Random fractal cloud painter" "Tambrel: Screen capture degrader"
  "Tambrel: 3D whirlwind animation" "Tambrel: Psychedelic animation")
canvas_shows_something() { [ "$(canvas_colours)" -gt 1 ]; }
for n in $(seq 0 13); do
  button_y=$((8 + 32 * n + 12))
  xdotool mousemove --window "$wid" 677 "$button_y" click 1
  wait_until 30 title_is "${titles[$n]}" || fail "title after button $n: '$(title)'"
  xdotool mousemove --window "$wid" 300 250 click 1 sleep 0.4 mousemove --window "$wid" 340 280 click 1
  wait_until 30 canvas_shows_something || fail "the canvas shows a single colour in '${titles[$n]}' after clicks"
  xdotool mousemove --window "$wid" 677 "$button_y" click 1
  wait_until 30 title_is Tambrel || fail "the second press of button $n did not switch the mode off"
done
wait_until 30 canvas_is_white || fail "the canvas is not white after switching off"

# Clear Screen whitens the black canvas of the shade-bob mode, which stays on.
xdotool mousemove --window "$wid" 677 $((8 + 32 * 9 + 12)) click 1
wait_until 30 title_is "${titles[9]}" || fail "the shade-bob mode did not switch on"
xdotool mousemove --window "$wid" 677 $((488 + 12)) click 1 mousemove --window "$wid" 900 600
wait_until 30 canvas_is_white || fail "Clear Screen did not whiten the canvas"
[ "$(title)" = "${titles[9]}" ] || fail "Clear Screen switched the mode off"

# The close button, through the window manager.
close_program
[ "$status" = 0 ] || fail "exit status $status"
echo "window under Xvfb: all checks passed"
