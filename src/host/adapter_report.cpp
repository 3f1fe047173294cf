#include "host/adapter_report.h"

#include <algorithm>
#include <string>

#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "host/catalogue.h"
#include "base/unicode.h"
#include "update/firmware_decision.h"

namespace skyfw {
namespace {

std::wstring ForTrace(std::u16string_view text) {
  std::wstring wide;
  Utf16ToWide(text, wide);
  return wide;
}

}  // namespace

void FillAdapterReport(const DeviceRecord& record, size_t index, OemAdapterInfoElement* array) {
  OemAdapterInfoElement& element = array[index];

  PutTextField(element.interfaceText, Utf8ToUtf16(record.pciLocation));
  TraceInfo("Ethernet Interface : %ls\n", TextFieldForTrace(element.interfaceText).c_str());

  PutTextField(element.adapterName, record.productName);
  ConsolePrint("adapter : %ls\n", ForTrace(record.productName).c_str());
  TraceInfo("AdapterBrandingName  : %ls\n", TextFieldForTrace(element.adapterName).c_str());
  if (CatalogueLoaded()) {
    const CatalogueEntry* entry =
        CatalogueLookup(CatalogueKey(record.deviceId, record.subDeviceId));
    PutTextField(element.adapterName,
                 entry != nullptr ? Utf8ToUtf16(entry->name) : record.productName);
    TraceInfo("AdapterBrandingName  : %ls\n", TextFieldForTrace(element.adapterName).c_str());
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

  PutTextField(element.slotNumber, u"00000000");
  PutTextField(element.macAddress, record.macText);
  TraceInfo("SLOT NUM : %ls\n", TextFieldForTrace(element.slotNumber).c_str());
  TraceInfo("MAC ADDRESS : %ls\n", TextFieldForTrace(element.macAddress).c_str());

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
