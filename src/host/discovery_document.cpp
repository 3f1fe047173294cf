#include "host/discovery_document.h"

#include <cstdio>
#include <vector>

#include "base/text_conversion.h"
#include "diag/trace_log.h"
#include "host/catalogue.h"
#include "update/file_helpers.h"
#include "host/library_state.h"
#include "host/xml_helpers.h"
#include "os/file_writer.h"

namespace skyfw {
namespace {

constexpr const char* kAltName =
    "Kandor Norvane Skyline Online Firmware Upgrade Utility for Windows x64";
// The same for every device of the family.
constexpr const char* kNicType = "NVC61200";

// Escapes the five characters that would end or break an attribute value,
// and tab, line feed and carriage return, which a reader would otherwise turn
// into blanks (a catalogue name may carry them as character references).
std::string Escaped(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// "%04X" of a value.
std::string Hex4(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  Utf16ToUtf8(text, out);
  return out;
}

// The document is built line by line; no line is ever cut.
class DocumentLines {
 public:
  void Line(int blanks, const std::string& text) {
    text_.append(static_cast<size_t>(blanks), ' ');
    text_ += text;
    text_ += "\r\n";
  }
  // <name value="escaped value" />
  void Value(int blanks, const char* name, const std::string& value) {
    Line(blanks, std::string("<") + name + " value=\"" + Escaped(value) + "\" />");
  }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

std::string ProductIdOf(const DeviceRecord& record) {
  if (CatalogueLoaded()) {
    const CatalogueEntry* entry =
        CatalogueLookup(CatalogueKey(record.deviceId, record.subDeviceId));
    if (entry != nullptr) return entry->name;
  }
  return Narrow(record.productName);
}

void AddItem(DocumentLines& lines, const FirmwareItem& item) {
  std::string file = item.file;
  if (!CatalogueLoaded()) BaseName(item.file, file);
  lines.Line(6, "<fw_item>");
  lines.Value(8, "type", item.type);
  lines.Value(8, "firmware_id", "");
  lines.Value(8, "firmware_file", file);
  lines.Value(8, "version", VersionTail(item.version));
  lines.Value(8, "active_version", VersionTail(item.activeVersion));
  lines.Value(8, "action", item.action);
  lines.Value(8, "action_status", "");
  lines.Value(8, "duration", "60");
  lines.Value(8, "message", "");
  lines.Value(8, "shared", "no");
  lines.Line(6, "</fw_item>");
}

void AddDevice(DocumentLines& lines, const DeviceRecord& record) {
  lines.Line(4, "<device>");
  lines.Value(6, "device_id", record.pciLocation);
  lines.Value(6, "nictype", kNicType);
  lines.Value(6, "venid", Hex4(record.vendorId));
  lines.Value(6, "devid", Hex4(record.deviceId));
  lines.Value(6, "subvenid", Hex4(record.subVendorId));
  lines.Value(6, "subdevid", Hex4(record.subDeviceId));
  lines.Value(6, "product_id", ProductIdOf(record));
  // The host addresses the device with these four numbers; the segment is the
  // bus number's upper bits, as the PCI requests match it.
  lines.Value(6, "segment", Hex4(record.bus >> 8));
  lines.Value(6, "busnumber", Hex4(record.bus));
  lines.Value(6, "devicenumber", Hex4(record.device));
  lines.Value(6, "funcnumber", Hex4(record.function));
  lines.Value(6, "slotnumber", "00000000");
  lines.Value(6, "macaddress", Narrow(record.macText));
  for (const FirmwareItem& item : record.firmwareItems) AddItem(lines, item);
  lines.Line(4, "</device>");
}

bool IsDescriptorEntry(const std::string& entry) {
  size_t separator = entry.find(kPathSeparator);
  std::string_view name =
      std::string_view(entry).substr(separator == std::string::npos ? entry.size() : separator + 1);
  return name.starts_with("KB") && entry.find(".xml") != std::string::npos;
}

std::string ReadInstallerVersion(const std::string& path) {
  XmlDocument document(path);
  if (!document) {
    TraceReport(TraceLevel::DEBUG, "FindInstallerVersion(): cannot read the package descriptor %s.",
                path.c_str());
    return {};
  }
  xmlNode* root = document.root();
  if (root == nullptr) {
    TraceReport(TraceLevel::DEBUG, "FindInstallerVersion(): the package descriptor has no root.");
    return {};
  }
  if (!XmlNameIs(root, "kbx_package")) {
    TraceReport(TraceLevel::DEBUG,
                "FindInstallerVersion(): unknown package descriptor root element [%s].",
                XmlName(root));
    return {};
  }
  std::string version = GetChildValue(root, "version", "value");
  TraceInfo("INST VERSION : %s\n", version.c_str());
  std::string revision = GetChildValue(root, "version", "revision");
  TraceInfo("INST REVISION : %s\n", revision.c_str());
  std::string installer = version + revision;
  TraceInfo("INSTALLER  : %s\n", installer.c_str());
  return installer;
}

}  // namespace

std::string FindInstallerVersion() {
  std::vector<std::string> entries;
  ListFiles(".", entries);
  for (const std::string& entry : entries) {
    if (!IsDescriptorEntry(entry)) continue;
    TraceInfo("Config File : %s\n", entry.c_str());
    // Only the first descriptor counts, even when it cannot be read.
    return ReadInstallerVersion(entry);
  }
  return {};
}

std::string FormatDiscoveryDocument(const DeviceInventory& inventory, bool deferred,
                                    const std::string& installer_version) {
  DocumentLines lines;
  lines.Line(0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  lines.Line(0, "<qv_rom_discovery version=\"2.0.0.0\">");
  lines.Value(2, "type", "");
  lines.Value(2, "alt_name", kAltName);
  lines.Value(2, "version", installer_version);
  lines.Value(2, "takes_effect", deferred ? "deferred" : "immediate");
  lines.Line(2, "<devices>");
  for (const DeviceRecord& record : inventory) AddDevice(lines, record);
  lines.Line(2, "</devices>");
  lines.Line(0, "</qv_rom_discovery>");
  return std::move(lines.text());
}

bool WriteDiscoveryDocument(const std::string& path, bool deferred) {
  std::string installer_version = FindInstallerVersion();
  DeviceInventory& inventory = Library().inventory;
  for (DeviceRecord& record : inventory) {
    for (FirmwareItem& item : record.firmwareItems) item.type = "nvm";
  }
  const int error = platform::WriteWholeFile(
      path, FormatDiscoveryDocument(inventory, deferred, installer_version));
  if (error != 0) {
    TraceReport(TraceLevel::DEBUG, "WriteDiscoveryDocument(): cannot write %s: %s.", path.c_str(),
                platform::FileErrorText(error).c_str());
  }
  return error == 0;
}

}  // namespace skyfw
