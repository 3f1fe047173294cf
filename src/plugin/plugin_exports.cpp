// The plug-in's exported entry points and its load and unload. Compiled only
// into the plug-in (libskyfw.so, skyfw.dll); the work itself lives in skyfw_host.
#include "diag/event_log.h"
#include "host/entry_points.h"
#include "host/library_state.h"
#include "host/oem_text.h"
#include "plugin/platform_root.h"
#include "skyfw/oem.h"

namespace {

#ifndef _WIN32
// A constructor and destructor of the shared object stand in for the process
// attach and detach of Windows (dll_main.cpp there).
__attribute__((constructor)) void OnLoad() {
  skyfw::InstallProcessPlatform();
  skyfw::LibraryLoad();
  skyfw::RegisterEventSourceAtLoad();
}

__attribute__((destructor)) void OnUnload() {
  skyfw::LibraryUnload();
  skyfw::UninstallProcessPlatform();
}
#endif

}  // namespace

// No exception may reach the host: each export ends every path with a code.
extern "C" {

int32_t oem_do_discovery_with_files(const OemChar16* discovery_path,
                                    const OemChar16* firmware_directory) {
  try {
    return skyfw::DoDiscoveryWithFiles(skyfw::FromOemText(discovery_path),
                                       skyfw::FromOemText(firmware_directory));
  } catch (...) {
    return skyfw::kHostDiscoveryFileNotCreated;
  }
}

int32_t oem_do_flash_with_file(const OemChar16* request_path, const OemChar16* firmware_path) {
  try {
    return skyfw::DoFlashWithFile(skyfw::FromOemText(request_path),
                                  skyfw::FromOemText(firmware_path));
  } catch (...) {
    return skyfw::kHostFlashFailed;
  }
}

int32_t oem_do_full_flash_PCI(const OemChar16* package_path, void* /*ignored*/, int32_t segment,
                              int32_t bus, int32_t device, int32_t function) {
  try {
    return skyfw::DoFullFlashPci(skyfw::FromOemText(package_path), segment, bus, device, function);
  } catch (...) {
    return skyfw::kHostFlashFailed;
  }
}

int32_t oem_get_adapter_info(OemAdapterInfoElement* adapters, int32_t* device_count,
                             const OemChar16* firmware_directory) {
  try {
    return skyfw::GetAdapterInfo(adapters, device_count, skyfw::FromOemText(firmware_directory));
  } catch (...) {
    return skyfw::kHostDiscoverDeviceFailed;
  }
}

int32_t oem_get_full_flash_dump_PCI(const OemChar16* backup_path, void* /*ignored*/,
                                    int32_t segment, int32_t bus, int32_t device,
                                    int32_t function) {
  try {
    return skyfw::GetFullFlashDumpPci(skyfw::FromOemText(backup_path), segment, bus, device,
                                      function);
  } catch (...) {
    return skyfw::kHostDiscoverDeviceFailed;
  }
}

int32_t oem_get_debug_info(const OemChar16* trace_path) {
  try {
    return skyfw::GetDebugInfo(skyfw::FromOemText(trace_path));
  } catch (...) {
    return skyfw::kHostSuccess;
  }
}

const OemChar16* oem_text_for_error_code(int32_t code) {
  const char16_t* text = nullptr;
  try {
    text = skyfw::TextForErrorCode(code);
  } catch (...) {
    text = skyfw::Library().resultText.data();
  }
  return skyfw::ToOemText(text);
}

}  // extern "C"
