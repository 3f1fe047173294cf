#include "host/request_frames.h"

#include <optional>

#include "diag/trace_log.h"
#include "host/catalogue.h"
#include "update/file_helpers.h"
#include "host/host_path.h"
#include "host/inventory.h"
#include "host/library_state.h"
#include "nmapi/nmapi.h"
#include "update/package_check_cache.h"

namespace skyfw {
namespace {

struct DirectoryTexts {
  const char* enter;
  const char* invalidPath;  // followed by the path and "."
  const char* initFailed;
  const char* discoverFailed;
};

DirectoryTexts TextsOf(DirectoryEntryPoint entry) {
  switch (entry) {
    case DirectoryEntryPoint::kDiscovery:
      return {"Enter oem_do_discovery_with_files:\n",
              "oem_do_discovery_with_files(): invalid path ",
              "oem_do_discovery_with_files(): ngNmapiInitializeEx() failed.",
              "oem_do_discovery_with_files(): discover device failed."};
    case DirectoryEntryPoint::kFlash:
      return {"Enter oem_do_flash_with_file:\n", "oem_do_flash_with_file(): invalid path ",
              "oem_do_flash_with_file(): ngNmapiInitializeEx() failed.",
              "oem_do_flash_with_file(): discover device failed."};
    case DirectoryEntryPoint::kAdapterInfo:
      break;
  }
  return {"Enter oem_get_adapter_info:\n", "oem_get_adapter_info(): invalid path ",
          "oem_get_adapter_info(): ngNmapiInitializeEx() failed.",
          "oem_get_adapter_info(): discover device failed."};
}

bool FirmwarePathUsable(DirectoryEntryPoint entry, const std::string& path) {
  if (IsDirectory(path)) return true;
  // A flash request may name a single package file.
  return entry == DirectoryEntryPoint::kFlash && IsRegularFile(path);
}

// Stops the adapter library and closes the trace log when a frame is left
// other than through its last step (an exception on its way to the export).
class StartedFrame {
 public:
  StartedFrame() = default;
  ~StartedFrame() {
    if (!armed_) return;
    ngNmapiUninitialize();
    TraceClose();
  }
  StartedFrame(const StartedFrame&) = delete;
  StartedFrame& operator=(const StartedFrame&) = delete;
  // The frame's last step stops and closes itself, in its own order.
  void Disarm() { armed_ = false; }

 private:
  bool armed_ = true;
};

HostResultCode StartAdapterLibrary() {
  return ngNmapiInitialize(kNmapiVersionA, kNmapiVersionB, kNmapiVersionC) == ngNMAPI_OK
             ? kHostSuccess
             : kHostNmapiInitFailed;
}

// Runs the part of a directory request between the library's start and stop.
HostResultCode RunWithLibrary(const DirectoryTexts& texts, bool catalogue_loaded,
                              const std::string& first_path, const std::string& firmware_path,
                              const DirectoryBody& body) {
  std::optional<std::string> directory;
  // Without a catalogue the directory's package files stand in for it.
  if (!catalogue_loaded) directory = firmware_path;
  bool found = false;
  {
    // Every package file is read and verified once for all adapters.
    PackageCheckScope check_once;
    found = BuildInventory(directory);
  }
  if (!found) {
    TraceReport(TraceLevel::DEBUG, "%s", texts.discoverFailed);
    return kHostDiscoverDeviceFailed;
  }
  return body(first_path, firmware_path);
}

}  // namespace

HostResultCode RunDirectoryRequest(DirectoryEntryPoint entry, const char16_t* first_path,
                                   const char16_t* firmware_path, const DirectoryBody& body) {
  const DirectoryTexts texts = TextsOf(entry);
  std::string first;
  std::string firmware;
  if (first_path != nullptr) ConvertHostPath(first_path, first);
  ConvertHostPath(firmware_path, firmware);

  OpenTraceForCall();
  TraceInfo("%s", texts.enter);

  bool catalogue_loaded = do_discover_with_qvfwdata(firmware) == kHostSuccess;

  if (!FirmwarePathUsable(entry, firmware)) {
    TraceReport(TraceLevel::DEBUG, "%s%s.", texts.invalidPath, firmware.c_str());
    TraceClose();
    return kHostFirmwareFileNotFound;
  }
  if (StartAdapterLibrary() != kHostSuccess) {
    TraceReport(TraceLevel::DEBUG, "%s", texts.initFailed);
    TraceClose();
    return kHostNmapiInitFailed;
  }

  StartedFrame started;
  HostResultCode result = RunWithLibrary(texts, catalogue_loaded, first, firmware, body);
  started.Disarm();

  if (entry == DirectoryEntryPoint::kAdapterInfo) TraceInfo("Leave oem_get_adapter_info:\n");
  ngNmapiUninitialize();
  // The flash request's leave line marks a request that was processed; a
  // document that could not be read (11) or no device (102) has none.
  if (entry == DirectoryEntryPoint::kFlash && result != kHostDiscoveryFileNotAccessible &&
      result != kHostDiscoverDeviceFailed) {
    TraceInfo("Leave oem_do_flash_with_file:\n");
  }
  TraceClose();
  return result;
}

HostResultCode RunPciRequest(PciEntryPoint entry, const char16_t* package_path, int32_t segment,
                             int32_t bus, int32_t device, int32_t function, const PciBody& body) {
  const bool full_flash = entry == PciEntryPoint::kFullFlash;
  std::string package;
  ConvertHostPath(package_path, package);

  // Nothing is traced before the start: the log is not open yet.
  if (StartAdapterLibrary() != kHostSuccess) return kHostNmapiInitFailed;
  OpenTraceForCall();
  StartedFrame started;
  if (full_flash) TraceInfo("Enter oem_do_full_flash_PCI:\n");

  HostResultCode result = kHostDiscoverDeviceFailed;
  if (!BuildInventory(std::nullopt)) {
    if (full_flash)
      TraceReport(TraceLevel::DEBUG, "oem_do_full_flash_PCI(): discover device failed.");
  } else if (DeviceRecord* record = SelectDeviceByPci(segment, bus, device, function)) {
    result = body(*record, package);
  } else {
    // Nothing at these numbers: nothing is installed, read or written, and
    // the host is told no device was found rather than success.
    TraceReport(TraceLevel::DEBUG,
                "%s(): no device at segment %04X bus %04X device %04X function %04X.",
                full_flash ? "oem_do_full_flash_PCI" : "oem_get_full_flash_dump_PCI",
                static_cast<uint32_t>(segment), static_cast<uint32_t>(bus),
                static_cast<uint32_t>(device), static_cast<uint32_t>(function));
  }

  started.Disarm();
  ngNmapiUninitialize();
  TraceInfo(full_flash ? "Leave oem_do_full_flash_PCI:\n" : "Leave oem_get_full_flash_dump_PCI:\n");
  TraceClose();
  return result;
}

DeviceRecord* SelectDeviceByPci(int32_t segment, int32_t bus, int32_t device, int32_t function) {
  for (DeviceRecord& record : Library().inventory) {
    if ((record.bus >> 8) == static_cast<uint32_t>(segment) &&
        record.bus == static_cast<uint32_t>(bus) &&
        record.device == static_cast<uint32_t>(device) &&
        record.function == static_cast<uint32_t>(function)) {
      return &record;
    }
  }
  return nullptr;
}

}  // namespace skyfw
