#!/usr/bin/env bash
# fuzz.sh [SECONDS] [TARGET...]: builds the libFuzzer targets with clang
# (libraries instrumented for coverage, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each target (default: all) for SECONDS
# (default 60), from its corpus in build/fuzz/corpus/TARGET (kept between
# runs) and the builders' seeds, with fuzz/TARGET.dict when there is one.
# Prints per target the executions, new units and corpus size; exits 1 when
# any target found a crash, leak, hang or failed check. Crashes land in
# build/fuzz/artifacts/; reproduce one with build/fuzz/fuzz/fuzz_TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
all_targets=(package vpd flash_request catalogue package_log machine_description firmware_package)
targets=("$@")
((${#targets[@]} > 0)) || targets=("${all_targets[@]}")
dir=build/fuzz

if [[ ! -f "$dir/build.ninja" ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSKYFW_BUILD_FUZZ=ON -DSKYFW_BUILD_TESTS=OFF -DSKYFW_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
fi
cmake --build "$dir" --target fuzz_all

"$dir/fuzz/fuzz_write_seeds" "$dir/seeds"
mkdir -p "$dir/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
report=()
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  # The targets' own temporary files and machines, removed after each run;
  # in memory when the system has a tmpfs (the simulated machine's locks and
  # whole-file writes are several times faster there).
  scratch_root=$dir/tmp
  [[ -d /dev/shm && -w /dev/shm ]] && scratch_root=/dev/shm
  mkdir -p "$corpus" "$scratch_root"
  scratch=$(mktemp -d "$scratch_root/skyfw-fuzz-$target-XXXXXX")
  options=(-max_total_time="$seconds" -timeout=20 -print_final_stats=1
           -artifact_prefix="$dir/artifacts/${target}-")
  [[ -f fuzz/$target.dict ]] && options+=(-dict="fuzz/$target.dict")
  echo "== fuzz_$target for ${seconds}s"
  log="$dir/fuzz_$target.log"
  if ! TMPDIR="$scratch" "$dir/fuzz/fuzz_$target" "$corpus" "$dir/seeds/$target" "${options[@]}" \
    >"$log" 2>&1; then
    status=1
    echo "fuzz_$target FAILED; see $log and $dir/artifacts/"
    grep -m1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error|: [a-z ]+:' \
      "$log" || true
  fi
  rm -rf "$scratch"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log")
  files=$(find "$corpus" -type f | wc -l)
  report+=("$(printf '%-20s %12s %10s %10s' "$target" "${runs:-?}" "${added:-?}" "$files")")
done
printf '%-20s %12s %10s %10s\n' TARGET EXECUTIONS NEW_UNITS CORPUS
printf '%s\n' "${report[@]}"
[[ $status -eq 0 ]] && echo "fuzz: no crash"
exit $status
