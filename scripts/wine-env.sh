# Sourced: the Wine environment of a Windows build folder (its argument, by
# default build/windows): the folder's own prefix, no fixme lines, no Mono or
# Gecko prompts. Defines wine_prefix_ready, which makes the prefix once.
skyfw_windows_dir=$(realpath -m "${1:-build/windows}")
export WINEPREFIX=${SKYFW_WINEPREFIX:-$skyfw_windows_dir/wine}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
skyfw_wine64=/usr/lib/wine/wine64

wine_prefix_ready() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "wine: making the prefix $WINEPREFIX" >&2
    mkdir -p "$WINEPREFIX"
    "$skyfw_wine64" wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
}

# Starts the prefix's wineserver, kept up until `wineserver -k`, and Wine's
# own service processes with it. Those inherit the standard output and error
# of the Wine process that starts them and live on; started by the first test
# program they would hold its pipes open, and whoever reads them (ctest's test
# listing) would wait until its timeout. So they start here, on /dev/null.
wine_session_start() {
  wineserver -p </dev/null >/dev/null 2>&1 || true
  "$skyfw_wine64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
