#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The page in Firefox (driven by puppeteer-core, pinned by
# tests/web/engines/package-lock.json and installed into DIR for the tests
# only) or in WebKitGTK (on a virtual display of its own).
#   tests/web/engines_test.sh firefox|webkit SITE_DIR TAMBREL_RENDER DIR
set -euo pipefail
engine="$1" site="$2" render="$3" dir="$4" here="$(cd "$(dirname "$0")" && pwd)"
if [ "$engine" = firefox ]; then
  source "$here/npm_packages.sh"
  npm_packages engines "$dir" puppeteer-core/package.json
else
  source "$here/../xvfb_session.sh"
  start_display
fi
node "$here/engines_test.mjs" "$engine" "$site" "$render" "$dir" "$dir/node_modules"
