#!/usr/bin/env bash
# Installs the Debian 12 packages Velmor needs: `install-deps.sh run build` what building from
# source and running take (scripts/install-and-run.sh), `install-deps.sh` alone everything,
# tests included (scripts/run-tests.sh). `install-deps.sh --list LIST...` prints the packages
# of those lists, one a line, and installs nothing. Runs apt-get as root (through sudo when
# started by another user).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# Run time: shared with the .deb's Depends. A line "a | b" is met by either; the first is
# installed when neither is.
mapfile -t run_packages < <(grep -v '^#' "$root/packaging/runtime-packages.txt" | sed '/^ *$/d')

build_packages=(
  cmake ninja-build g++ pkg-config
  libboost-dev nlohmann-json3-dev libsqlite3-dev libssl-dev libcurl4-openssl-dev
  libatspi2.0-dev libx11-dev libxtst-dev libpng-dev openssl
  libpulse-dev libplist-dev libgtk-3-dev libayatana-appindicator3-dev
  # Wayland sessions: the client library, the scanner and keymaps
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev
  # GNOME sessions: mutter's screen casts arrive through PipeWire
  libpipewire-0.3-dev
  # making the .deb: dpkg-shlibdeps finds the libraries the programs link
  dpkg-dev
)

test_packages=(
  # tests and benchmarks: a virtual desktop with a GTK fixture application, a PulseAudio
  # daemon with a null sink
  libgtest-dev libgmock-dev iproute2 sqlite3 procps pulseaudio pulseaudio-utils
  xvfb x11-utils xauth openbox perl xclip trayer
  # a headless Wayland desktop (wlroots) beside it, and tools that check it from outside
  sway xwayland x11-xserver-utils weston grim wtype wl-clipboard util-linux passwd
  # a headless GNOME desktop (mutter) with PipeWire for its screen casts, and the desktop
  # portal whose consent dialogs stand in front of mutter's services
  mutter pipewire wireplumber xdg-desktop-portal xdg-desktop-portal-gnome
  # real applications under control: Qt 5 (featherpad, a PyQt 5 form), Qt 6 (PyQt 6 windows),
  # GTK 3 (mousepad), GTK 4 (gnome-calculator, gnome-text-editor and its file chooser, GTK's
  # print editor and a PyGObject window, for their menu bars), Firefox,
  # a spreadsheet grid (LibreOffice Calc through its GTK 3 plugin, which is the one that speaks AT-SPI)
  featherpad python3-pyqt5 python3-pyqt6 mousepad gnome-calculator gnome-text-editor firefox-esr
  gtk-4-examples gir1.2-gtk-4.0
  libreoffice-calc libreoffice-gtk3
  # browser tests: headless Chromium and a static file server for the fixture pages
  chromium python3
  # the package test: the desktop entry, the unit and the manual pages checked
  desktop-file-utils systemd groff-base
  # fuzzing (scripts/fuzz.sh): clang with libFuzzer and the sanitizer run-times
  clang libclang-rt-14-dev
)

listing=false
if [ "${1:-}" = --list ]; then listing=true; shift; fi
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(run build test)

packages=()
for list in "${lists[@]}"; do
  case "$list" in
    run) packages+=("${run_packages[@]}") ;;
    build) packages+=("${build_packages[@]}") ;;
    test) packages+=("${test_packages[@]}") ;;
    *) echo "install-deps.sh: unknown list '$list' (run, build or test)" >&2; exit 2 ;;
  esac
done
if $listing; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for line in "${packages[@]}"; do
  IFS='|' read -ra alternatives <<< "$line"
  met=false
  for p in "${alternatives[@]}"; do
    p="${p// /}"
    if installed "$p"; then met=true; break; fi
  done
  $met || { first="${alternatives[0]}"; missing+=("${first// /}"); }
done
# browser and protocol tests: third-party pages and the MCP SDK from npm, pinned by lock files.
# A Node.js from elsewhere already brings npm; Debian's npm would conflict with it.
testing=false
for list in "${lists[@]}"; do [ "$list" = test ] && testing=true; done
if $testing && ! command -v npm >/dev/null; then missing+=(npm); fi
if [ ${#missing[@]} -gt 0 ]; then
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
  # The downloaded packages are not needed once installed: with Firefox, LibreOffice and
  # Chromium among them they take about 2 GB that the build may need.
  "${as_root[@]}" apt-get clean
fi

# `npm ci` installs exactly what a package-lock.json pins; it is skipped while the lock file
# is unchanged since the last install. The browser tests drive third-party pages (TodoMVC,
# Swagger UI); the protocol tests drive Velmor through the official MCP SDK's clients.
$testing || exit 0
for fixtures in "$root/tests/fixtures/web" "$root/tests/fixtures/mcp-sdk"; do
  stamp="$fixtures/node_modules/.installed-lock.sha256"
  lock_sum=$(sha256sum "$fixtures/package-lock.json" | cut -d' ' -f1)
  if [ "$(cat "$stamp" 2>/dev/null)" != "$lock_sum" ]; then
    (cd "$fixtures" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
    echo "$lock_sum" > "$stamp"
  fi
done
