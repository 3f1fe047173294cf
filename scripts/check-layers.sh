#!/usr/bin/env bash
# check-layers.sh [ROOT]: the folders under src/ are the layers, and a file
# includes only headers of its own folder or of folders below it. Reads every
# #include "…" under src/, include/ and tools/ and names each one that runs
# upward, or from src/ or include/ into tools/. Second rule: the operating
# system is reached through src/os only, so a file of src/ or include/
# elsewhere that includes a system header or tests _WIN32 is named too.
# Exits 1 when it finds any.
#
# The order, lowest first, is written down here and nowhere else; the top
# CMakeLists.txt adds the folders in the same order.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

layers=(
  skyfw      # include/skyfw: the public C header
  base       # byte reader and writer, UTF-8/UTF-16, text helpers, result codes
  os         # the run-time made portable: files, names, locks, libraries, processes
  platform   # the seam: interfaces and value types in Windows vocabulary
  diag       # trace log, event log source
  integrity  # CRC-32, SHA-256, RSA signature check
  package    # package format, reader, verifier, writer, VPD
  nvm        # WMI transport, NVM operations, direct transport, driver layouts
  sim        # the simulated machine and driver (implements platform)
  win32      # the real Windows platform (implements platform)
  nmapi      # adapter management library
  update     # device record, versions, firmware choice, installer, backup
  host       # entry points, documents, catalogue, inventory
  plugin     # composition root: exports, platform choice, DllMain
  tools      # everything under tools/ sits above every layer
)

# The folders that may speak to the operating system themselves: os and its
# per-system bodies, the real Windows platform, and the composition root
# (DllMain). tools/, tests/ and the public header (whose export macros name
# _WIN32) are outside the rule.
os_folders=(src/os src/win32 src/plugin)

# System headers, as extended regular expressions of what is between < and >.
os_headers=(
  'windows\.h' 'winsock2\.h' 'ws2tcpip\.h' 'shellapi\.h' 'io\.h' 'share\.h' 'malloc\.h'
  'unistd\.h' 'fcntl\.h' 'dlfcn\.h' 'pthread\.h' 'dirent\.h' 'poll\.h' 'spawn\.h'
  'termios\.h' 'syslog\.h' 'wait\.h'
  'sys/.*' 'arpa/.*' 'netinet/.*' 'net/.*' 'linux/.*'
)

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

# The layer of a file under src/, include/ or tools/, or of an include path.
layer_of_file() {
  case $1 in
    src/*) local rest=${1#src/}; echo "${rest%%/*}" ;;
    include/skyfw/*) echo skyfw ;;
    tools/*) echo tools ;;
  esac
}

os_header_pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*<($(IFS='|'; echo "${os_headers[*]}"))>"
win32_test_pattern='(^|[^[:alnum:]_])_WIN32([^[:alnum:]_]|$)'

# True when the file may include system headers and test the system.
may_speak_to_os() {
  case $1 in tools/* | tests/* | include/*) return 0 ;; esac
  local folder
  for folder in "${os_folders[@]}"; do [[ $1 == "$folder"/* ]] && return 0; done
  return 1
}

failures=0
report() {
  echo "check-layers: $1" >&2
  failures=$((failures + 1))
}

while IFS= read -r -d '' file; do
  from=$(layer_of_file "$file")
  if [[ -z ${rank[$from]+set} ]]; then
    report "$file: folder '$from' is not a layer (add it to scripts/check-layers.sh)"
    continue
  fi
  may_speak_to_os "$file" && speaks=yes || speaks=no
  line_number=0
  while IFS= read -r line; do
    line_number=$((line_number + 1))
    if [[ $speaks == no ]]; then
      if [[ $line =~ $os_header_pattern ]]; then
        report "$file:$line_number: includes <${BASH_REMATCH[1]}>: only ${os_folders[*]} speak to the system"
        continue
      fi
      if [[ $line =~ $win32_test_pattern ]]; then
        report "$file:$line_number: tests _WIN32: per-system code belongs in src/os/posix and src/os/windows"
        continue
      fi
    fi
    [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
    target=${BASH_REMATCH[1]}
    # A name without a folder: tools name their neighbours so; a layer names
    # every header by its folder, so there it can only come from elsewhere.
    if [[ $target != */* ]]; then
      if [[ $from != tools && ! -f $(dirname "$file")/$target ]]; then
        report "$file:$line_number: includes \"$target\", from no layer"
      fi
      continue
    fi
    to=${target%%/*}
    if [[ -z ${rank[$to]+set} ]]; then
      # A folder that is not a layer: a tools/ neighbour's subfolder, or a
      # generated header of the including layer (integrity/…, sim/…).
      if [[ $from != tools ]]; then
        report "$file:$line_number: includes \"$target\", from no layer"
      fi
      continue
    fi
    if ((rank[$to] > rank[$from])); then
      report "$file:$line_number: includes \"$target\": $from may not include $to (above it)"
    fi
  done <"$file"
done < <(find src include tools -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.rc.in' \) -print0 | sort -z)

if ((failures > 0)); then
  echo "check-layers: $failures include(s) run upward or reach the system past src/os" >&2
  exit 1
fi
echo "check-layers: ${#layers[@]} layers, every include runs downward, only ${os_folders[*]} reach the system"
