#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up and builds Tambrel, then runs the whole test suite:
#   1. every test (the window ones on Qt's offscreen platform, one on Xvfb);
#   2. the whole suite again under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the threaded tests under ThreadSanitizer (core only, no Qt);
#   4. each fuzz target for a bounded time (TAMBREL_FUZZ_SECONDS, default 40).
# Step 1 includes the web edition in headless Chromium and the Windows edition
# under Wine (both built first).
# TAMBREL_QUICK=1 stops after step 1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/web.sh build >/dev/null
scripts/windows.sh >/dev/null
cmake -S . -B build -DTAMBREL_WEB_SITE="$PWD/build-web/site" -DTAMBREL_WINDOWS_BUILD="$PWD/build-win" >/dev/null
jobs=$(nproc)
supp="$PWD/tests/sanitizers"
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

suite() { # name, build dir, ctest arguments...
  local name=$1 dir=$2
  shift 2
  echo "== $name"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@") | tee "$logs/$name.log"
}

suite tests build
if [ "${TAMBREL_QUICK:-0}" != 1 ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBREL_SANITIZE=address,undefined \
    -DTAMBREL_WITH_BENCH=OFF >/dev/null
  cmake --build build-asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$supp/lsan.supp" suite asan-ubsan build-asan

  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBREL_SANITIZE=thread -DTAMBREL_WITH_QT=OFF \
    -DTAMBREL_WITH_BENCH=OFF >/dev/null
  cmake --build build-tsan -j"$jobs"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$supp/tsan.supp" \
    suite tsan build-tsan -R 'Storm|AnimationThread|FrameLoop|Dispatch'

  echo "== fuzzing"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBREL_FUZZ=ON \
    -DTAMBREL_SANITIZE=address,undefined -DTAMBREL_WITH_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target canvas_fuzz canvas_reference_fuzz clipboard_fuzz session_fuzz
  # Bounded runs under the sanitizers, under three minutes in all;
  # scripts/soak.sh runs them for an hour.
  for target in canvas canvas_reference clipboard session; do
    scripts/fuzz.sh build-fuzz "$target" "${TAMBREL_FUZZ_SECONDS:-40}"
  done
fi

# One line for the whole run.
passed=0 failed=0
for log in "$logs"/*.log; do
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad)) failed=$((failed + bad))
done
echo "$passed passed, $failed failed"
