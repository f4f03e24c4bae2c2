# SPDX-License-Identifier: MIT
# Sourced by the page's tests that need npm packages: installs those pinned
# by tests/web/NAME/package-lock.json into DIR (for the tests only), unless
# they are there already. Prints nothing.
npm_packages() { # name, dir, a file the packages put there
  local from dir=$2
  from="$(dirname "${BASH_SOURCE[0]}")/$1"
  mkdir -p "$dir"
  if ! cmp -s "$from/package-lock.json" "$dir/package-lock.json" || [ ! -e "$dir/node_modules/$3" ]; then
    cp "$from/package.json" "$from/package-lock.json" "$dir/"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  fi
}
