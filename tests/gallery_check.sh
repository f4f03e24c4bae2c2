#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The committed gallery is what the gallery script makes: same seed, same picture.
set -euo pipefail
render="$1"
root="$(cd "$(dirname "$0")/.." && pwd)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$root/scripts/make-gallery.sh" "$render" "$tmp" >/dev/null
status=0
for f in "$root"/docs/gallery/*; do
  cmp -s "$f" "$tmp/$(basename "$f")" || { echo "differs from a fresh render: docs/gallery/$(basename "$f")"; status=1; }
done
[ "$(ls "$tmp" | wc -l)" = "$(ls "$root/docs/gallery" | wc -l)" ] || { echo "the gallery has other files than the script makes"; status=1; }
[ "$status" = 0 ] && echo "gallery matches a fresh render"
exit "$status"
