#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program closed again and again at random moments: in every mode,
# during a click reaction's pause, during a capture. It must always exit with
# status 0. Prints the slowest close. TAMBREL_SOAK_SECONDS keeps it going
# that long after the given number of runs.
program="$1"
runs="${2:-42}"
source "$(dirname "$0")/xvfb_session.sh"
start_display
slowest=0
deadline=$((SECONDS + ${TAMBREL_SOAK_SECONDS:-0}))
for ((run = 0; run < runs || SECONDS < deadline; run++)); do
  start_program "$program"
  mode=$((run % 14))
  xdotool mousemove --window "$wid" 677 $((8 + 32 * mode + 12)) click 1
  case $((run % 3)) in
    0) xdotool mousemove --window "$wid" 300 250 click 1 ;;                # a click reaction, maybe pausing
    1) xdotool mousemove --window "$wid" 677 $((8 + 32 * 11 + 12)) click 1 ;; # the capture
  esac
  sleep "0.$((RANDOM % 4))"
  close_program
  [ "$status" = 0 ] || fail "run $run (mode $mode): exit status $status"
  [ "$close_ms" -gt "$slowest" ] && slowest=$close_ms
done
echo "closed $run times, every exit status 0; slowest close ${slowest} ms"
