#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang and the address and undefined-
# behaviour sanitizers, then runs each for its share of SECONDS (default 20, as the test
# command does; give more by hand, e.g. `scripts/fuzz.sh 3600`). Inputs that crash are kept
# in build-fuzz/findings; the corpus grows in build-fuzz/corpus across runs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build-fuzz
targets=(http_request page_message bridge_line shortcut_file)

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1
mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "fuzzing $target for ${share}s"
  "$build/${target}_fuzzer" -max_total_time="$share" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/findings/${target}-" -print_final_stats=1 \
    "$corpus" "tests/fuzz/seeds/$target" 2>"$build/$target.log" || {
      tail -n 60 "$build/$target.log"
      echo "fuzzing $target found a failure; the input is in $build/findings" >&2
      exit 1
    }
  grep -E '^stat::number_of_executed_units' "$build/$target.log" || true
done
