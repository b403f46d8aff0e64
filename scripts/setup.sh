#!/usr/bin/env bash
# Installs what building and testing the console needs on a fresh Debian machine.
# Safe to run again: only missing packages are installed.
# `setup.sh --headless` installs only what scripts/run.sh needs to serve the console on a
# machine without a display; they are run-only and heavy (noVNC brings Python and NumPy),
# so building and testing never install them.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libssl-dev libsqlite3-dev libgtest-dev
  clang libclang-rt-14-dev   # libFuzzer targets
  kannel-extras              # SMSC simulators the link tests talk to: test_cimd2, drive_smpp
  xvfb xauth                 # optional: a virtual display for manual checks
  libsmpp34-dev              # SMPP PDU packing for libsmpplnk.so
  php-cgi                    # the PHP CGI program the PHP support of the 2-Way page locates
  chromium                   # the web pages of the Gateway service are tested in a real browser
  libnet-smpp-perl           # a second SMPP client that is not ours, binding to the SMPP server
  curl                       # a client of the Gateway service's web submit interface
  libsystemd-dev             # the event log viewer reads the journal through sd-journal
  systemd-journal-remote     # its tests build journal files from export-format text
  libavahi-client-dev        # phone discovery on the local network (DNS-SD through Avahi)
  avahi-daemon avahi-utils   # its tests run a private daemon and publish a stand-in phone
  libnm-dev                  # libwaplnk.so brings GPRS connections up through NetworkManager
  python3-dbusmock           # its tests talk D-Bus to a mock NetworkManager on a private bus
  pandoc weasyprint          # the manual (HTML, PDF) and the manual pages
  dpkg-dev file lintian      # the Debian package (CPack: dpkg-shlibdeps, file) and its check
  systemd                    # systemd-analyze verify/security on the service's unit
  desktop-file-utils appstream  # desktop entry and metainfo validation
)
# Node and npm run the npm test peers; a machine that has node from elsewhere keeps it.
if ! command -v npm >/dev/null 2>&1; then PACKAGES+=(nodejs npm); fi
HEADLESS=0
if [[ "${1:-}" == "--headless" ]]; then
  HEADLESS=1
  PACKAGES=(xvfb xauth openbox x11vnc novnc websockify)
fi

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

if ((HEADLESS)); then exit 0; fi

# Test peers from npm (tests/peers), installed exactly as locked.
PEERS="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/peers"
# Installed again whenever the lockfile changed since the last install (a stamp records it),
# so a checkout that gains a peer does not silently skip its tests.
STAMP="$PEERS/node_modules/.zella-installed-lock"
if [[ -f "$PEERS/package-lock.json" ]] && ! cmp -s "$PEERS/package-lock.json" "$STAMP"; then
  echo "setup: installing the npm test peers"
  (cd "$PEERS" && npm ci --no-audit --no-fund)
  cp "$PEERS/package-lock.json" "$STAMP"
fi
