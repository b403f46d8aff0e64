#!/usr/bin/env bash
# Installs what building and testing the console needs on a fresh Debian machine.
# Safe to run again: only missing packages are installed.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libssl-dev libsqlite3-dev libgtest-dev
  clang libclang-rt-14-dev   # libFuzzer targets
  kannel-extras              # test_cimd2, the CIMD2 SMSC the link tests log into
  xvfb xauth                 # optional: a virtual display for manual checks
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq || true
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
