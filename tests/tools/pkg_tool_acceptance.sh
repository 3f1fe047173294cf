#!/usr/bin/env bash
# skyfw pkg end to end: images made by make-image, a package made by build,
# accepted by verify; any flipped byte of an item fails with that item's
# number, a flipped package CRC with no item.
set -euo pipefail
skyfw=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$skyfw" pkg make-image -o boot.img --type 10 --size 3000 >/dev/null
"$skyfw" pkg make-image -o app.img --type 8 --size 2000 --version 21.6.2 >/dev/null
"$skyfw" pkg make-vpd -o vpd.bin --ro PN=N1 --ro SN=S1 >/dev/null
head -c 777 /dev/zero | tr '\0' 'c' >cfg.bin
"$skyfw" pkg build -o p.pkg --version 21.6.2 --prerequisite 20.1.0 --device-id 1657 \
  --item 10=boot.img --item 8=app.img --item 5=vpd.bin --item 0x30:1=cfg.bin >/dev/null
"$skyfw" pkg verify p.pkg --device 14e4:1657:14e4:0001:1 --current-version 20.1.0 >/dev/null
"$skyfw" pkg build -o w.pkg --wrap --version 1.0 --item 10=boot.img >/dev/null
"$skyfw" pkg verify w.pkg >/dev/null

flip() {  # flip FILE OFFSET OUT
  python3 - "$@" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[int(sys.argv[2])] ^= 0x01
open(sys.argv[3], 'wb').write(data)
PY
}

# item number, data offset and data length of every item, from inspect --json
items=$("$skyfw" pkg inspect --json p.pkg | python3 -c '
import json, sys
for item in json.load(sys.stdin)["items"]:
    print(item["index"], item["offset"], item["data_length"])')
while read -r index offset length; do
  for at in 0 $((length / 2)) $((length - 1)); do
    flip p.pkg $((offset + at)) bad.pkg
    if out=$("$skyfw" pkg verify bad.pkg); then
      echo "item $index byte $at: accepted: $out" >&2
      exit 1
    fi
    grep -q "verify INVALID_CHECKSUM (-26), item $index$" <<<"$out" ||
      { echo "item $index byte $at: $out" >&2; exit 1; }
  done
done <<<"$items"

size=$(stat -c %s p.pkg)
flip p.pkg $((size - 1)) bad.pkg
out=$("$skyfw" pkg verify bad.pkg) && exit 1
grep -q "verify INVALID_CHECKSUM (-26)$" <<<"$out" || { echo "package CRC: $out" >&2; exit 1; }

# Wrong device, unmet prerequisite: exit 1 with the reason.
out=$("$skyfw" pkg verify p.pkg --device 14e4:1658:14e4:0001) && exit 1
grep -q UNSUPPORTED_DEVICE_ID <<<"$out"
out=$("$skyfw" pkg verify p.pkg --current-version 9.9.9) && exit 1
grep -q "NOT met" <<<"$out"
echo "pkg tool acceptance: ok"
