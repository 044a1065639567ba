#!/usr/bin/env bash
# Stops the Wayland desktop that wayland-stack-up.sh started in RUN_DIR (exactly the listed
# processes) and removes the test user's files.
set -uo pipefail
. "$(dirname "$0")/user-desktop.sh"
user_desktop_down wayland "$(realpath -m "${1:-${VELMOR_WAYLAND_STACK_DIR:-/tmp/velmor-wayland-stack}}")"
exit 0
