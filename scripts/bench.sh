#!/usr/bin/env bash
# bench.sh [bench_table.py options]: builds the benchmarks optimized (-O2, no
# sanitizers, in build/bench), runs them and the peer programs on this machine,
# and prints one table of the figures. Not part of CI: figures depend on the
# machine and its load, which the table states.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/bench -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DSKYFW_BUILD_TESTS=OFF -DSKYFW_BUILD_BENCH=ON
exec python3 bench/bench_table.py build/bench "$@"
