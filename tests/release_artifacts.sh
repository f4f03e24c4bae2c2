#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/release.sh packs every artifact of a release, each named and
# stamped with the project's version, and SHA256SUMS that checks them. A
# second release after the programs are linked again and the page's files
# are written again is the same bytes; the source archive makes itself
# again without .git, and is the archive the web page links to.
#   tests/release_artifacts.sh (after the native, web and Windows builds)
# Listings are read whole (grep -c): grep -q would stop reading, and the
# lister, cut off, would fail the pipe.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
dist=$work/first
TAMBREL_RELEASE_BUILT=1 scripts/release.sh "$dist" >/dev/null
version=$(sed -n 's/^project(Tambrel VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
cmp -s build-web/site/tambrel-source.tar.gz "$dist/tambrel-$version-source.tar.gz" ||
  fail "the web page's source archive is not the release's (the page was built from another tree?)"

# Again, from programs linked anew and a page written anew: the same bytes.
rm -f build/tambrel build-win/tambrel.exe
cmake --build build --target tambrel >/dev/null
scripts/windows.sh >/dev/null
find build-web/site -type f -exec touch {} +
TAMBREL_RELEASE_BUILT=1 scripts/release.sh "$work/second" >/dev/null
for f in "$dist"/*; do
  cmp -s "$f" "$work/second/${f##*/}" || fail "two releases of the same source differ in ${f##*/}"
done
echo "ok two releases of the same source are the same bytes: $(cd "$dist" && ls | grep -v SHA256SUMS | tr '\n' ' ')"

# The source archive, unpacked where there is no .git, makes itself again.
mkdir "$work/unpacked"
tar -C "$work/unpacked" -xzf "$dist/tambrel-$version-source.tar.gz"
GIT_CEILING_DIRECTORIES=$work "$work/unpacked/tambrel-$version/scripts/source-archive.sh" "$work/again.tar.gz" "tambrel-$version" ||
  fail "the unpacked source archive cannot make its source archive"
cmp -s "$work/again.tar.gz" "$dist/tambrel-$version-source.tar.gz" || fail "the source archive made from itself differs"
echo "ok the source archive, unpacked without .git, makes the same archive again"
cd "$dist"
sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS does not check"
[ "$(ls | sort | tr '\n' ' ')" = "SHA256SUMS tambrel-$version-source.tar.gz tambrel-$version-web.tar.gz tambrel-$version-windows.zip tambrel-$version.msi tambrel_${version}_amd64.deb " ] ||
  fail "the release holds: $(ls | tr '\n' ' ')"
[ "$(dpkg-deb -f "tambrel_${version}_amd64.deb" Version)" = "$version" ] || fail "the package's version"
msiinfo export "tambrel-$version.msi" Property | grep -c -P "^ProductVersion\t$version\r?$" >/dev/null || fail "the installer's version"
unzip -l "tambrel-$version-windows.zip" | grep -c "Tambrel/tambrel.exe" >/dev/null || fail "the zip has no tambrel.exe"
tar -xzf "tambrel-$version-web.tar.gz" "tambrel-$version-web/sw.js" "tambrel-$version-web/index.html" ||
  fail "the web archive lacks its page or its worker"
grep -q "tambrel-$version'" "tambrel-$version-web/sw.js" || fail "the web page's worker keeps another version"
tar -tzf "tambrel-$version-source.tar.gz" | grep -c -x "tambrel-$version/CMakeLists.txt" >/dev/null || fail "the source archive"
echo "ok a release of $version: the package, the installer, the zip, the web page and the source, with their checksums"
