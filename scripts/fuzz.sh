#!/usr/bin/env bash
# fuzz.sh [SECONDS]: builds the libFuzzer targets with clang (libraries
# instrumented for coverage, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each target for SECONDS (default 60) from the builders' seeds.
# Crashes land in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build/fuzz

if [[ ! -f "$dir/build.ninja" ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSKYFW_BUILD_FUZZ=ON -DSKYFW_BUILD_TESTS=OFF -DSKYFW_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
fi
cmake --build "$dir" --target fuzz_package fuzz_vpd fuzz_write_seeds

"$dir/fuzz/fuzz_write_seeds" "$dir/seeds"
mkdir -p "$dir/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in package vpd; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$dir/fuzz/fuzz_$target" "$corpus" "$dir/seeds/$target" -max_total_time="$seconds" \
    -artifact_prefix="$dir/artifacts/${target}-" -print_final_stats=1 >"$dir/fuzz_$target.log" 2>&1; then
    status=1
    echo "fuzz_$target FAILED; see $dir/fuzz_$target.log and $dir/artifacts/"
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$dir/fuzz_$target.log" || true
done
[[ $status -eq 0 ]] && echo "fuzz: no crash"
exit $status
