#!/usr/bin/env bash
# make_demo_firmware.sh SKYFW OUTDIR KEY: the demo firmware for the demo
# machine, made with skyfw pkg and signed with the private key file KEY.
#
#   OUTDIR/firmware/            package files only (the plug-in tries each)
#     skyline-s2-21.8.0.pkg       upgrade for the S2 adapter (21.6.2 now)
#     skyline-s2-old-21.2.0.pkg   downgrade candidate for the S2 (listed after
#                                 the upgrade, so the upgrade is chosen)
#     skyline-s1-20.6.1.pkg       upgrade for the S1 adapter (20.4.1 now)
#     acme-165f-1.2.0.pkg         for another maker's device: never chosen
#   OUTDIR/firmware-catalogue/  the same packages with a NICFWData.xml
set -euo pipefail
skyfw=$1
out=$2
key=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rm -rf "$out/firmware" "$out/firmware-catalogue"
mkdir -p "$out/firmware" "$out/firmware-catalogue"

# package NAME VERSION DEVICE SUBVENDOR SUBSYSTEM DESCRIPTION SEED
package() {
  local name=$1 version=$2 device=$3 subvendor=$4 subsystem=$5 description=$6 seed=$7
  "$skyfw" pkg make-image -o "$work/boot.img" --type 3 --size 2048 --seed "$seed" --key "$key" >/dev/null
  "$skyfw" pkg make-image -o "$work/app.img" --type 6 --size 4096 --seed "$((seed + 1))" --key "$key" \
    >/dev/null
  "$skyfw" pkg build -o "$out/firmware/$name" --version "$version" --device-id "$device" \
    --subsystem-vendor "$subvendor" --subsystem-id "$subsystem" --description "$description" \
    --item 3="$work/boot.img" --item 6="$work/app.img" >/dev/null
  cp "$out/firmware/$name" "$out/firmware-catalogue/$name"
}

package skyline-s2-21.8.0.pkg 21.8.0 0B10 1D6A 0001 "Skyline S2 NVM 21.8.0" 10
package skyline-s2-old-21.2.0.pkg 21.2.0 0B10 1D6A 0001 "Skyline S2 NVM 21.2.0" 20
package skyline-s1-20.6.1.pkg 20.6.1 0B04 1D6A 0002 "Skyline S1 NVM 20.6.1" 30
package acme-165f-1.2.0.pkg 1.2.0 165F 1028 1F5B "Acme NetXtreme boot code 1.2.0" 40

cat >"$out/firmware-catalogue/NICFWData.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<nic_fw_package>
  <adapter>
    <nic name="Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter" venid="1d6a" devid="0b10"
         subvenid="1d6a" subdevid="0001" nvm="21.8.0" nvmFile="skyline-s2-21.8.0.pkg" />
  </adapter>
  <adapter>
    <nic name="Norvane Skyline S1 10GbE SFP+ Adapter" venid="1d6a" devid="0b04"
         subvenid="1d6a" subdevid="0002" nvm="20.6.1" nvmFile="skyline-s1-20.6.1.pkg" />
  </adapter>
</nic_fw_package>
XML
