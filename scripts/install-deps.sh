#!/usr/bin/env bash
# Installs what Velmor needs to build, run and test on Debian 12. Runs apt-get as root
# (through sudo when started by another user).
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  libboost-dev nlohmann-json3-dev libsqlite3-dev libssl-dev libcurl4-openssl-dev
  libatspi2.0-dev libx11-dev libxtst-dev libpng-dev openssl
  # run time: the accessibility bus
  at-spi2-core dbus
  # tests and benchmarks: a virtual desktop with a GTK fixture application
  libgtest-dev libgmock-dev iproute2 sqlite3 procps
  libgtk-3-dev xvfb x11-utils xauth openbox perl xclip
  # third-party applications the desktop tests drive: GTK 4 and GTK 3
  gnome-calculator mousepad
  # browser tests: headless Chromium and a static file server for the fixture pages
  chromium python3
)

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
