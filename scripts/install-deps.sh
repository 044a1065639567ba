#!/usr/bin/env bash
# Installs what Velmor needs to build, run and test on Debian 12. Runs apt-get as root
# (through sudo when started by another user).
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  libboost-dev nlohmann-json3-dev libsqlite3-dev libssl-dev libcurl4-openssl-dev
  libatspi2.0-dev libx11-dev libxtst-dev libpng-dev openssl
  libpulse-dev libplist-dev libgtk-3-dev libayatana-appindicator3-dev
  # run time: the accessibility bus, the system voice, sound, screen recording
  espeak-ng pulseaudio pulseaudio-utils ffmpeg
  at-spi2-core dbus
  # tests and benchmarks: a virtual desktop with a GTK fixture application
  libgtest-dev libgmock-dev iproute2 sqlite3 procps
  xvfb x11-utils xauth openbox perl xclip trayer
  # real applications under control: Qt 5 (featherpad, a PyQt 5 form), GTK 3 (mousepad),
  # GTK 4 (gnome-calculator), Firefox
  featherpad python3-pyqt5 mousepad gnome-calculator firefox-esr
  # browser tests: headless Chromium and a static file server for the fixture pages
  chromium python3
  # fuzzing (scripts/fuzz.sh): clang with libFuzzer and the sanitizer run-times
  clang libclang-rt-14-dev
)

# browser and protocol tests: third-party pages and the MCP SDK from npm, pinned by lock files.
# A Node.js from elsewhere already brings npm; Debian's npm would conflict with it.
command -v npm >/dev/null || packages+=(npm)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# `npm ci` installs exactly what a package-lock.json pins; it is skipped while the lock file
# is unchanged since the last install. The browser tests drive third-party pages (TodoMVC,
# Swagger UI); the protocol tests drive Velmor through the official MCP SDK's clients.
root="$(cd "$(dirname "$0")/.." && pwd)"
for fixtures in "$root/tests/fixtures/web" "$root/tests/fixtures/mcp-sdk"; do
  stamp="$fixtures/node_modules/.installed-lock.sha256"
  lock_sum=$(sha256sum "$fixtures/package-lock.json" | cut -d' ' -f1)
  if [ "$(cat "$stamp" 2>/dev/null)" != "$lock_sum" ]; then
    (cd "$fixtures" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
    echo "$lock_sum" > "$stamp"
  fi
done
