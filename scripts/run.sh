#!/usr/bin/env bash
# Builds the console and starts it on its default data directory (see README).
# Without a display it runs on Qt's VNC platform, bound to the loopback interface.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup.sh"
TARGET="zella mmsclnk" BUILD_TYPE=RelWithDebInfo "$ROOT/scripts/build.sh" "$ROOT/build" -DZELLA_BENCH=OFF

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" && -z "${ZELLA_SCRIPT:-}" ]]; then
  PORT="${ZELLA_VNC_PORT:-5900}"
  export QT_QPA_PLATFORM="vnc:addr=127.0.0.1:port=${PORT}:size=1024x768"
  echo "No display: the console is served over VNC on 127.0.0.1:${PORT}."
  echo "Connect with a VNC viewer to 127.0.0.1::${PORT} (through an SSH tunnel from elsewhere:"
  echo "  ssh -L ${PORT}:127.0.0.1:${PORT} this-host   and then a viewer on localhost::${PORT})."
fi
exec "$ROOT/build/bin/zella" "$@"
