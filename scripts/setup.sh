#!/usr/bin/env bash
# Installs the Debian packages skyfw builds and tests with, when missing.
set -euo pipefail

packages=(
  build-essential g++ clang cmake ninja-build pkg-config git
  libxml2-dev libtomcrypt-dev libtommath-dev libcli11-dev nlohmann-json3-dev libfmt-dev
  libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  openssl zlib1g-dev python3
  ansible-core
  # The install check: the Debian package and its man page (scripts/check-install.sh).
  lintian dpkg-dev man-db groff-base binutils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  as_root=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "setup: run as root or install sudo" >&2; exit 1; }
    as_root=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
