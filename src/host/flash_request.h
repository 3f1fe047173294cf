// Processing of the request document: the discovery document as the host
// edited it. Every item of a known device that is not marked "skip" is
// installed from the firmware path, and its status is written back.
#pragma once

#include <functional>
#include <string>

#include "update/device_record.h"
#include "base/result_codes.h"

namespace skyfw {

// Installs one package file on one device: 1 installed, 106 not.
using PackageInstaller =
    std::function<HostResultCode(DeviceRecord& record, const std::string& package_path)>;

// Reads the request document, installs what it asks for on the inventory's
// devices with install, records each item's "action_status", sets
// "takes_effect" to "immediate" and writes the document back whole. Returns
// 11 when the document is not a readable request (file untouched), otherwise
// the flash outcome of this call: 1, 106 after a failed installation, 8 after
// a package file that was not found, 4 after a device that asks for an
// installation but is not in the inventory.
HostResultCode ProcessFlashRequest(const std::string& request_path,
                                   const std::string& firmware_path,
                                   const PackageInstaller& install);

}  // namespace skyfw
