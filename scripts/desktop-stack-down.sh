#!/usr/bin/env bash
# Stops the virtual desktop that desktop-stack-up.sh started in RUN_DIR: the listed PIDs,
# newest first, each after its own children (the accessibility bus's dbus-daemon). Never
# matches processes by name, so other desktops on this machine are left alone.
set -uo pipefail

run_dir=$(realpath -m "${1:-${VELMOR_STACK_DIR:-/tmp/velmor-desktop-stack}}")
pids_file="$run_dir/pids"
[ -f "$pids_file" ] || exit 0

children() { for p in "$@"; do pgrep -P "$p" 2>/dev/null; done; }
# Zombies count as gone: the init process here can take seconds to reap them.
running() { [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat"; }

tac "$pids_file" | while read -r pid _; do
  for child in $(children "$pid"); do
    for grandchild in $(children "$child"); do kill "$grandchild" 2>/dev/null; done
    kill "$child" 2>/dev/null
  done
  kill "$pid" 2>/dev/null
done

# Whatever ignored the polite signal for 2 s is killed.
for _ in $(seq 20); do
  alive=0
  while read -r pid _; do running "$pid" && alive=1; done < "$pids_file"
  [ "$alive" -eq 0 ] && break
  sleep 0.1
done
while read -r pid _; do running "$pid" && kill -9 "$pid" 2>/dev/null; done < "$pids_file"

rm -f "$pids_file" "$run_dir/env.sh"
exit 0
