// The work behind the exported oem_ functions (the plug-in's exports only
// forward here, so tests can call the same code without loading the plug-in).
#pragma once

#include <cstdint>

#include "base/result_codes.h"
#include "skyfw/oem.h"

namespace skyfw {

// oem_get_debug_info: records the trace-log path and switches tracing on.
HostResultCode GetDebugInfo(const char16_t* trace_path);

// oem_text_for_error_code: the code's text in the library's result buffer.
const char16_t* TextForErrorCode(HostResultCode code);

// oem_do_discovery_with_files: writes the discovery document.
HostResultCode DoDiscoveryWithFiles(const char16_t* discovery_path,
                                    const char16_t* firmware_directory);

// oem_do_flash_with_file: installs what the request document asks for.
HostResultCode DoFlashWithFile(const char16_t* request_path, const char16_t* firmware_path);

// oem_do_full_flash_PCI: installs one package on the device at the numbers.
HostResultCode DoFullFlashPci(const char16_t* package_path, int32_t segment, int32_t bus,
                              int32_t device, int32_t function);

// oem_get_full_flash_dump_PCI: backs the device's NVRAM up into a package.
HostResultCode GetFullFlashDumpPci(const char16_t* backup_path, int32_t segment, int32_t bus,
                                   int32_t device, int32_t function);

// oem_get_adapter_info: the device count and, with an array, its elements.
HostResultCode GetAdapterInfo(OemAdapterInfoElement* adapters, int32_t* device_count,
                              const char16_t* firmware_directory);

}  // namespace skyfw
