#include "host/catalogue.h"

#include <libxml/parser.h>

#include <cstdio>
#include <vector>

#include "base/text.h"
#include "diag/trace_log.h"
#include "update/file_helpers.h"
#include "host/library_state.h"
#include "host/xml_helpers.h"

namespace skyfw {
namespace {

struct CatalogueAttribute {
  const char* name;
  std::string CatalogueEntry::*member;
};

// Document order of the attributes; each pair after "subdevid" is a firmware
// type's version and its file name.
constexpr CatalogueAttribute kAttributes[] = {
    {"name", &CatalogueEntry::name},           {"venid", &CatalogueEntry::venid},
    {"devid", &CatalogueEntry::devid},         {"subvenid", &CatalogueEntry::subvenid},
    {"subdevid", &CatalogueEntry::subdevid},   {"bootcode", &CatalogueEntry::bootcode},
    {"bcFile", &CatalogueEntry::bcFile},       {"pxe", &CatalogueEntry::pxe},
    {"pxeFile", &CatalogueEntry::pxeFile},     {"ipmi", &CatalogueEntry::ipmi},
    {"ipmiFile", &CatalogueEntry::ipmiFile},   {"ump", &CatalogueEntry::ump},
    {"umpFile", &CatalogueEntry::umpFile},     {"clp", &CatalogueEntry::clp},
    {"clpFile", &CatalogueEntry::clpFile},     {"iscsi", &CatalogueEntry::iscsi},
    {"iscsiFile", &CatalogueEntry::iscsiFile}, {"ncsi", &CatalogueEntry::ncsi},
    {"ncsiFile", &CatalogueEntry::ncsiFile},   {"fcoe", &CatalogueEntry::fcoe},
    {"fcoeFile", &CatalogueEntry::fcoeFile},   {"uefi", &CatalogueEntry::uefi},
    {"uefiFile", &CatalogueEntry::uefiFile},   {"ccm", &CatalogueEntry::ccm},
    {"ccmFile", &CatalogueEntry::ccmFile},     {"l2", &CatalogueEntry::l2},
    {"l2File", &CatalogueEntry::l2File},       {"nvm", &CatalogueEntry::nvm},
    {"nvmFile", &CatalogueEntry::nvmFile},
};
static_assert(std::size(kAttributes) == 29);

bool DirectoryHoldsCatalogue(const std::string& directory) {
  std::vector<std::string> files;
  ListFiles(directory, files);
  for (const std::string& file : files) {
    std::string name;
    BaseName(file, name);
    if (name == kCatalogueFileName) return true;
  }
  return false;
}

// The first "nic" element among node's children.
xmlNode* FirstNic(xmlNode* node) {
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE && XmlNameIs(child, "nic")) return child;
  }
  return nullptr;
}

CatalogueEntry ReadEntry(xmlNode* nic) {
  CatalogueEntry entry;
  for (const CatalogueAttribute& attribute : kAttributes) {
    entry.*attribute.member = AttributeValue(nic, attribute.name);
  }
  entry.devid = AsciiUpper(entry.devid);
  entry.subdevid = AsciiUpper(entry.subdevid);
  return entry;
}

class LibraryCatalogue final : public FirmwareCatalogue {
 public:
  bool IsLoaded() const override { return CatalogueLoaded(); }
  bool FindNvmPackage(uint32_t device_id, uint32_t sub_device_id, std::string& nvm_file,
                      std::string& nvm_version) const override {
    const CatalogueEntry* entry = CatalogueLookup(CatalogueKey(device_id, sub_device_id));
    if (entry == nullptr) return false;
    nvm_file = entry->nvmFile;
    nvm_version = entry->nvm;
    return true;
  }
};

}  // namespace

HostResultCode do_discover_with_qvfwdata(const std::string& directory) {
  if (!DirectoryHoldsCatalogue(directory)) return kHostDiscoveryFileNotAccessible;

  XmlDocument document(directory + kPathSeparator + kCatalogueFileName);
  if (!document) {
    TraceReport(TraceLevel::DEBUG,
                "do_discover_with_qvfwdata() : xmlReadMemory() failed in ParseXmlFile().");
    return kHostDiscoveryFileNotAccessible;
  }
  xmlNode* root = document.root();
  if (root == nullptr) {
    TraceReport(TraceLevel::DEBUG,
                "do_discover_with_qvfwdata() : xmlDocGetRootElement() failed: the catalogue has "
                "no root element.");
    return kHostDiscoveryFileNotAccessible;
  }
  if (!XmlNameIs(root, "nic_fw_package")) {
    TraceReport(TraceLevel::DEBUG, "do_discover_with_qvfwdata() : unknown root element [%s].",
                XmlName(root));
    return kHostDiscoveryFileNotAccessible;
  }

  CatalogueTable& table = Library().catalogue;
  for (xmlNode* child = root->children; child != nullptr; child = child->next) {
    xmlNode* nic = FirstNic(child);
    if (nic == nullptr) continue;
    CatalogueEntry entry = ReadEntry(nic);
    std::string key = entry.devid + "-" + entry.subdevid;
    // The first entry of a key stays, against later files as well.
    table.emplace(std::move(key), std::move(entry));
  }
  Library().catalogueLoaded = true;
  return kHostSuccess;
}

std::string CatalogueKey(uint32_t deviceId, uint32_t subDeviceId) {
  char key[32];
  std::snprintf(key, sizeof key, "%04X-%04X", deviceId, subDeviceId);
  return key;
}

const CatalogueEntry* CatalogueLookup(const std::string& key) {
  const CatalogueTable& table = Library().catalogue;
  auto found = table.find(key);
  return found == table.end() ? nullptr : &found->second;
}

bool CatalogueLoaded() { return Library().catalogueLoaded; }

const FirmwareCatalogue& HostFirmwareCatalogue() {
  static const LibraryCatalogue catalogue;
  return catalogue;
}

}  // namespace skyfw
