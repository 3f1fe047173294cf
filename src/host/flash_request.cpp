#include "host/flash_request.h"

#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "update/file_helpers.h"
#include "host/library_state.h"
#include "host/xml_helpers.h"
#include "os/file_writer.h"

namespace skyfw {
namespace {

DeviceRecord* FindByPciLocation(const std::string& location) {
  for (DeviceRecord& record : Library().inventory) {
    if (record.pciLocation == location) return &record;
  }
  return nullptr;
}

// Whether any fw_item of the device node asks for an installation.
bool AsksForInstallation(xmlNode* device) {
  for (xmlNode* item = device->children; item != nullptr; item = item->next) {
    if (XmlNameIs(item, "fw_item") && !EqualsNoCase(GetChildValue(item, "action", "value"), "skip"))
      return true;
  }
  return false;
}

// One fw_item of a known device: installs its package from the firmware path
// and returns the status text to record (empty: leave the status alone).
std::string ProcessItem(xmlNode* item, DeviceRecord& record, const std::string& firmware_path,
                        const PackageInstaller& install, int32_t& outcome) {
  std::string action = GetChildValue(item, "action", "value");
  std::string file = GetChildValue(item, "firmware_file", "value");
  if (EqualsNoCase(action, "skip")) return {};

  std::vector<std::string> candidates;
  HostResultCode listed = ListFiles(firmware_path, candidates);
  if (listed != kHostSuccess) return std::to_string(listed);

  std::string status;
  bool found = false;
  for (const std::string& candidate : candidates) {
    std::string name;
    BaseName(candidate, name);
    if (name != file) continue;
    found = true;
    HostResultCode result = install(record, candidate);
    if (result == kHostFlashFailed) outcome = kHostFlashFailed;
    status = std::to_string(result);
  }
  if (!found) {
    TraceReport(TraceLevel::DEBUG, "oem_do_flash_with_file(): file [%s] not found.", file.c_str());
    outcome = kHostFirmwareFileNotFound;
  }
  return status;
}

}  // namespace

HostResultCode ProcessFlashRequest(const std::string& request_path,
                                   const std::string& firmware_path,
                                   const PackageInstaller& install) {
  XmlDocument document(request_path);
  if (!document) {
    TraceReport(TraceLevel::DEBUG,
                "oem_do_flash_with_file(): xmlReadMemory() failed in ParseXmlFile().");
    return kHostDiscoveryFileNotAccessible;
  }
  xmlNode* root = document.root();
  if (root == nullptr) {
    TraceReport(TraceLevel::DEBUG,
                "oem_do_flash_with_file(): xmlDocGetRootElement() failed in ParseXmlFile().");
    return kHostDiscoveryFileNotAccessible;
  }
  if (!XmlNameIs(root, "qv_rom_discovery")) {
    TraceReport(TraceLevel::DEBUG, "oem_do_flash_with_file(): unknown root element [%s].",
                XmlName(root));
    return kHostDiscoveryFileNotAccessible;
  }
  xmlNode* devices = FindChild(root, "devices");
  if (devices == nullptr) {
    TraceReport(TraceLevel::DEBUG, "oem_do_flash_with_file(): no devices node found.");
    return kHostDiscoveryFileNotAccessible;
  }

  // Every call reports its own installations: an earlier call's failure does
  // not turn this call's successes into a failure.
  int32_t& outcome = Library().flashOutcome;
  outcome = kHostSuccessRebootRequired;

  for (xmlNode* device = devices->children; device != nullptr; device = device->next) {
    std::string id = GetChildValue(device, "device_id", "value");
    TraceInfo("DEVICE ID : %s\n", id.c_str());
    DeviceRecord* record = FindByPciLocation(id);
    if (record == nullptr) {
      // Its items are left alone; but a device the host wants installed that
      // is not found (gone, or not identified this time) is not a success.
      if (AsksForInstallation(device)) {
        TraceReport(TraceLevel::DEBUG, "oem_do_flash_with_file(): device [%s] not found.",
                    id.c_str());
        outcome = kHostHardwareNotAccessible;
      }
      continue;
    }
    for (xmlNode* item = device->children; item != nullptr; item = item->next) {
      if (!XmlNameIs(item, "fw_item")) continue;
      std::string status = ProcessItem(item, *record, firmware_path, install, outcome);
      if (!status.empty()) SetChildValue(item, "action_status", status.c_str());
    }
  }
  SetChildValue(root, "takes_effect", "immediate");

  std::string text;
  if (!FormatXmlDocument(document.get(), text) ||
      platform::WriteWholeFile(request_path, text) != 0) {
    TraceReport(TraceLevel::DEBUG, "oem_do_flash_with_file(): cannot write back %s.",
                request_path.c_str());
  }
  return outcome;
}

}  // namespace skyfw
