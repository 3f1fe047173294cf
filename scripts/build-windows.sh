#!/usr/bin/env bash
# build-windows.sh [DIR [cmake options...]]: sets up what the Windows build
# needs (scripts/windows-deps.sh: cross compiler, Wine, static dependencies),
# then cross-builds skyfw.dll, skyfw.exe and the test programs into DIR
# (default build/windows; the two land in DIR/bin). Programs run at build time
# run under Wine, in DIR's own prefix (scripts/wine-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/windows}
shift || true

prefix=$(scripts/windows-deps.sh | tail -n1)
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh "$dir"
wine_prefix_ready
# One wineserver for the whole build: a Wine process starts in a fraction of
# the time when it is already up.
wine_session_start
trap 'wineserver -k 2>/dev/null || true' EXIT

if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
# Configured every time: the dependency prefix moves when Debian's sources do.
if [[ ! -f $dir/build.ninja ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-run" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSKYFW_MINGW_PREFIX="$prefix" "$@" >/dev/null
else
  cmake -S . -B "$dir" -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-run" \
    -DSKYFW_MINGW_PREFIX="$prefix" "$@" >/dev/null
fi
cmake --build "$dir"
echo "build-windows: $dir/bin/skyfw.dll $dir/bin/skyfw.exe"
