#!/usr/bin/env bash
# Renders the console offscreen and refreshes the README's pictures in docs/screenshots/:
# the Status page (the first tab once connections are defined), the Modems page and the
# SMPP connection dialog. Run it after changing a page or the renderer.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/setup.sh"
TARGET="qt_render_test qt_geometry_test" BUILD_TYPE="${BUILD_TYPE:-Debug}" "$ROOT/scripts/build.sh" "$BUILD"
QT_QPA_PLATFORM=offscreen "$BUILD/bin/qt_render_test" >/dev/null
# The sheet's pictures come from the geometry test, on a 1024x768 screen.
QT_QPA_PLATFORM="offscreen:configfile=$ROOT/tests/data/qt/screen-1024x768.json" \
  "$BUILD/bin/qt_geometry_test" >/dev/null
OUT="$ROOT/docs/screenshots"
mkdir -p "$OUT"
cp "$BUILD/qt_render/CONSOLE_PAGE0.png" "$OUT/status-page.png"
cp "$BUILD/qt_render/CONSOLE_PAGE1.png" "$OUT/modems-page.png"
cp "$BUILD/qt_render/DIALOG_SMPP.png" "$OUT/smpp-dialog.png"
echo "screenshots: $OUT"
