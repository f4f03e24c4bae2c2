#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A long soak, far beyond what CI can afford, on two lanes side by side:
#   fuzzing:  every fuzz target, first in a fast build without sanitizers
#             (breadth), then under AddressSanitizer + UndefinedBehavior-
#             Sanitizer (depth);
#   storms:   random events against the running animation thread (plain and
#             under ThreadSanitizer), closes at awkward moments (the window
#             in-process, the real program under Xvfb), and the storm and
#             closes of the web page and of the Windows edition under Wine.
# Each part gets its share of the time and prints its figures; a summary
# follows. Exit status 0 only when nothing failed and nothing was found.
#   scripts/soak.sh [MINUTES]      (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
total=$((minutes * 60))
share() { echo $((total * $1 / 100)); } # seconds for a percentage of the soak

scripts/setup.sh
scripts/web.sh build >/dev/null
scripts/windows.sh >/dev/null
jobs=$(nproc)
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBREL_SANITIZE=thread -DTAMBREL_WITH_QT=OFF \
  -DTAMBREL_WITH_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target tambrel_core_tests
for kind in fast sanitized; do
  dir=build-fuzz-fast sanitize=""
  [ "$kind" = sanitized ] && dir=build-fuzz sanitize=address,undefined
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBREL_FUZZ=ON \
    -DTAMBREL_SANITIZE="$sanitize" -DTAMBREL_WITH_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$jobs" --target canvas_fuzz canvas_reference_fuzz clipboard_fuzz session_fuzz
done

out=build-soak
rm -rf "$out"
mkdir -p "$out"
echo "== soak of $minutes minutes, from $(date -u '+%Y-%m-%d %H:%M') UTC, on $(git rev-parse --short HEAD)"

fuzz_lane() {
  local ok=0
  for run in "build-fuzz-fast canvas 34" "build-fuzz-fast canvas_reference 18" "build-fuzz-fast clipboard 7" \
    "build-fuzz-fast session 8" "build-fuzz canvas 10" "build-fuzz canvas_reference 10" "build-fuzz clipboard 6" \
    "build-fuzz session 7"; do
    set -- $run
    scripts/fuzz.sh "$1" "$2" "$(share "$3")" "$out/corpus-$2" || ok=1
  done
  return $ok
}

storm_lane() {
  local ok=0
  TAMBREL_SOAK_SECONDS=$(share 22) build/tests/tambrel_core_tests --gtest_filter='Storm.*' --gtest_brief=1 |
    grep -E '^storm:|Failure|FAILED' || ok=1
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/sanitizers/tsan.supp" \
    TAMBREL_SOAK_SECONDS=$(share 8) build-tsan/tests/tambrel_core_tests --gtest_filter='Storm.*' --gtest_brief=1 |
    sed 's/^storm:/storm under ThreadSanitizer:/' | grep -E 'storm|Failure|FAILED|WARNING' || ok=1
  TAMBREL_SOAK_SECONDS=$(share 10) build/tests/tambrel_qt_tests --gtest_filter='Closing.AtEvery*' --gtest_brief=1 |
    grep -E '^closing:|Failure|FAILED' || ok=1
  TAMBREL_SOAK_SECONDS=$(share 25) tests/closing_under_xvfb.sh build/tambrel 42 |
    sed 's/^/the real program: /' || ok=1
  TAMBREL_SOAK_SECONDS=$(share 8) node tests/web/storm.mjs build-web/site || ok=1
  TAMBREL_SOAK_SECONDS=$(share 8) tests/storm_under_wine.sh build-win || ok=1
  return $ok
}

status=0
fuzz_lane >"$out/fuzzing.log" 2>&1 &
fuzz_pid=$!
storm_lane >"$out/storms.log" 2>&1 || status=1
wait "$fuzz_pid" || status=1
cat "$out/fuzzing.log" "$out/storms.log"

# The figures the README quotes.
sum() { awk '{ s += $1 } END { print s + 0 }'; }
executions=$(sed -nE 's/.*: ([0-9]+) executions in .*/\1/p' "$out/fuzzing.log" | sum)
events=$(sed -nE 's/^storm( under ThreadSanitizer)?: ([0-9]+) events.*/\2/p; s/^ok web storm: ([0-9]+) events.*/\1/p;
  s/^ok Windows storm: ([0-9]+) events.*/\1/p' "$out/storms.log" | sum)
closes=$(sed -nE 's/^closing: ([0-9]+) closes.*/\1/p; s/.*closed ([0-9]+) times.*/\1/p;
  s/.*left the page ([0-9]+) times.*/\1/p; s/^ok Windows closes: ([0-9]+) closes.*/\1/p' "$out/storms.log" | sum)
echo "== soak summary: ${executions:-0} fuzz executions, ${events:-0} stormed events, ${closes:-0} closes;" \
  "$([ "$status" = 0 ] && echo 'nothing found, exit status 0' || echo 'FAILURES above')"
exit $status
