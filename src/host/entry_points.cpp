#include "host/entry_points.h"

#include <algorithm>
#include <string>

#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "host/adapter_report.h"
#include "host/discovery_document.h"
#include "host/flash_request.h"
#include "host/host_path.h"
#include "host/library_state.h"
#include "host/request_frames.h"
#include "update/backup.h"
#include "update/installer.h"

namespace skyfw {

HostResultCode GetDebugInfo(const char16_t* trace_path) {
  LibraryState& state = Library();
  // A path that cannot be converted whole is not cut into another file's
  // name: lines then reach the debugger only, as with an empty path.
  std::string path;
  ConvertHostPath(trace_path, path);
  state.tracePath = std::move(path);
  state.tracing = true;
  TraceRearmOpen();
  return kHostSuccess;
}

const char16_t* TextForErrorCode(HostResultCode code) {
  LibraryState& state = Library();
  OpenTraceForCall();
  TraceInfo("Enter oem_text_for_error_code:\n");

  const char* text = HostResultTextOf(code);
  std::u16string wide;
  Utf8ToUtf16(text != nullptr ? text : kUnsupportedErrorCodeText, wide);
  // The buffer always keeps its end mark.
  size_t units = std::min(wide.size(), state.resultText.size() - 1);
  std::copy_n(wide.begin(), units, state.resultText.begin());
  state.resultText[units] = u'\0';

  TraceInfo("Leave oem_text_for_error_code:\n");
  TraceClose();
  return state.resultText.data();
}

HostResultCode DoDiscoveryWithFiles(const char16_t* discovery_path,
                                    const char16_t* firmware_directory) {
  return RunDirectoryRequest(DirectoryEntryPoint::kDiscovery, discovery_path, firmware_directory,
                             [](const std::string& document_path, const std::string&) {
                               bool deferred = !Library().inventory.empty();
                               if (WriteDiscoveryDocument(document_path, deferred))
                                 return kHostSuccess;
                               TraceReport(TraceLevel::DEBUG,
                                           "oem_do_discovery_with_files(): create XML failed.");
                               return kHostDiscoveryFileNotCreated;
                             });
}

HostResultCode DoFlashWithFile(const char16_t* request_path, const char16_t* firmware_path) {
  return RunDirectoryRequest(DirectoryEntryPoint::kFlash, request_path, firmware_path,
                             [](const std::string& document_path, const std::string& firmware) {
                               return ProcessFlashRequest(
                                   document_path, firmware,
                                   [](DeviceRecord& record, const std::string& package) {
                                     return InstallPackageFile(record, package);
                                   });
                             });
}

HostResultCode DoFullFlashPci(const char16_t* package_path, int32_t segment, int32_t bus,
                              int32_t device, int32_t function) {
  return RunPciRequest(PciEntryPoint::kFullFlash, package_path, segment, bus, device, function,
                       [](DeviceRecord& record, const std::string& package) {
                         return InstallPackageFile(record, package);
                       });
}

HostResultCode GetFullFlashDumpPci(const char16_t* backup_path, int32_t segment, int32_t bus,
                                   int32_t device, int32_t function) {
  return RunPciRequest(PciEntryPoint::kFlashDump, backup_path, segment, bus, device, function,
                       [](DeviceRecord& record, const std::string& backup) {
                         return static_cast<HostResultCode>(CreateBackupPackage(record, backup));
                       });
}

HostResultCode GetAdapterInfo(OemAdapterInfoElement* adapters, int32_t* device_count,
                              const char16_t* firmware_directory) {
  return RunDirectoryRequest(DirectoryEntryPoint::kAdapterInfo, nullptr, firmware_directory,
                             [adapters, device_count](const std::string&, const std::string&) {
                               if (device_count == nullptr) return kHostDiscoverDeviceFailed;
                               const DeviceInventory& inventory = Library().inventory;
                               *device_count = static_cast<int32_t>(inventory.size());
                               if (adapters == nullptr) return kHostSuccess;
                               for (size_t i = 0; i < inventory.size(); ++i)
                                 FillAdapterReport(inventory[i], i, adapters);
                               return kHostSuccess;
                             });
}

}  // namespace skyfw
