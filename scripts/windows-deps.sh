#!/usr/bin/env bash
# windows-deps.sh: installs the Windows cross compiler and Wine (Debian packages,
# when missing) and builds libxml2, LibTomCrypt, LibTomMath and GoogleTest as
# static mingw-w64 libraries from Debian's own sources, into a cache folder keyed
# by the Debian source versions and the compiler's version. A cached prefix is
# reused. Prints the prefix on its last line of standard output.
#
#   SKYFW_MINGW_CACHE   where the prefixes live (default ~/.cache/skyfw/mingw)
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
toolchain=$PWD/cmake/toolchains/mingw-w64-x86_64.cmake
triple=x86_64-w64-mingw32
log() { echo "windows-deps: $*" >&2; }

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { log "run as root or install sudo"; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

packages=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
  dpkg-dev googletest cmake ninja-build pkg-config ccache
  libfmt-dev nlohmann-json3-dev libcli11-dev
)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
updated=0
if ((${#missing[@]} > 0)); then
  log "installing ${missing[*]}"
  "${as_root[@]}" apt-get update -qq
  updated=1
  # Without recommends: Wine's recommends want the i386 architecture.
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# Source packages come from the deb-src twin of the configured Debian entries.
deb_src_list=/etc/apt/sources.list.d/skyfw-deb-src.sources
if ! apt-get source --print-uris -qq libxml2 >/dev/null 2>&1; then
  if [[ ! -f $deb_src_list ]]; then
    log "adding $deb_src_list"
    twin=$(
      for file in /etc/apt/sources.list.d/*.sources; do
        [[ -f $file ]] || continue
        # Every deb822 stanza signed by Debian's archive key, as deb-src.
        awk -v RS= -v ORS='\n\n' '/debian-archive-keyring/ && /(^|\n)Types:[^\n]*deb/ {
               sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$file"
      done
      if [[ -f /etc/apt/sources.list ]]; then
        sed -n 's/^deb \(.*debian.*\)$/Types: deb-src\nURIs: \1\n/p' /etc/apt/sources.list |
          awk -v RS= -v ORS='\n\n' '{ split($0, l, "\n"); n = split(substr(l[2], 7), w, " ");
               printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", w[1], w[2];
               for (i = 3; i <= n; i++) printf " %s", w[i]; print "" }'
      fi
    )
    [[ -n $twin ]] || { log "no Debian apt source to twin as deb-src"; exit 1; }
    printf '%s\n' "$twin" | "${as_root[@]}" tee "$deb_src_list" >/dev/null
  fi
  "${as_root[@]}" apt-get update -qq
  updated=1
fi

source_versions() { # the versions of a source package apt knows, newest first
  local versions=() version i
  while read -r version; do
    for ((i = ${#versions[@]}; i > 0; i--)); do
      dpkg --compare-versions "$version" gt "${versions[i - 1]}" || break
      versions[i]=${versions[i - 1]}
    done
    versions[i]=$version
  done < <(apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -u)
  printf '%s\n' "${versions[@]}"
}
source_version() { # the newest; read whole, as head would cut the pipe (pipefail)
  local versions
  versions=$(source_versions "$1")
  echo "${versions%%$'\n'*}"
}
xml_version=$(source_version libxml2)
crypt_version=$(source_version libtomcrypt)
math_version=$(source_version libtommath)
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
gcc_version=$($triple-gcc-posix -dumpversion)
for v in xml_version crypt_version math_version gtest_version gcc_version; do
  [[ -n ${!v} ]] || { log "cannot tell the version for $v"; exit 1; }
done
key="libxml2-${xml_version}_libtomcrypt-${crypt_version}_libtommath-${math_version}"
key+="_googletest-${gtest_version}_gcc-${gcc_version}"
key=${key//:/.}
cache=${SKYFW_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/skyfw/mingw}
prefix=$cache/$key

# The source builds install no .pc files for mingw; the project finds both
# through pkg-config, as on Linux. Written on every run, a cached prefix too.
# As Debian's own: the library was built with LibTomMath as its math
# (LTM_DESC), which its users need not define. Static only: its users link
# LibTomMath after it (Requires, not Requires.private).
write_pkg_config() {
  cat >"$prefix/lib/pkgconfig/libtommath.pc" <<PC
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: LibTomMath
Description: multiple-precision integer library (static, mingw-w64)
Version: ${math_version%%-*}
Libs: -L\${libdir} -ltommath
Cflags: -I\${includedir}
PC
  cat >"$prefix/lib/pkgconfig/libtomcrypt.pc" <<PC
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: LibTomCrypt
Description: cryptographic toolkit (static, mingw-w64, LibTomMath as its math)
Version: ${crypt_version%%-*}
Requires: libtommath
Libs: -L\${libdir} -ltomcrypt
Cflags: -I\${includedir}
PC
}

if [[ -f $prefix/.complete ]]; then
  write_pkg_config
  log "cached: $prefix"
  echo "$prefix"
  exit 0
fi

log "building into $prefix"
# Each library leaves a stamp: a run cut short goes on from where it stopped.
work=$prefix.work
rm -rf "$work"
mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$work"
trap 'rm -rf "$work"' EXIT
jobs=$(nproc)
cc="$triple-gcc-posix"
ar="$triple-gcc-ar-posix"
ranlib="$triple-gcc-ranlib-posix"
quietly() { # runs a build step, showing its output only when it fails
  if ! "$@" >"$work/step.log" 2>&1; then
    tail -n 40 "$work/step.log" >&2
    log "failed: $*"
    exit 1
  fi
}
built() { [[ -f $prefix/.built-$1 ]]; }
stamp() { touch "$prefix/.built-$1"; }
source_dir() { # fetches and unpacks a Debian source package, prints its folder
  # The newest first; a mirror may not serve an update its index already lists.
  local version
  for version in $(source_versions "$1"); do
    if (cd "$work" && apt-get source -qq "$1=$version" >"$work/fetch.log" 2>&1); then
      echo "$1 $version" >>"$prefix/versions.txt"
      find "$work" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n1
      return 0
    fi
    log "$1 $version could not be fetched: $(grep '^E:' "$work/fetch.log" | head -n1)"
  done
  log "no source of $1 could be fetched"
  return 1
}

if ! built libtommath; then
  log "LibTomMath $math_version"
  math_src=$(source_dir libtommath "$math_version")
  quietly make -C "$math_src" -f makefile -j "$jobs" CROSS_COMPILE=$triple- CC="$cc" AR="$ar" \
    RANLIB="$ranlib" CFLAGS="-O2" libtommath.a
  cp "$math_src"/tommath*.h "$prefix/include/"
  cp "$math_src/libtommath.a" "$prefix/lib/"
  stamp libtommath
fi

if ! built libtomcrypt; then
  log "LibTomCrypt $crypt_version"
  crypt_src=$(source_dir libtomcrypt "$crypt_version")
  quietly make -C "$crypt_src" -f makefile -j "$jobs" CROSS_COMPILE=$triple- CC="$cc" AR="$ar" \
    RANLIB="$ranlib" CFLAGS="-O2 -DLTM_DESC -DUSE_LTM -I$prefix/include" library
  cp "$crypt_src"/src/headers/*.h "$prefix/include/"
  cp "$crypt_src/libtomcrypt.a" "$prefix/lib/"
  stamp libtomcrypt
fi
write_pkg_config

cross_cmake() { # SOURCE BUILD [options...]
  local source=$1 build=$2
  shift 2
  quietly cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  quietly cmake --build "$build" -j "$jobs"
  quietly cmake --install "$build"
}

if ! built libxml2; then
  log "libxml2 $xml_version"
  xml_src=$(source_dir libxml2 "$xml_version")
  # LIBXML_STATIC: without it every object carries export directives, and any
  # DLL that links the library re-exports its whole API.
  cross_cmake "$xml_src" "$work/build-libxml2" -DCMAKE_C_FLAGS=-DLIBXML_STATIC \
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_ZLIB=OFF \
    -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF \
    -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_MODULES=OFF -DLIBXML2_WITH_PROGRAMS=OFF \
    -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_CATALOG=OFF -DLIBXML2_WITH_DOCB=OFF \
    -DLIBXML2_WITH_LEGACY=OFF -DLIBXML2_WITH_DEBUG=OFF
  grep -q LIBXML_STATIC "$prefix/lib/pkgconfig/libxml-2.0.pc" || {
    log "libxml-2.0.pc lacks -DLIBXML_STATIC"
    exit 1
  }
  stamp libxml2
fi

if ! built googletest; then
  log "GoogleTest $gtest_version"
  cross_cmake /usr/src/googletest "$work/build-googletest" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
  stamp googletest
fi

# fmt, nlohmann-json and CLI11 are header-only: Debian's headers, through a
# folder of links, since /usr/include itself would bring glibc's headers in.
mkdir -p "$prefix/header-only"
for dir in fmt nlohmann CLI; do
  [[ -d /usr/include/$dir ]] || { log "missing /usr/include/$dir"; exit 1; }
  ln -sfn "/usr/include/$dir" "$prefix/header-only/$dir"
done

touch "$prefix/.complete"
log "done: $prefix"
echo "$prefix"
