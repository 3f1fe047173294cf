#!/usr/bin/env bash
# build-sanitize.sh [DIR [TARGET...]]: the one clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer (DIR, default build/sanitize)
# that serves both the suite and the libFuzzer targets: the libraries carry
# libFuzzer's coverage (-fsanitize=fuzzer-no-link, SKYFW_BUILD_FUZZ), the fuzz
# targets link libFuzzer itself, and the test programs get the sanitizer
# runtime's no-op coverage hooks. -O1, as the sanitizers advise: the suite
# runs faster and the fuzzers execute more than at -O0; assertions stay
# (Debug). Warnings are not errors here: clang warns where g++ does not, and
# the g++ Release lane (scripts/test.sh) holds the code to -Werror.
# scripts/test.sh and scripts/fuzz.sh both build through it.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/sanitize}
shift || true
targets=()
(($# > 0)) && targets=(-- "$@")
scripts/build.sh "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS=-O1 -DCMAKE_CXX_FLAGS=-O1 \
  -DSKYFW_SANITIZE=ON -DSKYFW_BUILD_FUZZ=ON -DSKYFW_BUILD_BENCH=OFF "${targets[@]}"
