#!/usr/bin/env bash
# Installs what building and running need, builds Velmor, installs it under /usr/local
# (velmor, velmor-bridge and velmor-shortcuts in /usr/local/bin, the desktop entry, icons,
# manual pages and the systemd user unit) and starts velmor in the background, so that
# closing the terminal does not stop it: through the user's service manager when
# `systemctl --user` works, else as a process of its own session.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run build
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMOR_BUILD_TESTS=OFF -DVELMOR_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" cmake --install build --prefix /usr/local
echo "Installed velmor, velmor-bridge and velmor-shortcuts in /usr/local/bin."

log="${XDG_STATE_HOME:-$HOME/.local/state}/velmor/velmor.log"
if systemctl --user daemon-reload 2>/dev/null; then
  # The service gets the display of this session even when the desktop did not pass it on.
  systemctl --user import-environment DISPLAY XAUTHORITY WAYLAND_DISPLAY 2>/dev/null || true
  # A Velmor already running as a service is replaced by the one just built.
  systemctl --user restart velmor.service
  echo "Velmor runs as the user service velmor.service (log: $log)."
  echo "To start it with every login: systemctl --user enable velmor"
else
  # No user service manager (a container, or a login without systemd): a session of its own
  # keeps it from the terminal's hang-up.
  started="$(mktemp)"
  trap 'rm -f "$started"' EXIT
  setsid /usr/local/bin/velmor </dev/null >"$started" 2>&1 &
  pid=$!
  sleep 2
  if kill -0 "$pid" 2>/dev/null; then
    echo "Velmor runs in the background, process $pid (log: $log)."
  else
    wait "$pid" && status=0 || status=$?
    cat "$started"
    [ "$status" -eq 0 ] || { echo "velmor stopped with status $status (log: $log)." >&2; exit 1; }
  fi
fi
