#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A newcomer's first run of the test command, repeated on this machine: the
# README's test command (scripts/test.sh, with CI=true and no display) in a
# fresh clone of this repository's HEAD, with a fresh, empty home folder.
# So nothing that an earlier run of the project filled is there: no build
# folders, no per-user caches (fontconfig's and Qt's, the icon theme caches,
# Mesa's shader cache), no Wine prefix, no Chromium profile, no npm or
# emscripten cache of the user's. What stays is what the set-up installs
# as system packages, as it would on a newcomer's machine after its first
# minutes.
# With --busy the machine is kept busy meanwhile: one endless loop more than
# it has cores, at the priority of the run itself, each ended with the run (and
# after four hours in any case).
#   scripts/first-run.sh [--busy] [LOG]   (the whole output goes to LOG, default first-run.log)
set -euo pipefail
cd "$(dirname "$0")/.."
busy=""
[ "${1:-}" = --busy ] && { busy=1; shift; }
log=$(realpath -m "${1:-first-run.log}")
root=$(mktemp -d /tmp/tambrel-first-run.XXXXXX)
loads=()
trap '((${#loads[@]})) && kill "${loads[@]}" 2>/dev/null; rm -rf "$root"' EXIT
git clone -q . "$root/tambrel"
mkdir -m 700 "$root/home"
echo "first run: a fresh clone of $(git rev-parse --short HEAD) in $root/tambrel, home $root/home; output in $log"

if [ -n "$busy" ]; then
  for _ in $(seq $(($(nproc) + 1))); do
    timeout 4h sh -c 'while :; do :; done' &
    loads+=($!)
  done
  echo "first run: ${#loads[@]} busy loops of its own on $(nproc) cores"
fi

start=$(date +%s)
status=0
(
  cd "$root/tambrel"
  # Only what a fresh login has: no display, no session bus, no caches.
  exec env -i PATH="$PATH" HOME="$root/home" USER="${USER:-root}" LANG=C.UTF-8 TERM=dumb CI=true \
    ${TAMBREL_QUICK:+TAMBREL_QUICK=$TAMBREL_QUICK} ./scripts/test.sh
) >"$log" 2>&1 || status=$?
minutes=$((($(date +%s) - start + 59) / 60))
tail -n 3 "$log"
echo "first run: exit status $status after about $minutes min (the whole output: $log)"
exit "$status"
