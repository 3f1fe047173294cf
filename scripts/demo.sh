#!/usr/bin/env bash
# Sets up, builds and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DSKYFW_BUILD_TESTS=OFF -DSKYFW_BUILD_BENCH=OFF
skyfw=build/release/bin/skyfw

echo "== result codes of the plug-in (build/release/bin/libskyfw.so)"
for code in 0 1 2 3 4 5 6 7 8 9 10 11 12 101 102 103 104 105 106 13; do
  printf '%4s  ' "$code"
  # The texts carry their own CR LF (code 3 and unknown codes none): show one line each.
  "$skyfw" text "$code" | tr -d '\r\n'
  echo
done
