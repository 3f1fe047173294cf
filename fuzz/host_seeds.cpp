// Seeds of the targets that read host documents and the package log.
#include <algorithm>
#include <string>

#include "fuzz_machine.h"
#include "host/discovery_document.h"
#include "seeds.h"

namespace skyfw::fuzz {
namespace {

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

FirmwareItem Item(const std::string& file, const std::string& action) {
  FirmwareItem item;
  item.type = "nvm";
  item.file = file;
  item.version = "21.8.0";
  item.activeVersion = "21.6.2";
  item.action = action;
  return item;
}

// The fuzz machine's adapter as the inventory records it.
DeviceRecord FuzzAdapter(std::vector<FirmwareItem> items) {
  DeviceRecord record;
  record.bus = 3;
  record.pciLocation = kFuzzAdapterLocation;
  record.vendorId = 0x1D6A;
  record.deviceId = 0x0B10;
  record.subVendorId = 0x1D6A;
  record.subDeviceId = 0x0001;
  record.productName = u"Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter";
  record.macText = u"020A3B1C2D4E";
  record.firmwareItems = std::move(items);
  return record;
}

Bytes PackageLogInput(uint16_t capacity, const std::string& version, const std::string& log) {
  // Sized once and filled: g++ 12 at -O3 misreads inserting into the
  // three-byte vector as a write past it (-Warray-bounds).
  Bytes input(3 + version.size() + log.size());
  input[0] = static_cast<uint8_t>(capacity);
  input[1] = static_cast<uint8_t>(capacity >> 8);
  input[2] = static_cast<uint8_t>(version.size());
  auto rest = std::copy(version.begin(), version.end(), input.begin() + 3);
  std::copy(log.begin(), log.end(), rest);
  return input;
}

}  // namespace

std::vector<Bytes> FlashRequestSeeds() {
  const std::string install =
      FormatDiscoveryDocument({FuzzAdapter({Item(kFuzzAdapterPackage, "upgrade")})}, true, "");
  const std::string every_file = FormatDiscoveryDocument(
      {FuzzAdapter({Item(kFuzzForeignPackage, "upgrade"), Item(kFuzzNotAPackage, "rewrite"),
                    Item("missing.pkg", "upgrade"), Item(kFuzzAdapterPackage, "SKIP"),
                    Item("NICFWData.xml", "upgrade")}),
       [] {
         DeviceRecord other = FuzzAdapter({Item(kFuzzAdapterPackage, "upgrade")});
         other.pciLocation = "0000:04:00:0";
         return other;
       }()},
      false, "1.0.0");
  return {
      BytesOf(install),
      BytesOf(every_file),
      BytesOf(R"(<?xml version="1.0"?>
<!DOCTYPE qv_rom_discovery [
  <!ENTITY location "0000:03:00:0">
  <!ENTITY file "acme.pkg">
  <!ATTLIST action value CDATA "upgrade">
]>
<qv_rom_discovery><devices><device><device_id value="&location;"/>
<fw_item><action/><firmware_file value="&file;"/><action_status value=""/></fw_item>
</device></devices></qv_rom_discovery>)"),
      BytesOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
              "<qv_rom_discovery><takes_effect value=\"deferred\"/><devices><device>"
              "<device_id value=\"0000:03:00:0\"/><fw_item><action value=\"upgrade\"/>"
              "<firmware_file value=\"caf\xE9.pkg\"/></fw_item></device></devices>"
              "</qv_rom_discovery>"),
      BytesOf("<qv_rom_discovery><devices/></qv_rom_discovery>"),
      BytesOf("<other/>"),
  };
}

std::vector<Bytes> CatalogueSeeds() {
  return {
      BytesOf(R"(<?xml version="1.0" encoding="UTF-8"?>
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
)"),
      BytesOf(R"(<nic_fw_package><a><nic name="All" venid="1d6a" devid="0b10" subvenid="1d6a"
 subdevid="0001" bootcode="1.0" bcFile="bc.bin" pxe="2.0" pxeFile="pxe.bin" ipmi="3" ipmiFile="i"
 ump="4" umpFile="u" clp="5" clpFile="c" iscsi="6" iscsiFile="is" ncsi="7" ncsiFile="nc"
 fcoe="8" fcoeFile="f" uefi="9" uefiFile="ue" ccm="10" ccmFile="cc" l2="11" l2File="l2"
 nvm="21.10.1" nvmFile="all.pkg"/></a><b><nic devid="0B10" subdevid="0001" name="late"/></b>
</nic_fw_package>)"),
      BytesOf(R"(<?xml version="1.0"?>
<!DOCTYPE nic_fw_package [
  <!ENTITY vendor "Norvane">
  <!ATTLIST nic nvm CDATA "9.9.9" devid CDATA "0B10">
]>
<nic_fw_package><x><nic name="&vendor; &amp; &lt;co&gt; &quot;S2&quot;&#10;&#9;"
 subdevid="0001" nvmFile="s2.pkg"/></x></nic_fw_package>)"),
      BytesOf("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
              "<nic_fw_package><a><nic name=\"Carte r\xE9seau\" devid=\"1\" subdevid=\"2\" "
              "nvm=\"v1.2.3a\"/></a></nic_fw_package>"),
  };
}

std::vector<Bytes> PackageLogSeeds() {
  const std::string two_records =
      "2023-11-14 09:12:44\tnvmupd\t20.4.1\tSKY-S2-25D\tok\n"
      "2024-06-02 16:40:10\tnvmupd\t21.6.2\tSKY-S2-25D\tok\n";
  return {
      PackageLogInput(4096, "21.8.0", two_records),
      PackageLogInput(120, "21.8.0", two_records + std::string(16, '\0')),
      PackageLogInput(64, "1.0\t2", "2024-06-02\tnvmupd\t21.6.2"),
      PackageLogInput(512, "", "only\tone field\n\n"),
      PackageLogInput(1024, std::string(255, '9'), "a\tb\t" + std::string(300, '7') + "\n"),
      PackageLogInput(0, "x", ""),
  };
}

}  // namespace skyfw::fuzz
