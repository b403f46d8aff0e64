#!/usr/bin/env bash
# Builds the console and starts it on its default data directory (see README).
#
# Without a display (no DISPLAY, no WAYLAND_DISPLAY) the console is served on loopback:
# a virtual X display (Xvfb), a light window manager (openbox) so windows have titles and
# can be moved, x11vnc with a password for VNC viewers, and noVNC (websockify) for a
# browser. Every part stops when the console ends. `--qt-vnc` uses Qt's own VNC platform
# instead, for machines without those packages (no window titles, no browser).
#
# Environment: ZELLA_VNC_PORT (5900), ZELLA_WEB_PORT (6080), ZELLA_RUN_NO_BUILD=1 skips
# setup and build, ZELLA_CONSOLE runs another console binary (tests).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

QT_VNC=0
if [[ "${1:-}" == "--qt-vnc" ]]; then QT_VNC=1; shift; fi
HEADLESS=0
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" && -z "${ZELLA_SCRIPT:-}" ]]; then
  HEADLESS=1
fi

if [[ -z "${ZELLA_RUN_NO_BUILD:-}" ]]; then
  "$ROOT/scripts/setup.sh"
  if ((HEADLESS && !QT_VNC)); then "$ROOT/scripts/setup.sh" --headless; fi
  TARGET="zella mmsclnk" BUILD_TYPE=RelWithDebInfo "$ROOT/scripts/build.sh" "$ROOT/build" -DZELLA_BENCH=OFF
fi
CONSOLE="${ZELLA_CONSOLE:-$ROOT/build/bin/zella}"
VNC_PORT="${ZELLA_VNC_PORT:-5900}"
WEB_PORT="${ZELLA_WEB_PORT:-6080}"

if ((!HEADLESS)); then exec "$CONSOLE" "$@"; fi

if ((QT_VNC)); then
  export QT_QPA_PLATFORM="vnc:addr=127.0.0.1:port=${VNC_PORT}:size=1024x768"
  echo "No display: the console is served by Qt's VNC platform on 127.0.0.1:${VNC_PORT} (no password)."
  echo "From elsewhere: ssh -L ${VNC_PORT}:127.0.0.1:${VNC_PORT} this-host, then a viewer on localhost::${VNC_PORT}."
  exec "$CONSOLE" "$@"
fi

for tool in Xvfb openbox x11vnc websockify; do
  command -v "$tool" >/dev/null || { echo "run: $tool is missing (scripts/setup.sh --headless, or use --qt-vnc)" >&2; exit 1; }
done

STATE="$(mktemp -d "${TMPDIR:-/tmp}/zella-vnc.XXXXXX")"
PIDS=()
stop_all() {
  # Newest first, each gone before the next: the console, noVNC, x11vnc, the window
  # manager, and the display last (a VNC server losing its display may hang instead).
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do
    local pid="${PIDS[i]}"
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$STATE"
}
trap stop_all EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A free display number, chosen by the server itself.
exec 3>"$STATE/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -auth /dev/null >"$STATE/xvfb.log" 2>&1 &
PIDS+=($!)
exec 3>&-
for _ in $(seq 100); do [[ -s "$STATE/display" ]] && break; sleep 0.1; done
[[ -s "$STATE/display" ]] || { echo "run: the virtual display did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$STATE/display")"
unset WAYLAND_DISPLAY

openbox >"$STATE/openbox.log" 2>&1 &
PIDS+=($!)

# VNC passwords are at most 8 characters; the file is the operator's alone.
PASSWORD="$(od -An -N4 -tx1 /dev/urandom | tr -d ' \n')"
(umask 077 && x11vnc -storepasswd "$PASSWORD" "$STATE/passwd" >/dev/null 2>&1)
chmod 600 "$STATE/passwd"
x11vnc -display "$DISPLAY" -rfbauth "$STATE/passwd" -localhost -rfbport "$VNC_PORT" \
  -forever -shared -quiet -noxdamage >"$STATE/x11vnc.log" 2>&1 &
PIDS+=($!)

NOVNC_WEB=/usr/share/novnc
if [[ -d "$NOVNC_WEB" ]]; then
  websockify --web "$NOVNC_WEB" "127.0.0.1:${WEB_PORT}" "127.0.0.1:${VNC_PORT}" >"$STATE/websockify.log" 2>&1 &
  PIDS+=($!)
fi

echo "No display: the console runs on the virtual display ${DISPLAY}, served on this machine only."
echo "  VNC:     127.0.0.1:${VNC_PORT}   password: ${PASSWORD}"
[[ -d "$NOVNC_WEB" ]] && echo "  Browser: http://127.0.0.1:${WEB_PORT}/vnc.html"
echo "From your own machine, tunnel both through SSH:"
echo "  ssh -L ${VNC_PORT}:127.0.0.1:${VNC_PORT} -L ${WEB_PORT}:127.0.0.1:${WEB_PORT} $(hostname)"
echo "then point a VNC viewer at localhost::${VNC_PORT}, or a browser at http://localhost:${WEB_PORT}/vnc.html."
echo "Everything stops when the console ends."

QT_QPA_PLATFORM=xcb "$CONSOLE" "$@" &
PIDS+=($!)
wait "${PIDS[-1]}"
