#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows installer from the cross-built program, the same bytes for the
# same program and version on every run: its files dated as the newest
# changelog entry, its ProductCode and PackageCode derived from the version
# (so one version is one entry in Apps and Features), and wixl's own dates
# (it reads no SOURCE_DATE_EPOCH) fixed by faketime.
#   scripts/make-msi.sh OUT.msi VERSION tambrel.exe tambrel.ico
set -euo pipefail
out=$(realpath -m "$1") version=$2 exe=$(realpath "$3") icon=$(realpath "$4")
cd "$(dirname "$0")/.."
source scripts/reproducible.sh
upgrade=5E0C3A1B-6F2D-4C8E-9B7A-2D1F4E6A8C3B # Tambrel's, for every version
# A name-based UUID (RFC 4122 version 5) in Tambrel's namespace.
uuid() {
  /usr/bin/python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade" "$1"
}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp src/app/win32/tambrel.wxs "$stage/"
cp LICENSE "$stage/LICENSE"
cp "$exe" "$stage/tambrel.exe"
cp "$exe" "$stage/tambrel.scr" # the same program as the screensaver
cp "$icon" "$stage/tambrel.ico"
stamp "$stage"
at="@$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')"
cd "$stage"
TZ=UTC faketime -f "$at" wixl -a x64 -D Version="$version" -D ProductCode="$(uuid "product $version")" \
  -D Exe=tambrel.exe -D Scr=tambrel.scr -D Icon=tambrel.ico -D Licence=LICENSE -o tambrel.msi tambrel.wxs
# The screensaver feature is left out where the user chose a screensaver.
printf 'Feature_\tLevel\tCondition\r\ns38\ti2\tS255\r\nCondition\tFeature_\tLevel\r\nScreensaver\t0\tCHOSENSAVER\r\n' >Condition.idt
TZ=UTC faketime -f "$at" msibuild tambrel.msi -i Condition.idt
# wixl makes a new PackageCode each time: this version's instead.
TZ=UTC faketime -f "$at" msibuild tambrel.msi -s "Tambrel: fourteen interactive animations steered by the mouse" \
  "The Tambrel developers" "x64;1033" "{$(uuid "package $version")}"
mv tambrel.msi "$out"
