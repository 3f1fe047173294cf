#include "host/inventory.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "host/catalogue.h"
#include "update/file_helpers.h"
#include "host/library_state.h"
#include "host/xml_helpers.h"
#include "base/fixed_text.h"
#include "nmapi/nmapi.h"
#include "nvm/nvm_operations.h"
#include "update/firmware_decision.h"

namespace skyfw {
namespace {

// 8-bit adapter text as wide text of at most 256 characters.
std::u16string Widen(std::string_view text) {
  std::u16string wide;
  Utf8ToUtf16(text, wide);
  if (wide.size() > 256) wide.resize(256);
  return wide;
}

DeviceRecord RecordOf(const AdapterInfo& adapter) {
  DeviceRecord record;
  record.segment = adapter.segment;
  record.bus = adapter.bus;
  record.device = adapter.device;
  record.function = adapter.function;
  record.vendorId = adapter.vendorId;
  record.deviceId = adapter.deviceId;
  record.subVendorId = adapter.subVendorId;
  record.subDeviceId = adapter.subDeviceId;
  record.revision = adapter.revision;
  record.adapterName = Widen(TextUpToZero(adapter.title));
  record.productName = record.adapterName;
  record.macText = Widen(TextUpToZero(adapter.permanentMac));
  record.pciLocation =
      FormatPciLocation(adapter.segment, adapter.bus, adapter.device, adapter.function);
  return record;
}

// The identity key of NVM option 1, or empty when it cannot be read.
std::string ReadNvmOptionKey(const AdapterInfo& adapter) {
  uint8_t value[8] = {};
  NvmOptionRequest request;
  request.option_num = 1;
  request.length = 64;
  request.dimensions = 1;
  request.index_0 = 0;
  request.value = std::span<uint8_t>(value);
  if (velonvmGetOption(TextUpToZero(adapter.title), request) != 0) return {};
  return FormatNvmOptionKey(value);
}

bool IsDuplicate(const DeviceInventory& inventory, const std::string& key) {
  // A port whose option cannot be read is kept: an empty key says nothing
  // about which adapter it belongs to.
  if (key.empty()) return false;
  for (const DeviceRecord& record : inventory) {
    if (record.nvmOptionKey == key) return true;
  }
  return false;
}

// The discovery document names a package file by its name, and the flash of
// that document finds the file by it again: a name the document cannot carry
// as it is (not UTF-8, or holding a control character) is left out.
void DropNamesTheDocumentCannotCarry(std::vector<std::string>& candidates) {
  std::erase_if(candidates, [](const std::string& candidate) {
    std::string name;
    BaseName(candidate, name);
    if (IsDocumentText(name)) return false;
    TraceReport(TraceLevel::DEBUG,
                "Package file [%s] left out: its name is not UTF-8 text without control "
                "characters.\n",
                candidate.c_str());
    return true;
  });
}

}  // namespace

std::string FormatPciLocation(uint32_t segment, uint32_t bus, uint32_t device, uint32_t function) {
  char text[64];
  std::snprintf(text, sizeof text, "%04x:%02x:%02x:%x", segment, bus, device, function);
  return text;
}

std::string FormatNvmOptionKey(const uint8_t (&bytes)[8]) {
  std::string key;
  for (uint8_t byte : bytes) {
    char text[4];
    std::snprintf(text, sizeof text, "%x", byte);
    key += text;
  }
  return key;
}

bool BuildInventory(const std::optional<std::string>& firmware_directory) {
  DeviceInventory& inventory = Library().inventory;
  uint32_t count = 0;
  ngNmapiGetNumPhyNic(&count);
  std::vector<AdapterInfo> adapters(count);
  if (count > 0) std::memset(adapters.data(), 0, adapters.size() * sizeof(AdapterInfo));
  if (ngNmapiGetAllPhyNic(adapters.data(), count) != ngNMAPI_OK) return !inventory.empty();

  inventory.clear();
  std::vector<std::string> candidates;
  if (firmware_directory && !firmware_directory->empty()) {
    ListFiles(*firmware_directory, candidates);
    DropNamesTheDocumentCannotCarry(candidates);
  }
  for (const AdapterInfo& adapter : adapters) {
    if (adapter.function != 0 || adapter.driverKind != kDriverKindCurrent) continue;
    DeviceRecord record = RecordOf(adapter);
    DecideFirmwareAction(record, candidates, &HostFirmwareCatalogue());

    record.nvmOptionKey = ReadNvmOptionKey(adapter);
    if (IsDuplicate(inventory, record.nvmOptionKey)) continue;
    if (inventory.size() >= kMaxInventoryRecords) continue;
    inventory.push_back(std::move(record));
  }
  return !inventory.empty();
}

}  // namespace skyfw
