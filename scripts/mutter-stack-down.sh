#!/usr/bin/env bash
# Stops the GNOME desktop that mutter-stack-up.sh started in RUN_DIR (exactly the listed
# processes) and removes the test user's files.
set -uo pipefail
. "$(dirname "$0")/user-desktop.sh"
user_desktop_down mutter "$(realpath -m "${1:-${VELMOR_MUTTER_STACK_DIR:-/tmp/velmor-mutter-stack}}")"
exit 0
