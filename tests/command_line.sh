#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program's command line and its start without a display: usual help
# and version texts, a one-line error for anything else, and one clear line
# (not an abort) when there is no display to open the window on.
set -uo pipefail
tambrel="$1"
unset QT_QPA_PLATFORM
fail() { echo "FAIL: $*" >&2; exit 1; }
expect() { # name, wanted status, wanted stdout pattern, wanted stderr lines, command...
  local name=$1 status=$2 pattern=$3 lines=$4
  shift 4
  local out err rc
  out=$(timeout 20 "$@" 2>/tmp/tambrel-cl-err.$$); rc=$?
  err=$(cat /tmp/tambrel-cl-err.$$); rm -f /tmp/tambrel-cl-err.$$
  [ "$rc" = "$status" ] || fail "$name: exit status $rc, not $status (stderr: $err)"
  grep -qE -e "$pattern" <<<"$out$err" || fail "$name: output does not match '$pattern': $out$err"
  [ "$(grep -c . <<<"$err")" = "$lines" ] || fail "$name: $lines line(s) on stderr wanted, got: $err"
  echo "ok $name"
}
expect "--help" 0 '^Usage: tambrel \[options\]' 0 "$tambrel" --help
expect "-h" 0 '--version +Show the version' 0 "$tambrel" -h
expect "--version" 0 '^tambrel [0-9]+\.[0-9]+\.[0-9]+$' 0 "$tambrel" --version
expect "an unknown option" 2 "^tambrel: .*bogus.*tambrel --help" 1 "$tambrel" --bogus
expect "a file named alone is replayed" 2 "^tambrel: cannot replay picture.png: No such file or directory" 1 "$tambrel" picture.png
expect "two files" 2 "^tambrel: unexpected argument 'b.tambrel'" 1 "$tambrel" a.tambrel b.tambrel
expect "no display at all" 1 '^tambrel: cannot open the window: there is no display' 1 \
  env -u DISPLAY -u WAYLAND_DISPLAY "$tambrel"
expect "a display that is not there" 1 '^tambrel: cannot open the window: .*:987' 1 env -u WAYLAND_DISPLAY DISPLAY=:987 "$tambrel"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'not a session' >"$scratch/bad"
mkfifo "$scratch/pipe"
# Each refused in one line with its reason, at once: a named pipe with no
# writer, or an endless device, never holds the program.
while IFS='|' read -r name file why; do
  expect "--replay of $name" 2 "^tambrel: cannot replay .*: $why" 1 "$tambrel" --replay "$file"
done <<CASES
a file that is not a session|$scratch/bad|not a Tambrel session file: .*\(byte 0 of the file\)
a file that is not there|/nonexistent/s.tambrel|No such file or directory
a named pipe|$scratch/pipe|it is a named pipe, not a file
an endless device|/dev/zero|it is a device, not a file
a folder|$scratch|it is a folder, not a file
CASES
# Playing by itself, refused in one line before any window opens.
while IFS='|' read -r name why args; do
  # shellcheck disable=SC2086 # the case's arguments, split as written
  expect "$name" 2 "^tambrel: $why" 1 env -u DISPLAY -u WAYLAND_DISPLAY "$tambrel" $args
done <<CASES
a seed alone|--seed and --seconds-per-mode go with|--seed 3
a seed that is not a number|--seed takes 0 to 4294967295, not 'x'|--autopilot --seed x
a seed too large|--seed takes 0 to 4294967295|--saver --seed 4294967296
no time per mode|--seconds-per-mode takes 1 to 86400, not '0'|--saver --seconds-per-mode 0
the window and the saver|--autopilot is the window's|--autopilot --root
two places to draw|--window-id and --root each say where|--window-id 0x200 --root
a window id that is not one|a window id is a number such as 0x2200007, not 'x'|--window-id x
a saver replaying|playing by itself does not go with a session|--saver $scratch/bad
CASES
expect "a saver with no display" 1 '^tambrel: cannot open the window: there is no display' 1 \
  env -u DISPLAY -u WAYLAND_DISPLAY "$tambrel" --saver
