#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs one fuzz target for a while and prints one line: executions, their
# rate, and whether anything was found. A failing input is left as
# BUILD_DIR/crash-*: copy it to fuzz/regressions/TARGET/ to keep it.
#   scripts/fuzz.sh BUILD_DIR TARGET SECONDS [CORPUS_DIR]
# The target's kept corpus seeds the run; new finds go to CORPUS_DIR (a
# temporary folder when none is given). Exit status 1 when something was found.
set -uo pipefail
build=$1 target=$2 seconds=$3 corpus=${4:-}
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=""
if [ -z "$corpus" ]; then
  scratch=$(mktemp -d)
  corpus=$scratch
fi
mkdir -p "$corpus"
log=$(mktemp)
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$build/" "$corpus" "$here/fuzz/corpus/$target" >"$log" 2>&1
status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
took=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
label="$target ($(basename "$build"))"
if [ "$status" = 0 ]; then
  echo "$label: ${runs:-0} executions in $seconds s, ${took:-0}/s, nothing found"
else
  echo "$label: FOUND after ${runs:-?} executions:"
  grep -E 'ERROR|SUMMARY|pixel|Test unit written|runtime error' "$log" | head -n 20
fi
rm -f "$log"
[ -n "$scratch" ] && rm -rf "$scratch"
exit $((status != 0))
