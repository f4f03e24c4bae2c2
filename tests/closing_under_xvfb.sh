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
  close_awkwardly "$run"
  [ "$status" = 0 ] || fail "run $run (mode $((run % 14))): exit status $status"
  [ "$close_ms" -gt "$slowest" ] && slowest=$close_ms
done
echo "closed $run times, every exit status 0; slowest close ${slowest} ms"
