#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every artifact a release needs, in dist/ (or DIR): the Debian package,
# the Windows installer and portable zip, the web page as one archive of
# static files, the source archive, and SHA256SUMS. The version is CMake's
# project version; the changelog and the AppStream metadata must name it as
# their newest release, or nothing is made. It runs alike in a checkout and
# in an unpacked source archive, and two runs on the same source give the
# same bytes (dates are the newest changelog entry's).
#   scripts/release.sh [DIR]
# TAMBREL_RELEASE_BUILT=1 packs what the builds hold already (the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$(realpath -m "${1:-dist}")
fail() { echo "release: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Tambrel VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
[ "$(sed -n '1s/^tambrel (\(.*\)).*/\1/p' data/changelog)" = "$version" ] ||
  fail "data/changelog's newest entry is not $version"
grep -q -m1 "<release version=\"$version\"" data/org.tambrel.Tambrel.metainfo.xml ||
  fail "the AppStream metadata names no release $version"
[ -z "$(git status --porcelain 2>/dev/null)" ] || echo "release: the work tree has changes; the source archive holds them" >&2
source scripts/reproducible.sh

if [ "${TAMBREL_RELEASE_BUILT:-0}" != 1 ]; then
  scripts/setup.sh >/dev/null
  scripts/web.sh build >/dev/null
  scripts/windows.sh >/dev/null
fi

rm -rf "$dist"
mkdir -p "$dist"
(cd build && cpack -B "$dist/deb" >/dev/null)
mv "$dist"/deb/*.deb "$dist/"
rm -rf "$dist/deb"
cp "build-win/tambrel-$version.msi" "$dist/"
cp build-win/tambrel-windows.zip "$dist/tambrel-$version-windows.zip"
(cd build-web/site && find . -type f -printf '%P\n' | LC_ALL=C sort) | pack_tar "$dist/tambrel-$version-web.tar.gz" build-web/site "tambrel-$version-web"
scripts/source-archive.sh "$dist/tambrel-$version-source.tar.gz" "tambrel-$version"
(cd "$dist" && sha256sum -- * >SHA256SUMS)
echo "release $version in $dist:"
ls -1 "$dist" | sed 's/^/  /'
