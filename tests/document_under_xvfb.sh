#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A session is a document: installed with `cmake --install`, the desktop
# knows a .tambrel file by its magic and its name, and opening one from the
# desktop (gio open, as a file manager's double click does) starts Tambrel
# replaying it.
#   tests/document_under_xvfb.sh BUILD_DIR
build="$1"
source "$(dirname "$0")/xvfb_session.sh"
usr="$work/usr"
cmake --install "$build" --prefix "$usr" >/dev/null
update-mime-database "$usr/share/mime" >/dev/null 2>&1
update-desktop-database "$usr/share/applications"
# As a desktop has it: xdg-mime asks GLib, which reads the shared MIME database.
export XDG_CURRENT_DESKTOP=GNOME XDG_DATA_DIRS="$usr/share:/usr/share" XDG_DATA_HOME="$work/home-data" XDG_CONFIG_HOME="$work/home-config"
export PATH="$usr/bin:$PATH"

"$build/tambrel-render" --mode fireworks --seed 3 --pointer 200,150 --click 5 --frames 60 --mode clouds --pointer 300,250 \
  --click 1 --frames 5 --save-session "$work/play.tambrel"
cp "$work/play.tambrel" "$work/no-extension"
for file in play.tambrel no-extension; do
  type=$(xdg-mime query filetype "$work/$file")
  [ "$type" = application/x-tambrel-session ] || fail "$file is '$type' to the desktop"
done
[ "$(xdg-mime query default application/x-tambrel-session)" = org.tambrel.Tambrel.desktop ] ||
  fail "sessions do not open in Tambrel: '$(xdg-mime query default application/x-tambrel-session)'"
[ -s "$usr/share/icons/hicolor/48x48/mimetypes/application-x-tambrel-session.png" ] || fail "no icon for sessions"
echo "ok a session is application/x-tambrel-session by its magic and its name, opened by Tambrel, with an icon"

start_display
QT_QPA_PLATFORM=xcb gio open "$work/play.tambrel" >"$work/app.log" 2>&1
find_window
pid=$(xdotool getwindowpid "$wid")
wait_until 30 title_is "Tambrel: Random fractal cloud painter" || fail "the opened session did not replay: '$(title)'"
wmctrl -c Tambrel
wait_until 30 eval '! kill -0 "$pid" 2>/dev/null' || { kill "$pid"; fail "Tambrel did not close"; }
echo "ok opening a session from the desktop starts Tambrel replaying it"
