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
mutter_stack="$root/build/mutter-stack"
scripts/mutter-stack-down.sh "$mutter_stack" 2>/dev/null || true
scripts/desktop-stack-up.sh "$stack"
trap '"$root/scripts/desktop-stack-down.sh" "$stack"' EXIT
. "$stack/env.sh"
# Beside it a headless Wayland desktop; the Wayland tests (label wayland) take its environment
# from the folder named here, everything else stays on the X11 desktop.
scripts/wayland-stack-up.sh "$wayland_stack"
trap '"$root/scripts/desktop-stack-down.sh" "$stack"; "$root/scripts/wayland-stack-down.sh" "$wayland_stack"' EXIT
export VELMOR_WAYLAND_STACK="$wayland_stack"
# And a headless GNOME desktop (mutter) for the GNOME tests (label gnome).
scripts/mutter-stack-up.sh "$mutter_stack"
trap '"$root/scripts/desktop-stack-down.sh" "$stack"; "$root/scripts/wayland-stack-down.sh" "$wayland_stack"; "$root/scripts/mutter-stack-down.sh" "$mutter_stack"' EXIT
export VELMOR_MUTTER_STACK="$mutter_stack"

(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 300)

# A short fuzzing pass over the readers of outside input; run scripts/fuzz.sh with more
# seconds by hand for a deeper one.
scripts/fuzz.sh 20
