#!/usr/bin/env bash
# Sets up, builds and runs the demo: a fresh simulated machine with the demo
# adapters, a discovery, a backup of one S1 written onto the other, a flash of
# the proposed packages, and a second discovery showing the new versions.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release -DSKYFW_BUILD_TESTS=OFF -DSKYFW_BUILD_BENCH=OFF
bin=build/release/bin
skyfw=$bin/skyfw

# A fresh machine each run, so the demo can be repeated.
demo=build/release/demo
rm -rf "$demo"
mkdir -p "$demo"
"$skyfw" sim init "$demo/machine" >/dev/null
export SKYFW_MACHINE=$PWD/$demo/machine
# The discovery and request documents land in the demo directory.
cd "$demo"
skyfw=../bin/skyfw

echo "== discovery on the demo machine ($SKYFW_MACHINE), firmware from $bin/firmware"
"$skyfw" --trace trace.log discover -o discovery.xml
echo
echo "== backup of the first S1 (0000:05:00.0), written onto the second S1 (0000:08:00.0)"
"$skyfw" --trace trace.log dump s1-backup.pkg --pci 0000:05:00.0
"$skyfw" --trace trace.log flash-pci s1-backup.pkg --pci 0000:08:00.0
"$skyfw" sim show "$SKYFW_MACHINE" | sed -n '/^  nx1 /,/^Held/p' | grep -v '^Held'
echo
echo "== flash"
"$skyfw" --trace trace.log flash --document request.xml
echo
echo "== discovery again: the adapters run the new versions"
"$skyfw" --trace trace.log discover -o discovery-after.xml
echo
echo "Documents, trace log and machine: $demo/ (events: $bin/skyfw sim events $SKYFW_MACHINE)"
