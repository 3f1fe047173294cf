// Backing an adapter's NVRAM up into a package file that the installer can
// write back.
#pragma once

#include <string>

#include "update/device_record.h"
#include "base/nvm_status.h"

namespace skyfw {

// Copies every item of the adapter's NVRAM directory into a package at
// `path`, with a property area that ties it to the device (description,
// device and subsystem IDs, creator, creation time, installed version).
// Messages go to standard error. The file lands whole through FileWriter: a
// target the caller may not write, or that is no regular file, gives
// NVCRETVAL_FILE_OPEN_FAILURE, and a failure leaves the old file or none.
// Returns 0 or a negative status.
NvmStatus CreateBackupPackage(const DeviceRecord& device, const std::string& path);

}  // namespace skyfw
