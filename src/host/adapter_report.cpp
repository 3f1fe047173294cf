#include "host/adapter_report.h"

#include <algorithm>
#include <span>
#include <string>

#include "diag/text_conversion.h"
#include "diag/trace_log.h"
#include "host/catalogue.h"
#include "versions/firmware_decision.h"

namespace skyfw {
namespace {

// Copies text into a fixed wide field, cut to the field; the end mark is
// written only when there is room for it, as the host expects.
void PutWide(std::span<char16_t> field, std::u16string_view text) {
  size_t units = text.copy(field.data(), field.size());
  if (units < field.size()) field[units] = u'\0';
}

std::u16string Widen(std::string_view text) {
  std::u16string wide;
  Utf8ToUtf16(text, wide);
  return wide;
}

// The field's text up to its end mark, as wchar_t text for "%ls".
std::wstring FieldForTrace(std::span<const char16_t> field) {
  std::u16string_view text(field.data(), field.size());
  text = text.substr(0, std::min(text.find(u'\0'), text.size()));
  std::wstring wide;
  Utf16ToWide(text, wide);
  return wide;
}

std::wstring ForTrace(std::u16string_view text) {
  std::wstring wide;
  Utf16ToWide(text, wide);
  return wide;
}

}  // namespace

void FillAdapterReport(const DeviceRecord& record, size_t index, OemAdapterInfoElement* array) {
  OemAdapterInfoElement& element = array[index];

  PutWide(element.interfaceText, Widen(record.pciLocation));
  TraceInfo("Ethernet Interface : %ls\n", FieldForTrace(element.interfaceText).c_str());

  PutWide(element.adapterName, record.productName);
  ConsolePrint("adapter : %ls\n", ForTrace(record.productName).c_str());
  TraceInfo("AdapterBrandingName  : %ls\n", FieldForTrace(element.adapterName).c_str());
  if (CatalogueLoaded()) {
    const CatalogueEntry* entry =
        CatalogueLookup(CatalogueKey(record.deviceId, record.subDeviceId));
    PutWide(element.adapterName, entry != nullptr ? Widen(entry->name) : record.productName);
    TraceInfo("AdapterBrandingName  : %ls\n", FieldForTrace(element.adapterName).c_str());
  }

  element.vendorId = record.vendorId;
  TraceInfo("VENDOR ID : %04X\n", record.vendorId);
  element.deviceId = record.deviceId;
  TraceInfo("Device ID : %04X\n", record.deviceId);
  element.subVendorId = record.subVendorId;
  TraceInfo("SUB VENDOR ID : %04X\n", record.subVendorId);
  element.subDeviceId = record.subDeviceId;
  TraceInfo("SUB DEVICE ID : %04X\n", record.subDeviceId);

  element.segment = record.bus >> 8;
  TraceInfo("SEGMENT : %04X\n", element.segment);
  element.busNumber = record.bus;
  TraceInfo("BUS NUMBER : %04X\n", record.bus);
  element.deviceNumber = record.device;
  TraceInfo("DEVICE NUMBER : %04X\n", record.device);
  element.functionNumber = record.function;
  TraceInfo("FUNC NUMBER : %04X\n", record.function);

  PutWide(element.slotNumber, u"00000000");
  PutWide(element.macAddress, record.macText);
  TraceInfo("SLOT NUM : %ls\n", FieldForTrace(element.slotNumber).c_str());
  TraceInfo("MAC ADDRESS : %ls\n", FieldForTrace(element.macAddress).c_str());

  // The element has room for OEM_MAX_FIRMWARE_ENTRIES; the count says how
  // many were written.
  size_t entries = std::min<size_t>(record.firmwareItems.size(), OEM_MAX_FIRMWARE_ENTRIES);
  element.firmwareCount = static_cast<uint32_t>(entries);
  TraceInfo("NUMBER OF FWs : %d\n", static_cast<int>(entries));
  for (size_t j = 0; j < entries; ++j) {
    ReportVersionNumbers(record.firmwareItems[j], element.firmware[j]);
  }
}

}  // namespace skyfw
