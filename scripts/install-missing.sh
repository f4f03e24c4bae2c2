# SPDX-License-Identifier: MIT
# Sourced by the set-up scripts: install_missing NAME PACKAGE... installs
# whichever of Debian's packages are not installed yet (as root, or through sudo).
install_missing() {
  local name=$1 p
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "$name: installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
