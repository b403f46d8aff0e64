#!/usr/bin/env bash
# install_test.sh OUT_DIR: installs the package that deb_test.sh made into a throw-away
# root and checks what an operator relies on. The root is this machine's own /etc, /usr
# and /var under overlays in a private mount namespace, with an empty /run so no
# maintainer script reaches the machine's service manager; nothing leaks out of it.
# Needs root (mounts, dpkg); exits 77 (skipped) without.
set -euo pipefail
OUT="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
if [[ $(id -u) -ne 0 ]]; then echo "SKIP: needs root"; exit 77; fi
shopt -s nullglob
debs=("$OUT"/quvsms_*_*.deb)
((${#debs[@]} == 1)) || { echo "FAIL: no package in $OUT (deb_test.sh makes it)"; exit 1; }
WORK="$(mktemp -d /tmp/zella-install-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
if ! unshare --mount --propagation private true 2>/dev/null; then
  echo "SKIP: no mount namespace"; exit 77
fi
# Not exec: the trap removes the scratch tree once the namespace (and its mounts) is gone.
unshare --mount --propagation private bash "$HERE/installed_root_checks.sh" "${debs[0]}" "$WORK"
