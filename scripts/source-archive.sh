#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The source archive, byte for byte the same from a checkout and from an
# unpacked source archive (which has no .git): the files git tracks, or
# those the archive's MANIFEST names, with that list as MANIFEST, under
# PREFIX/. The release and the web page's Source link both use it.
#   scripts/source-archive.sh OUT.tar.gz PREFIX
set -euo pipefail
out=$(realpath -m "$1") prefix=$2
cd "$(dirname "$0")/.."
source scripts/reproducible.sh
made=$(mktemp -d)
trap 'rm -rf "$made"' EXIT
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$PWD" ]; then
  { git ls-files; echo MANIFEST; } | LC_ALL=C sort -u >"$made/MANIFEST"
  manifest_from=$made
elif [ -f MANIFEST ]; then
  manifest_from=$PWD
else
  echo "source-archive: neither a git checkout nor an unpacked source archive (it has a MANIFEST)" >&2
  exit 1
fi
while IFS= read -r f; do
  [ "$f" = MANIFEST ] || [ -f "$f" ] || { echo "source-archive: $f is missing" >&2; exit 1; }
done <"$manifest_from/MANIFEST"
# The list for tar: MANIFEST itself from where it was made.
sed "s|^MANIFEST\$|-C$manifest_from\nMANIFEST\n-C$PWD|" "$manifest_from/MANIFEST" | pack_tar "$out" . "$prefix"
