// The firmware item of one adapter: which NVM package belongs to it, its
// version, the version the adapter runs now, and the action installing it
// would be.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "update/device_record.h"
#include "skyfw/oem.h"

namespace skyfw {

// The firmware catalogue as the decision sees it. The host's catalogue
// implements it: an entry is found by the adapter's device and subsystem
// IDs (its CatalogueKey).
class FirmwareCatalogue {
 public:
  virtual ~FirmwareCatalogue() = default;

  // True once a catalogue file has been read.
  virtual bool IsLoaded() const = 0;

  // The entry's "nvmFile" and "nvm" values (each empty when the entry lacks
  // it); false when the catalogue has no entry for the adapter.
  virtual bool FindNvmPackage(uint32_t device_id, uint32_t sub_device_id, std::string& nvm_file,
                              std::string& nvm_version) const = 0;
};

// Appends one FirmwareItem to the device's firmwareItems. With a loaded
// catalogue the item comes from the catalogue; otherwise the first of the
// `candidates` (package paths, in listing order) that passes the installer's
// check for this device is chosen. `activeVersion` is always the adapter's
// current version; `file`, `version` and `action` stay empty when nothing
// was found.
void DecideFirmwareAction(DeviceRecord& device, const std::vector<std::string>& candidates,
                          const FirmwareCatalogue* catalogue);

// Fills the firmware part of one entry of the host's adapter report: type
// "nvm", the package's file name, and the first three numbers of the current
// and image versions.
void ReportVersionNumbers(const FirmwareItem& item, OemFirmwareEntry& entry);

}  // namespace skyfw
