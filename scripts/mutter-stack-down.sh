#!/usr/bin/env bash
# Stops the GNOME desktop that mutter-stack-up.sh started in RUN_DIR (exactly the listed
# processes) and removes the test user's files.
set -uo pipefail

run_dir=$(realpath -m "${1:-${VELMOR_MUTTER_STACK_DIR:-/tmp/velmor-mutter-stack}}")
"$(dirname "$0")/desktop-stack-down.sh" "$run_dir"
if [ -s "$run_dir/base" ]; then
  base=$(cat "$run_dir/base")
  case "$base" in /tmp/velmor-mutter.*) rm -rf "$base" ;; esac
fi
rm -f "$run_dir/base" "$run_dir/environment"
exit 0
