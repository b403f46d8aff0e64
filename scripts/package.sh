#!/usr/bin/env bash
# Builds the Debian package of the console and the Gateway service:
#   scripts/package.sh [DIR]   (default build-package/, RelWithDebInfo)
# and prints the path of the .deb, ready for `apt install ./quvsms_*.deb`.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DIR="${1:-$ROOT/build-package}"
"$ROOT/scripts/setup.sh"
# Only what the package holds; installing then needs no "all" first.
TARGET=zella_package_files BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$ROOT/scripts/build.sh" "$DIR" \
  -DZELLA_BENCH=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
(cd "$DIR" && cpack --config CPackConfig.cmake >/dev/null)
ls "$DIR"/package/quvsms_*.deb
