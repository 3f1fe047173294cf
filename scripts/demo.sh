#!/usr/bin/env bash
# Sets up, builds and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DSKYFW_BUILD_TESTS=OFF -DSKYFW_BUILD_BENCH=OFF
skyfw=build/release/tools/skyfw/skyfw

echo "== result codes of the plug-in"
for code in 0 1 2 3 4 5 6 7 8 9 10 11 12 101 102 103 104 105 106; do
  printf '%4s  ' "$code"
  "$skyfw" text "$code"
  echo
done
