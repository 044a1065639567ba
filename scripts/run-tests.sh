#!/usr/bin/env bash
# Installs what is needed, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh

# The desktop tests drive real applications on a private virtual desktop.
root=$(pwd)
stack="$root/build/desktop-stack"
scripts/desktop-stack-down.sh "$stack" 2>/dev/null || true
wayland_stack="$root/build/wayland-stack"
scripts/wayland-stack-down.sh "$wayland_stack" 2>/dev/null || true
scripts/desktop-stack-up.sh "$stack"
trap '"$root/scripts/desktop-stack-down.sh" "$stack"' EXIT
. "$stack/env.sh"
# Beside it a headless Wayland desktop; the Wayland tests (label wayland) take its environment
# from the folder named here, everything else stays on the X11 desktop.
scripts/wayland-stack-up.sh "$wayland_stack"
trap '"$root/scripts/desktop-stack-down.sh" "$stack"; "$root/scripts/wayland-stack-down.sh" "$wayland_stack"' EXIT
export VELMOR_WAYLAND_STACK="$wayland_stack"

(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 300)

# A short fuzzing pass over the readers of outside input; run scripts/fuzz.sh with more
# seconds by hand for a deeper one.
scripts/fuzz.sh 20
