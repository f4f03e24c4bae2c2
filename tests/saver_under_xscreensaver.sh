#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The screensaver under Debian's own XScreenSaver daemon: told to blank the
# screen, the daemon starts `tambrel --root` in its window; what shows is
# the canvas in whole blocks centred on black, picture for picture what the
# renderer draws from the session the saver kept; told to stop, the daemon
# ends the program, which writes the end of that session and goes. The
# daemon will not start programs as root, so as root it runs as a user of
# its own.
tambrel="$(realpath "$1")" render="$(realpath "$2")"
source "$(dirname "$0")/xvfb_session.sh"
screen_w=1920 screen_h=1080
block=2 left=364 top=32 # 596 x 508 in blocks of 2, centred on 1920 x 1080
start_display

user=$(id -un)
if [ "$(id -u)" = 0 ]; then
  user=tambrel-saver
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || fail "cannot make the user $user"
  pkill -KILL -u "$user" 2>/dev/null || true # whatever an earlier run left behind
fi
home="$work/home-$user"
mkdir -p "$home"
chmod 755 "$work"
chown "$user" "$home"
as_user() { setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups env HOME="$home" DISPLAY="$DISPLAY" "$@"; }

cat >"$home/.xscreensaver" <<EOF
mode: one
selected: 0
timeout: 1:00:00
lock: False
fade: False
unfade: False
splash: False
dpmsEnabled: False
grabDesktopImages: False
programs: $tambrel --root --seed 7 --record $home/show.tambrel \\n
EOF
chown "$user" "$home/.xscreensaver"
as_user xscreensaver -no-splash >"$work/daemon.log" 2>&1 &
daemon=$!
wait_until 60 as_user xscreensaver-command -time >/dev/null 2>&1 || fail "the daemon did not start: $(tail -n 5 "$work/daemon.log")"

as_user xscreensaver-command -activate >/dev/null || fail "the daemon was not told to blank"
wait_until 120 eval 'saver=$(pgrep -n -u "$user" -x tambrel) && [ -n "$saver" ]' || fail "the daemon started no saver: $(tail -n 5 "$work/daemon.log")"
wait_until 30 eval '[ "$(ps -o ni= -p "$saver")" -eq 19 ]' || fail "the saver does not run at the lowest priority: nice $(ps -o ni= -p "$saver")"

wait_until 120 shown 2>"$work/why" || fail "the saver's pictures: $(cat "$work/why")"

# What it costs while it plays, stated, never asserted: a shared machine says nothing of speed.
/usr/bin/python3 - "$saver" <<'EOF'
import os, sys, time
def cpu():
    with open(f"/proc/{sys.argv[1]}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
c0, t0 = cpu(), time.monotonic()
time.sleep(5) # a measurement's span, not a wait for anything
print(f"saver CPU at 1920 x 1080: {100 * (cpu() - c0) / (time.monotonic() - t0):.0f}% of one core")
EOF

# One picture held still: the saver stopped, its window as it left it.
kill -STOP "$saver"
shown 2>"$work/why" || { kill -CONT "$saver"; fail "the held picture: $(cat "$work/why")"; }
kill -CONT "$saver"

as_user xscreensaver-command -deactivate >/dev/null || fail "the daemon was not told to stop"
wait_until 30 eval '! kill -0 "$saver" 2>/dev/null' || fail "the saver did not end when the daemon stopped it"
[ -s "$home/show.tambrel" ] || fail "the saver kept no session"
"$render" --replay "$home/show.tambrel" --every 1 "$work/frames" --out "$work/last.png" >/dev/null ||
  fail "the kept session does not replay"
/usr/bin/python3 - "$work/shown.png" "$work/frames" <<'EOF' || fail "the held picture is none of the kept session's"
import os, sys
from PIL import Image
shown = Image.open(sys.argv[1]).convert("RGB").tobytes()
frames = sorted(os.listdir(sys.argv[2]), reverse=True) # it was held near the end
sys.exit(0 if any(Image.open(os.path.join(sys.argv[2], f)).convert("RGB").tobytes() == shown for f in frames) else 1)
EOF
as_user xscreensaver-command -exit >/dev/null 2>&1 || true
wait "$daemon" 2>/dev/null || true

# In a window of its own, full screen: a nudge of the mouse leaves it
# playing, a real move ends it, as does a key.
for ending in "mousemove_relative 40 0" "key x"; do
  QT_QPA_PLATFORM=xcb "$tambrel" --saver --seed 7 >"$work/app.log" 2>&1 &
  app_pid=$!
  wait_until 60 shown 2>"$work/why" || fail "the full-screen saver's pictures: $(cat "$work/why")"
  xdotool mousemove_relative 3 0
  cp "$work/shown.png" "$work/nudged.png" # still playing after it: the pictures go on
  wait_until 30 eval 'shown 2>/dev/null && ! cmp -s "$work/shown.png" "$work/nudged.png"' || fail "a nudge of the mouse ended the saver"
  # shellcheck disable=SC2086 # the ending's words are xdotool's arguments
  xdotool $ending
  wait_until 30 eval '! kill -0 "$app_pid" 2>/dev/null' || fail "$ending did not end the full-screen saver"
done
echo "ok: the saver under XScreenSaver"
