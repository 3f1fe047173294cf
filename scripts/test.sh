#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs the whole suite; then builds
# and runs it again with AddressSanitizer and UndefinedBehaviorSanitizer; then
# fuzzes every libFuzzer target briefly (SKYFW_CI_FUZZ_SECONDS each, default 10);
# then installs, consumes and packages skyfw (scripts/check-install.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
scripts/build.sh build/ci -DSKYFW_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build/ci --output-on-failure -j "$jobs"
# The Ansible collection: unit tests and a rolling update of 20 simulated hosts.
scripts/ansible-test.sh build/ci

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
scripts/build.sh build/sanitize -DSKYFW_WERROR=ON -DSKYFW_SANITIZE=ON -DSKYFW_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
# A short run of every fuzz target; the clang build in build/fuzz is reused.
scripts/fuzz.sh "${SKYFW_CI_FUZZ_SECONDS:-10}"
# Installed as a product: install, consume, relocate, the Debian package.
scripts/check-install.sh build/package
echo "test: all green"
