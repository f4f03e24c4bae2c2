#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/release.sh packs every artifact of a release, each named and
# stamped with the project's version, and SHA256SUMS that checks them.
#   tests/release_artifacts.sh (after the native, web and Windows builds)
# Listings are read whole (grep -c): grep -q would stop reading, and the
# lister, cut off, would fail the pipe.
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$(mktemp -d)
trap 'rm -rf "$dist"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
TAMBREL_RELEASE_BUILT=1 scripts/release.sh "$dist" >/dev/null
version=$(sed -n 's/^project(Tambrel VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
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
