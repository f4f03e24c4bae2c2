#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the real program costs while it does nothing, while it animates and
# while it animates minimised or rolled up: CPU share and wake-ups a second, per thread,
# read from /proc over a few seconds. Prints the figures; fails when the
# idle or minimised window thread wakes more than a few times a second.
#   tests/idle_cost_under_xvfb.sh build/tambrel [seconds]
program="$1"
seconds="${2:-3}"
source "$(dirname "$0")/xvfb_session.sh"
start_display
start_program "$program"
sleep 1.5

ticks=$(getconf CLK_TCK)
# CPU ticks and context switches (each one a wake-up) of the window thread
# (the process's first) and of all threads together.
sample() {
  local main_sw=0 all_sw=0 cpu
  for task in /proc/"$app_pid"/task/*; do
    local sw
    sw=$(awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {n += $2} END {print n}' "$task/status")
    all_sw=$((all_sw + sw))
    [ "$(basename "$task")" = "$app_pid" ] && main_sw=$sw
  done
  cpu=$(awk '{print $14 + $15}' /proc/"$app_pid"/stat)
  echo "$cpu $main_sw $all_sw"
}
measure() { # label: prints "label cpu% window-wakeups/s all-wakeups/s" and sets the three
  read -r c0 m0 a0 < <(sample)
  sleep "$seconds"
  read -r c1 m1 a1 < <(sample)
  cpu=$(awk -v d=$((c1 - c0)) -v t="$ticks" -v s="$seconds" 'BEGIN {printf "%.1f", 100 * d / t / s}')
  window=$(((m1 - m0) / seconds)) all=$(((a1 - a0) / seconds))
  printf '%-28s %6s %% CPU %7s window-thread wake-ups/s %7s wake-ups/s in all\n' "$1" "$cpu" "$window" "$all"
}

measure "idle"
idle_all=$all idle_cpu=$cpu
xdotool mousemove --window "$wid" 677 $((8 + 32 * 13 + 12)) click 1 # "Turn Psyche On"
sleep 0.3
xdotool mousemove --window "$wid" 300 250 click 1 # rings
sleep 0.5
measure "psyche on, visible"
xdotool windowminimize --sync "$wid"
sleep 0.5
measure "psyche on, minimised"
minimised_window=$window
# Rolled up into its title bar, the window shows nothing either.
xdotool windowactivate --sync "$wid"
sleep 0.5
wmctrl -i -r "$wid" -b add,shaded
sleep 0.5
measure "psyche on, rolled up"
shaded_window=$window
wmctrl -i -r "$wid" -b remove,shaded
sleep 0.5
measure "psyche on, unrolled"
unshaded_window=$window
kill -0 "$app_pid" || fail "the program ended"

[ "$idle_all" -le 10 ] || fail "idle, the program wakes $idle_all times a second"
awk -v c="$idle_cpu" 'BEGIN {exit !(c < 1)}' || fail "idle, the program takes $idle_cpu % of a core"
[ "$minimised_window" -le 10 ] || fail "minimised, the window thread wakes $minimised_window times a second"
[ "$shaded_window" -le 10 ] || fail "rolled up, the window thread wakes $shaded_window times a second"
[ "$unshaded_window" -gt 50 ] || fail "unrolled, the window does not paint again"
echo "ok"
