#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The licence is declared: LICENSE at the root says MIT, and every source
# file names it in its first lines.
set -euo pipefail
cd "$(dirname "$0")/.."
grep -q '^MIT License$' LICENSE || { echo "FAIL: LICENSE is not the MIT licence" >&2; exit 1; }
missing=0
while IFS= read -r f; do
  case "$f" in
    *.cpp | *.h | *.mjs | *.js | *.sh | *.cmake | *.css | *.html | */CMakeLists.txt | CMakeLists.txt | .ci/run) ;;
    *) continue ;;
  esac
  [ -f "$f" ] || continue
  head -n 2 "$f" | grep -q 'SPDX-License-Identifier: MIT' || { echo "no licence line: $f" >&2; missing=$((missing + 1)); }
done < <(git ls-files 2>/dev/null || find . -path ./build\* -prune -o -type f -print | sed 's|^\./||')
[ "$missing" = 0 ] || { echo "FAIL: $missing source files without a licence line" >&2; exit 1; }
echo "every source file names its licence"
