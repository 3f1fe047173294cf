#include "host_session.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>

#include "base/result_codes.h"
#include "base/text_conversion.h"
#include "command_output.h"
#include "host/oem_text.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "os/standard_streams.h"

namespace skyfw::tool {
namespace {

constexpr size_t kResultTextUnits = 512;

struct XmlFree {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

bool NameIs(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE &&
         xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

xmlNode* Child(xmlNode* node, const char* name) {
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (NameIs(child, name)) return child;
  }
  return nullptr;
}

std::string ValueOf(xmlNode* node, const char* child_name) {
  xmlNode* child = Child(node, child_name);
  if (child == nullptr) return {};
  xmlChar* value = xmlGetProp(child, reinterpret_cast<const xmlChar*>("value"));
  if (value == nullptr) return {};
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

uint32_t HexValueOf(xmlNode* node, const char* child_name) {
  return static_cast<uint32_t>(std::strtoul(ValueOf(node, child_name).c_str(), nullptr, 16));
}

template <typename Function>
bool Resolve(const LoadedPlugin& library, const char* name, Function*& out) {
  return ResolveEntryPoint(library, name, out);
}

}  // namespace

const char* ExitCodesHelp() {
  return "Exit codes: 0 success (also when a reboot is required; the output says so), "
         "1 the operation failed, 2 bad command line, 3 plug-in not loadable or lacking an "
         "entry point, 4 no supported adapter found or the adapter library did not start, "
         "5 firmware directory, package file or machine not found, 6 discovery or request document "
         "unusable, 7 installation or backup failed.";
}

int ExitCodeForResult(int32_t result) {
  switch (result) {
    case kHostSuccess:
    case kHostSuccessRebootRequired:
      return kExitOk;
    case kHostNmapiInitFailed:
    case kHostDiscoverDeviceFailed:
    case kHostHardwareNotAccessible:
    case kHostDeviceNotSupported:
    case kHostDeviceInitializeFailed:
      return kExitNoDevice;
    case kHostFirmwareFileNotFound:
    case kHostFirmwareFileNotAccessible:
    case kHostFirmwareImageInvalid:
      return kExitFirmwareMissing;
    case kHostDiscoveryFileNotFound:
    case kHostDiscoveryFileNotAccessible:
    case kHostDiscoveryFileNotCreated:
      return kExitDocument;
    case kHostInstallationFailed:
    case kHostFlashFailed:
      return kExitInstallFailed;
    default:
      if (result < 0) return kExitInstallFailed;  // a negative backup status
      return kExitFailure;
  }
}

std::string HostPlugin::ResultText(int32_t result) const {
  std::string text;
  Utf16ToUtf8(TextUpToZero(FromOemText(textForErrorCode(result)), kResultTextUnits), text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

int OpenHost(const GlobalOptions& options, HostPlugin& host, const std::string& trace) {
  std::string error;
  int status = OpenHostPlugin(options, host.library, error, trace);
  if (status != kExitOk) return Fail(options, status, error);
  host.tracePath = options.trace.empty() ? trace : options.trace;
  bool resolved = Resolve(host.library, "oem_do_discovery_with_files", host.discover) &&
                  Resolve(host.library, "oem_do_flash_with_file", host.flash) &&
                  Resolve(host.library, "oem_do_full_flash_PCI", host.fullFlashPci) &&
                  Resolve(host.library, "oem_get_full_flash_dump_PCI", host.flashDumpPci) &&
                  Resolve(host.library, "oem_get_adapter_info", host.adapterInfo) &&
                  Resolve(host.library, "oem_text_for_error_code", host.textForErrorCode);
  if (resolved) return kExitOk;
  if (!options.json) return kExitPluginError;  // the loader has said why
  return Fail(options, kExitPluginError,
              "the plug-in " + host.library.path() + " lacks an entry point");
}

std::string DataFolder() {
  const std::filesystem::path program = ProgramFolder();
  std::error_code error;
  if (std::filesystem::is_directory(program / "firmware", error))
    return platform::FromFileSystemPath(program);
  return platform::FromFileSystemPath((program / SKYFW_DATADIR_FROM_BINDIR).lexically_normal());
}

std::string FirmwareDirectory(const std::string& fw_option) {
  if (!fw_option.empty()) return fw_option;
  return platform::FromFileSystemPath(platform::PathFromUtf8(DataFolder()) / "firmware");
}

TraceWindow::TraceWindow(const std::string& path) : path_(path) {
  std::error_code error;
  if (path_.empty()) return;
  const std::filesystem::path file = platform::PathFromUtf8(path_);
  start_ = std::filesystem::exists(file, error) ? std::filesystem::file_size(file, error) : 0;
  if (error) start_ = 0;
}

std::vector<std::string> TraceWindow::CauseLines() const {
  std::vector<std::string> lines;
  if (path_.empty()) return lines;
  std::string text;
  if (platform::ReadRegularFile(path_, text) != 0 || start_ >= text.size()) return lines;
  for (size_t start = static_cast<size_t>(start_); start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    size_t begin = line.find_first_not_of(' ');
    if (begin == std::string::npos) continue;
    line.erase(0, begin);
    // Entry, leave and device lines are INFO; what went wrong comes at the
    // other levels.
    if (line.find(":INFO ]") != std::string::npos) continue;
    lines.push_back(line);
  }
  return lines;
}

bool ReadDiscoveryDocument(const std::string& path, DiscoveryDocument& document,
                           std::string& error) {
  // Read through the regular-file check first: libxml2 would open a FIFO and
  // wait on it.
  std::string bytes;
  std::unique_ptr<xmlDoc, XmlFree> xml;
  if (platform::ReadRegularFile(path, bytes) == 0 &&
      bytes.size() <= static_cast<size_t>(std::numeric_limits<int>::max())) {
    xml.reset(xmlReadMemory(
        bytes.data(), static_cast<int>(bytes.size()), path.c_str(), nullptr,
        XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_NONET));
  }
  xmlNode* root = xml ? xmlDocGetRootElement(xml.get()) : nullptr;
  if (root == nullptr || !NameIs(root, "qv_rom_discovery")) {
    error = "cannot read the discovery document " + path;
    return false;
  }
  document = DiscoveryDocument{};
  document.takesEffect = ValueOf(root, "takes_effect");
  xmlNode* devices = Child(root, "devices");
  if (devices == nullptr) return true;
  for (xmlNode* node = devices->children; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    DocumentDevice device;
    device.deviceId = ValueOf(node, "device_id");
    device.product = ValueOf(node, "product_id");
    device.mac = ValueOf(node, "macaddress");
    device.location = {HexValueOf(node, "segment"), HexValueOf(node, "busnumber"),
                       HexValueOf(node, "devicenumber"), HexValueOf(node, "funcnumber")};
    for (xmlNode* item = node->children; item != nullptr; item = item->next) {
      if (!NameIs(item, "fw_item")) continue;
      device.items.push_back({ValueOf(item, "firmware_file"), ValueOf(item, "version"),
                              ValueOf(item, "active_version"), ValueOf(item, "action"),
                              ValueOf(item, "action_status")});
    }
    document.devices.push_back(std::move(device));
  }
  return true;
}

nlohmann::json ResultJson(const HostPlugin& host, int32_t result) {
  return {{"code", result}, {"text", host.ResultText(result)}};
}

PluginOutputToStderr::PluginOutputToStderr(bool active) {
  if (active) saved_ = platform::DivertStandardOutputToError();
}

PluginOutputToStderr::~PluginOutputToStderr() { platform::RestoreStandardOutput(saved_); }

bool UseColour() {
  // NO_COLOR counts when present and not empty.
  const char* no_colour = std::getenv("NO_COLOR");
  static const bool colour =
      platform::StandardOutputIsTerminal() && (no_colour == nullptr || no_colour[0] == '\0');
  return colour;
}

std::string Coloured(const std::string& text, const char* sgr) {
  if (!UseColour()) return text;
  return std::string("\033[") + sgr + "m" + text + "\033[0m";
}

}  // namespace skyfw::tool
