#!/usr/bin/env bash
# Builds the velmor program alone with all of its code instrumented by AddressSanitizer in
# ./build-asan (about eleven minutes of processor time; the test command's own velmor-asan
# only links with the sanitizer's run-time). The desktop shell test walks the tray with it
# when VELMOR_ASAN_BINARY names it:
#   VELMOR_ASAN_BINARY=$PWD/build-asan/src/velmor ctest --test-dir build -R TrayWalk
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O1 without debug information: cheaper to compile than the normal build's flags,
# and a report still names the functions of every frame.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=None "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="-O1 -fsanitize=address -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address" >/dev/null
cmake --build build-asan -j "$(nproc)" --target velmor
