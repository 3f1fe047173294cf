#!/usr/bin/env bash
# check-install.sh [BUILD_DIR]: skyfw as an installed product. Builds
# as a Release (-O3) build with warnings as errors (BUILD_DIR, default build/package;
# CPack strips the debug information from the package), then:
#   - installs into a temporary prefix and checks the SONAME links, headers,
#     CMake package, pkg-config file, man page, bash completion and licence;
#   - builds a tiny C and a tiny C++ host against it, once through
#     find_package and once through pkg-config, and runs them;
#   - moves the installed tree elsewhere and uses the program from there
#     (--version, sim init, discover on the demo machine);
#   - makes the Debian package, checks it with lintian, unpacks it into a
#     throwaway root and uses it from there with no build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=${1:-build/package}
scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release -DSKYFW_WERROR=ON -DSKYFW_BUILD_TESTS=OFF \
  -DSKYFW_BUILD_BENCH=OFF
build=$(cd "$build" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state  # the default demo machine lands here, not in $HOME
fail() { echo "check-install: $*" >&2; exit 1; }
step() { echo "check-install: $*"; }

# The program used without a build tree: version, a machine, a discovery.
use_program() {  # use_program SKYFW NAME
  local skyfw=$1 name=$2
  "$skyfw" --version >"$work/$name-version.txt" || fail "$name: skyfw --version failed"
  grep -q "^skyfw $version\$" "$work/$name-version.txt" || fail "$name: no program version"
  grep -q "^plug-in .*libskyfw\.so\.1 $version\$" "$work/$name-version.txt" ||
    fail "$name: the plug-in was not found by its SONAME: $(cat "$work/$name-version.txt")"
  grep -q "DEVELOPMENT KEY" "$work/$name-version.txt" || fail "$name: development key not named"
  "$skyfw" sim init "$work/$name-machine" >/dev/null || fail "$name: sim init failed"
  (cd "$work" && "$skyfw" --machine "$work/$name-machine" --json discover -o "$name.xml" \
    >"$work/$name-discover.json") || fail "$name: discover failed"
  python3 - "$work/$name-discover.json" <<'PY' || fail "$name: discover found no upgrade"
import json, sys
answer = json.load(open(sys.argv[1]))
assert answer["ok"] and len(answer["adapters"]) == 3, answer
assert all(a["action"] == "upgrade" for a in answer["adapters"]), answer
PY
}

step "installing into a temporary prefix"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name "libskyfw.so.$version")")
[[ $(readlink "$libdir/libskyfw.so") == libskyfw.so.1 ]] || fail "libskyfw.so does not link to the SONAME"
[[ $(readlink "$libdir/libskyfw.so.1") == "libskyfw.so.$version" ]] || fail "no SONAME link"
# Read the headers whole first: grep -q stops at the first match, and with
# pipefail objdump's SIGPIPE on the rest would fail the check at random.
headers=$(objdump -p "$libdir/libskyfw.so.$version")
grep -q "SONAME *libskyfw.so.1$" <<<"$headers" || fail "SONAME"
for file in include/skyfw/oem.h include/skyfw/version.h bin/skyfw share/man/man1/skyfw.1.gz \
  share/bash-completion/completions/skyfw share/doc/skyfw/LICENSE \
  share/skyfw/firmware/skyline-s2-21.8.0.pkg share/skyfw/dev_signing_private.pem; do
  [[ -f $prefix/$file ]] || fail "not installed: $file"
done
[[ -f $libdir/cmake/skyfw/skyfwConfigVersion.cmake && -f $libdir/pkgconfig/skyfw.pc ]] ||
  fail "no CMake package or pkg-config file"
# The program and the plug-in carry no private key: no line of the development
# key's body is in them (the signer's own "PRIVATE KEY" labels are).
if grep -qF -f <(sed -n '/^-----BEGIN/,/^-----END/{/^-----/!p}' "$source_dir/keys/dev_signing_private.pem") \
  "$prefix/bin/skyfw" "$libdir/libskyfw.so.$version"; then
  fail "a private key is compiled into the program or the plug-in"
fi
# The man page renders without a warning (as lintian checks it).
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 \
  "$prefix/share/man/man1/skyfw.1.gz" 2>&1 >/dev/null) || fail "man page: $warnings"
[[ -z $warnings ]] || fail "man page: $warnings"
bash -c "source '$prefix/share/bash-completion/completions/skyfw' && complete -p skyfw" >/dev/null ||
  fail "bash completion does not load"

step "building hosts through find_package"
cmake -S packaging/consumer -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
for program in consumer_c consumer_cpp; do
  out=$(LD_LIBRARY_PATH=$libdir "$work/consumer/$program") || fail "$program failed"
  [[ $out == "skyfw $version"* ]] || fail "$program: $out"
done

step "building hosts through pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c17 -Wall -Werror packaging/consumer/consumer.c $(pkg-config --cflags --libs skyfw) \
  -o "$work/pc_c"
c++ -std=c++20 -Wall -Werror packaging/consumer/consumer.cpp $(pkg-config --cflags --libs skyfw) \
  -o "$work/pc_cpp"
for program in pc_c pc_cpp; do
  out=$(LD_LIBRARY_PATH=$libdir "$work/$program") || fail "$program failed"
  [[ $out == "skyfw $version"* ]] || fail "$program: $out"
done
unset PKG_CONFIG_PATH

step "using the installed tree after moving it"
mv "$prefix" "$work/moved"
use_program "$work/moved/bin/skyfw" moved

step "making the Debian package"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$build/skyfw_${version}_amd64.deb
[[ -f $deb ]] || fail "no $deb"
# Tags that stay, and why (README, "Installing"): one package on purpose,
# installed under a prefix that may move (no multiarch library folder);
# CPack's own ldconfig calls, redundant beside the trigger.
lintian --fail-on error,warning \
  --suppress-tags link-to-shared-library-in-wrong-package,package-name-doesnt-match-sonames \
  --suppress-tags pkg-config-unavailable-for-cross-compilation,maintscript-calls-ldconfig \
  "$deb" || fail "lintian"
# Every dependency the package declares is one Debian 12 provides.
depends=$(dpkg-deb -f "$deb" Depends)
[[ -n $depends ]] || fail "the package declares no dependencies"
step "Depends: $depends"
if [[ $(id -u) -eq 0 ]]; then
  dpkg --no-act -i "$deb" >/dev/null || fail "dpkg -i would fail"
fi

step "using the package unpacked into a throwaway root"
dpkg-deb -x "$deb" "$work/root"
use_program "$work/root/usr/bin/skyfw" deb
cd "$source_dir"
step "all good: $deb"
