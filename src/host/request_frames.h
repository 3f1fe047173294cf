// The two frames the work entry points run in: paths converted, trace log
// opened, adapter library started, inventory built, body run, library
// stopped and trace log closed again on every path out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "update/device_record.h"
#include "base/result_codes.h"

namespace skyfw {

// The entry points of the directory frame; each has its own message texts
// and firmware-path test.
enum class DirectoryEntryPoint { kDiscovery, kFlash, kAdapterInfo };

// Receives the converted first path (empty for the adapter report, which has
// none) and the converted firmware path.
using DirectoryBody =
    std::function<HostResultCode(const std::string& first_path, const std::string& firmware_path)>;

// Results of its own: 8 (firmware path unusable), 101 (library start), 102
// (no device); otherwise the body's.
HostResultCode RunDirectoryRequest(DirectoryEntryPoint entry, const char16_t* first_path,
                                   const char16_t* firmware_path, const DirectoryBody& body);

enum class PciEntryPoint { kFullFlash, kFlashDump };

using PciBody =
    std::function<HostResultCode(DeviceRecord& record, const std::string& package_path)>;

// Results of its own: 101 (library start), 102 (no device at all, or none at
// these PCI numbers: the body is then not run); otherwise the body's.
HostResultCode RunPciRequest(PciEntryPoint entry, const char16_t* package_path, int32_t segment,
                             int32_t bus, int32_t device, int32_t function, const PciBody& body);

// The first inventory record whose bus >> 8, bus, device and function equal
// the four numbers, or nullptr. The record's own segment takes no part: the
// host copies the numbers from the discovery document, which reports the
// bus's upper bits as the segment.
DeviceRecord* SelectDeviceByPci(int32_t segment, int32_t bus, int32_t device, int32_t function);

}  // namespace skyfw
