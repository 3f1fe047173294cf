// Installing a package on one adapter, and the two readings the version
// choice needs from the same routine: the adapter's current firmware version,
// and whether a package may go onto it (with its version and the action).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "update/device_record.h"

namespace skyfw {

// One model of the adapter family: the VPD identifier string it carries and
// the product name shown for it.
struct AdapterNameRow {
  const char* vpdIdentifier;
  const char* productName;
};

// The six models the installer names from their VPD.
std::span<const AdapterNameRow> AdapterNameTable();

// One routine, three jobs, chosen by the two flags:
//   current_version_only: reads the adapter's VPD identity and installed
//     package version, sets `current_version`, returns true. The package
//     path is not used.
//   check (both clear): also reads and checks the package (prerequisite,
//     applicability, verification) and sets `package_version` and `action`;
//     true when it may be installed on this device. Nothing is sent.
//   install: also reports to the event log, installs, reports the outcome
//     and restores the adapter's MN, PN, SN and EC keywords; true when the
//     firmware accepted the package.
// The device's product name takes the adapter name table's name when the
// VPD identifier string matches a row. `current_version` is set whenever the
// version was read; `package_version` and `action` only once the package
// passed verification.
bool ProcessPackage(DeviceRecord& device, const std::string& package_path,
                    std::string& package_version, std::string& current_version,
                    bool current_version_only, std::string& action, bool install);

// ProcessPackage in install mode: host result 1 when the firmware accepted
// the package, 106 otherwise.
int32_t InstallPackageFile(DeviceRecord& device, const std::string& package_path);

}  // namespace skyfw
