# SPDX-License-Identifier: MIT
# Sourced by the tests that drive a real program: they wait for conditions.

# Runs a command every tenth of a second until it succeeds, at most SECONDS
# seconds; fails when it never does. A test waits for what it needs, never
# for a fixed time: a first run on a fresh machine is slower.
wait_until() { # seconds, command...
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# Whether the accessibility bus has come up on the session bus.
a11y_bus_up() {
  wait_until 60 eval 'dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true"' ||
    { echo "FAIL: the accessibility bus did not start" >&2; exit 1; }
}
