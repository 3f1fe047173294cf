// Backing an adapter's NVRAM up into a package file that the installer can
// write back.
#pragma once

#include <string>

#include "host/device_record.h"
#include "package/nvm_status.h"

namespace skyfw {

// Copies every item of the adapter's NVRAM directory into a package at
// `path`, with a property area that ties it to the device (description,
// device and subsystem IDs, creator, creation time, installed version).
// Messages go to standard error. The file lands whole: it is written beside
// the path and renamed over it only when complete, so a failure leaves no
// file, and an existing file stays as it was. Returns 0 or a negative status.
NvmStatus CreateBackupPackage(const DeviceRecord& device, const std::string& path);

}  // namespace skyfw
