#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs with `cmake --install` and builds the Debian package, checks both
# as a desktop would (desktop entry, AppStream metadata, hicolor icons,
# package dependencies), then starts the packaged program under Xvfb and
# uses it from outside.
set -euo pipefail
build="$1"
here="$(cd "$(dirname "$0")" && pwd)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

check_tree() { # an installed tree under $1
  local usr="$1"
  [ -x "$usr/bin/tambrel" ] || fail "no bin/tambrel in $usr"
  desktop-file-validate "$usr/share/applications/org.tambrel.Tambrel.desktop" || fail "desktop entry"
  grep -q '^MimeType=application/x-tambrel-session;$' "$usr/share/applications/org.tambrel.Tambrel.desktop" &&
    grep -q '^Exec=tambrel %f$' "$usr/share/applications/org.tambrel.Tambrel.desktop" || fail "the desktop entry opens no sessions"
  grep -q 'type="application/x-tambrel-session"' "$usr/share/mime/packages/org.tambrel.Tambrel.xml" || fail "no session file type"
  [ "$(identify -format '%wx%h' "$usr/share/icons/hicolor/256x256/mimetypes/application-x-tambrel-session.png")" = 256x256 ] ||
    fail "no icon for sessions"
  appstreamcli validate --no-net "$usr/share/metainfo/org.tambrel.Tambrel.metainfo.xml" || fail "AppStream metadata"
  grep -q '<project_license>MIT</project_license>' "$usr/share/metainfo/org.tambrel.Tambrel.metainfo.xml" || fail "no licence in the metadata"
  # Whole outputs compared, never cut off by grep -q or head (which would fail the pipe).
  [[ "$(zcat "$usr/share/man/man1/tambrel.1.gz")" == *$'\n.TH TAMBREL 1'* ]] || fail "no manual page tambrel(1)"
  [[ "$(zcat "$usr/share/doc/tambrel/changelog.gz")" == "tambrel ("* ]] || fail "no changelog"
  grep -q '^License: Expat' "$usr/share/doc/tambrel/copyright" || fail "no copyright file"
  # XScreenSaver's settings for the hack: well-formed, running the program as a saver.
  python3 -c 'import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); assert r.get("name") == "tambrel" and r.find("command").get("arg") == "--root"' \
    "$usr/share/xscreensaver/config/tambrel.xml" || fail "no XScreenSaver settings for the saver"
  for size in 16 24 32 48 64 128 256; do
    icon="$usr/share/icons/hicolor/${size}x${size}/apps/org.tambrel.Tambrel.png"
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "icon $icon"
  done
}

cmake --install "$build" --prefix "$tmp/prefix/usr" >/dev/null
check_tree "$tmp/prefix/usr"

(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >/dev/null)
deb=$(ls "$tmp"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6 libavcodec libavformat libwebp zlib1g; do
  grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib: $depends"
done
# Debian's package checker: no errors, no warnings. The one info left is
# one Debian's own packages avoid only by a strip option cpack lacks.
accepted='binary-has-unneeded-section'
# Sanitizer builds leave the checked buffer functions out on purpose.
grep -q '^TAMBREL_SANITIZE:STRING=.' "$build/CMakeCache.txt" && accepted+='|hardening-no-fortify-functions'
report=$(lintian --pedantic -I "$deb" 2>&1 | grep -v 'running with root privileges' || true)
unexpected=$(grep -E '^[EWIPX]: ' <<<"$report" | grep -v -E "^I: tambrel: ($accepted) " || true)
[ -z "$unexpected" ] || fail "lintian: $unexpected"
dpkg-deb -x "$deb" "$tmp/root"
check_tree "$tmp/root/usr"
echo "package $(basename "$deb"): Depends: $depends"

"$here/window_under_xvfb.sh" "$tmp/root/usr/bin/tambrel"
