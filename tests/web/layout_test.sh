#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The page's layout and accessibility test, with axe-core installed first
# (pinned by tests/web/axe/package-lock.json, for this test only) into DIR.
#   tests/web/layout_test.sh SITE_DIR DIR
set -euo pipefail
site="$1" dir="$2" here="$(cd "$(dirname "$0")" && pwd)"
source "$here/npm_packages.sh"
npm_packages axe "$dir" axe-core/axe.min.js
exec node "$here/layout_test.mjs" "$site" "$dir/node_modules/axe-core/axe.min.js"
