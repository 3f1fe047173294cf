#!/usr/bin/env bash
# Checks the layering (scripts/check-layers.sh); sets up, builds with warnings
# as errors and runs the whole suite; then builds
# and runs it again with AddressSanitizer and UndefinedBehaviorSanitizer; then
# fuzzes every libFuzzer target briefly (SKYFW_CI_FUZZ_SECONDS each, default 10);
# then installs, consumes and packages skyfw (scripts/check-install.sh); then
# the Windows lane: cross-builds skyfw.dll and the suite (build/windows) and
# runs the whole suite under Wine (SKYFW_CI_WINDOWS=0 leaves it out). Each
# lane's time ends the output.
set -euo pipefail
cd "$(dirname "$0")/.."
times=()
lane_done() { times+=("$(printf '%-9s %5d s' "$1" $((SECONDS - lane_start)))"); }

lane_start=$SECONDS
scripts/check-layers.sh
lane_done layers

lane_start=$SECONDS
scripts/setup.sh

jobs=$(nproc)
scripts/build.sh build/ci -DSKYFW_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/ci --output-on-failure -j "$jobs"
lane_done linux

lane_start=$SECONDS
# The Ansible collection: unit tests and a rolling update of 20 simulated hosts.
scripts/ansible-test.sh build/ci
lane_done ansible

lane_start=$SECONDS
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
scripts/build.sh build/sanitize -DSKYFW_WERROR=ON -DSKYFW_SANITIZE=ON -DSKYFW_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
lane_done sanitize

lane_start=$SECONDS
# A short run of every fuzz target; the clang build in build/fuzz is reused.
scripts/fuzz.sh "${SKYFW_CI_FUZZ_SECONDS:-10}"
lane_done fuzz

lane_start=$SECONDS
# Installed as a product: install, consume, relocate, the Debian package.
scripts/check-install.sh build/package
lane_done install

if [[ ${SKYFW_CI_WINDOWS:-1} != 0 ]]; then
  lane_start=$SECONDS
  scripts/build-windows.sh build/windows -DSKYFW_WERROR=ON
  # shellcheck source=scripts/wine-env.sh
  source scripts/wine-env.sh build/windows
  # The test programs run under Wine (CMAKE_CROSSCOMPILING_EMULATOR) with one
  # wineserver kept up for the whole run, and stopped at the end.
  wine_session_start
  trap 'wineserver -k 2>/dev/null || true' EXIT
  ctest --test-dir build/windows --output-on-failure -j "$jobs"
  wineserver -k || true
  trap - EXIT
  lane_done windows
fi

printf 'test: %s\n' "${times[@]}"
echo "test: all green"
