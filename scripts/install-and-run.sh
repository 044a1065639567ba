#!/usr/bin/env bash
# Installs what is needed, builds Velmor, installs velmor, velmor-bridge and velmor-shortcuts into
# /usr/local/bin and starts velmor in the foreground (stop it with Ctrl-C).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMOR_BUILD_TESTS=OFF -DVELMOR_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" cmake --install build --prefix /usr/local
echo "velmor-bridge installed at /usr/local/bin/velmor-bridge; starting velmor (log: /tmp/velmor.log)"
exec /usr/local/bin/velmor
