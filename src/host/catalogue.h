// The firmware catalogue "NICFWData.xml": per adapter model, the product name
// to report and the NVM package file with its version.
//
// Read from the firmware directory into a library-wide table keyed by device
// id and subsystem id. The table and its loaded flag only grow: a key once
// read keeps its first entry until the library is unloaded, and a later call
// whose directory holds no catalogue still uses the earlier entries.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/result_codes.h"
#include "update/firmware_decision.h"

namespace skyfw {

inline constexpr const char* kCatalogueFileName = "NICFWData.xml";

// One "nic" element: each member is the attribute of the same name, empty
// when absent. devid and subdevid are stored upper-cased.
struct CatalogueEntry {
  std::string name, venid, devid, subvenid, subdevid;
  std::string bootcode, bcFile, pxe, pxeFile, ipmi, ipmiFile, ump, umpFile, clp, clpFile;
  std::string iscsi, iscsiFile, ncsi, ncsiFile, fcoe, fcoeFile, uefi, uefiFile, ccm, ccmFile;
  std::string l2, l2File, nvm, nvmFile;
};

// Keys ordered byte-wise.
using CatalogueTable = std::map<std::string, CatalogueEntry>;

// Reads directory/NICFWData.xml into the table: 0 when read, 11 when the
// directory holds no file of exactly that name or it is not a catalogue.
HostResultCode do_discover_with_qvfwdata(const std::string& directory);

// "%04X-%04X" of the two ids.
std::string CatalogueKey(uint32_t deviceId, uint32_t subDeviceId);

// The entry stored under exactly this key, or nullptr. Valid until the next
// catalogue read.
const CatalogueEntry* CatalogueLookup(const std::string& key);

// Set by the first successful read; never cleared.
bool CatalogueLoaded();

// The library's catalogue as the firmware decision sees it.
const FirmwareCatalogue& HostFirmwareCatalogue();

}  // namespace skyfw
