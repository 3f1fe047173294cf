// The firmware catalogue "NICFWData.xml" as the library reads it from a
// firmware directory, then what its entries feed: the version choice and the
// adapter report's version numbers (the "nvm" value), and the discovery
// document (the "name" value as an adapter's product id).
//
// Checked: the discovery document made from any entry is well-formed and
// gives the entry's name back, and comparing two versions answers the same
// both ways round.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/catalogue.h"
#include "host/discovery_document.h"
#include "host/library_state.h"
#include "host/xml_helpers.h"
#include "update/firmware_action.h"
#include "package/version_compare.h"
#include "update/firmware_decision.h"

#if defined(__linux__)
#include <unistd.h>
#endif

namespace {

using skyfw::CatalogueEntry;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "catalogue: %s\n", what.c_str());
  std::abort();
}

std::string Directory() {
  std::string path = (std::filesystem::temp_directory_path() / "skyfw_fuzz_catalogue").string();
#if defined(__linux__)
  // Appended in two steps: g++ 12 at -O3 takes "_" + std::to_string(...)
  // for an overlapping copy (-Wrestrict).
  path += '_';
  path += std::to_string(getpid());
#endif
  std::filesystem::create_directories(path);
  return path;
}

int Sign(int value) { return (value > 0) - (value < 0); }

void CheckComparison(const std::string& left, const std::string& right) {
  if (Sign(skyfw::CompareVersions(left, right)) != -Sign(skyfw::CompareVersions(right, left))) {
    Fail("versions compare differently both ways round: [" + left + "] [" + right + "]");
  }
}

// Hexadecimal id text as a number, when the catalogue key of that number is
// the text again (so the discovery document finds the entry).
bool IdOf(const std::string& text, uint32_t& id) {
  if (text.empty() || text.size() > 8) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (*end != '\0') return false;
  id = static_cast<uint32_t>(value);
  return true;
}

std::string ProductIdOf(const std::string& document_text) {
  xmlDoc* document = xmlReadMemory(document_text.data(), static_cast<int>(document_text.size()),
                                   nullptr, nullptr, skyfw::kXmlReadOptions);
  if (document == nullptr) Fail("discovery document is not well-formed");
  xmlNode* devices = skyfw::FindChild(xmlDocGetRootElement(document), "devices");
  std::string product =
      skyfw::GetChildValue(skyfw::FindChild(devices, "device"), "product_id", "value");
  xmlFreeDoc(document);
  return product;
}

void CheckDiscoveryDocument(const std::string& key, const CatalogueEntry& entry) {
  skyfw::DeviceRecord record;
  if (!IdOf(entry.devid, record.deviceId) || !IdOf(entry.subdevid, record.subDeviceId) ||
      skyfw::CatalogueKey(record.deviceId, record.subDeviceId) != key) {
    return;
  }
  record.pciLocation = "0000:03:00:0";
  record.productName = u"Skyline";
  const std::string text = skyfw::FormatDiscoveryDocument({record}, false, entry.nvm);
  if (ProductIdOf(text) != entry.name) Fail("product id [" + entry.name + "] not kept");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace skyfw;
  static const std::string directory = Directory();
  const std::string path = directory + "/" + kCatalogueFileName;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size != 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  // The table only grows within a loaded library; each input starts afresh.
  Library() = LibraryState{};
  if (do_discover_with_qvfwdata(directory) != kHostSuccess) return 0;
  if (!CatalogueLoaded()) Fail("catalogue read but not marked loaded");

  for (const auto& [key, entry] : Library().catalogue) {
    std::string file_name;
    std::string version;
    uint32_t device_id = 0;
    uint32_t sub_device_id = 0;
    if (IdOf(entry.devid, device_id) && IdOf(entry.subdevid, sub_device_id)) {
      HostFirmwareCatalogue().FindNvmPackage(device_id, sub_device_id, file_name, version);
    }
    ChooseFirmwareAction("21.6.2", entry.nvm);
    ChooseFirmwareAction(entry.nvm, entry.name);
    CheckComparison(entry.nvm, entry.name);

    FirmwareItem item;
    item.file = entry.nvmFile;
    item.version = entry.nvm;
    item.activeVersion = entry.name;
    OemFirmwareEntry report{};
    ReportVersionNumbers(item, report);

    CheckDiscoveryDocument(key, entry);
  }
  Library() = LibraryState{};
  return 0;
}
