#!/usr/bin/env bash
# build.sh DIR [cmake options...] [-- TARGET...]: configures and builds into
# DIR (every target, or those given). Configures once; again (from a fresh
# cache, keeping the objects) only when the options differ from those DIR was
# configured with, so a folder left by another configuration (another build
# type, another compiler) is never reused as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
options=()
while (($# > 0)) && [[ $1 != -- ]]; do
  options+=("$1")
  shift
done
shift || true
targets=()
(($# > 0)) && targets=(--target "$@")
stamp=$dir/.skyfw-build-options
wanted=$(printf '%s\n' "${options[@]}")
if [[ ! -f "$dir/build.ninja" || ! -f $stamp || $(<"$stamp") != "$wanted" ]]; then
  fresh=()
  [[ -f "$dir/CMakeCache.txt" ]] && fresh=(--fresh)
  cmake "${fresh[@]}" -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
  printf '%s' "$wanted" >"$stamp"
fi
cmake --build "$dir" "${targets[@]}"
