#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program closed again and again at random moments: in every mode,
# during a click reaction's pause, during a capture, and once by another
# program destroying its window. It must always exit with status 0. Prints the slowest close. TAMBREL_SOAK_SECONDS keeps it going
# that long after the given number of runs.
program="$1"
runs="${2:-42}"
source "$(dirname "$0")/xvfb_session.sh"
start_display
slowest=0
deadline=$((SECONDS + ${TAMBREL_SOAK_SECONDS:-0}))
for ((run = 0; run < runs || SECONDS < deadline; run++)); do
  start_program "$program"
  close_awkwardly "$run"
  [ "$status" = 0 ] || fail "run $run (mode $((run % 14))): exit status $status"
  [ "$close_ms" -gt "$slowest" ] && slowest=$close_ms
done
# Another program destroying the window ends the program as a close does.
start_program "$program"
press_button 13
sleep 0.3
xdotool windowclose "$wid"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$app_pid" 2>/dev/null && fail "still running 5 s after its window was destroyed"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 0 ] || fail "exit status $status after its window was destroyed"
echo "closed $run times, every exit status 0; slowest close ${slowest} ms; a destroyed window ends it too"
