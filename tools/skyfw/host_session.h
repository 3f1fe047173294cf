// What the host commands share: the plug-in's entry points, the discovery
// document as the program reads it, result texts, exit codes and output.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "command_registry.h"
#include "plugin_loader.h"
#include "skyfw/oem.h"

namespace skyfw::tool {

// Exit codes of the host commands, one per failure class; 0 also for a
// success that needs a reboot (the output says so).
enum HostExitCode : int {
  kExitNoDevice = 4,         // adapter library did not start (101) or no device (102)
  kExitFirmwareMissing = 5,  // firmware directory or package file missing (8, 9)
  kExitDocument = 6,         // discovery or request document unusable (10, 11, 12)
  kExitInstallFailed = 7,    // installation or backup failed (106, negative statuses)
};

// The text shown in --help for the exit codes of the whole program.
const char* ExitCodesHelp();

// Maps a plug-in result to the program's exit code.
int ExitCodeForResult(int32_t result);

// The plug-in loaded, with every entry point resolved.
struct HostPlugin {
  LoadedPlugin library;
  decltype(&oem_do_discovery_with_files) discover = nullptr;
  decltype(&oem_do_flash_with_file) flash = nullptr;
  decltype(&oem_do_full_flash_PCI) fullFlashPci = nullptr;
  decltype(&oem_get_full_flash_dump_PCI) flashDumpPci = nullptr;
  decltype(&oem_get_adapter_info) adapterInfo = nullptr;
  decltype(&oem_text_for_error_code) textForErrorCode = nullptr;

  // The result's text from the plug-in, without its line end.
  std::string ResultText(int32_t result) const;
};

// Loads the plug-in and resolves all entry points; on failure prints why
// (as JSON under --json) and returns the exit code.
int OpenHost(const GlobalOptions& options, HostPlugin& host);

// The firmware directory to use: --fw, or the demo firmware beside the program.
std::string FirmwareDirectory(const std::string& fw_option);

// One fw_item of a discovery or request document.
struct DocumentItem {
  std::string file;
  std::string version;
  std::string activeVersion;
  std::string action;
  std::string actionStatus;
};

// One device block.
struct DocumentDevice {
  std::string deviceId;  // the PCI location text, e.g. 0000:3b:00:0
  std::string product;
  std::string mac;
  uint32_t segment = 0, bus = 0, device = 0, function = 0;
  std::vector<DocumentItem> items;
};

struct DiscoveryDocument {
  std::string takesEffect;
  std::vector<DocumentDevice> devices;
};

// Reads a document written by the plug-in; false with a reason when it
// cannot be read.
bool ReadDiscoveryDocument(const std::string& path, DiscoveryDocument& document,
                           std::string& error);

// The PCI numbers SEG:BUS:DEV.FN, each hexadecimal.
struct PciAddress {
  int32_t segment = 0, bus = 0, device = 0, function = 0;
};
bool ParsePciAddress(const std::string& text, PciAddress& address);

// Output helpers: JSON on standard output, or a message on standard error.
void PrintJson(const nlohmann::json& value);
// Reports a failure of the command itself (not of the plug-in).
int Fail(const GlobalOptions& options, int exit_code, const std::string& message);
// The result object every --json answer carries.
nlohmann::json ResultJson(const HostPlugin& host, int32_t result);

// While alive, the process's standard output goes to standard error, so what
// the plug-in prints itself does not mix into a JSON answer. Inactive when
// constructed with false.
class PluginOutputToStderr {
 public:
  explicit PluginOutputToStderr(bool active);
  ~PluginOutputToStderr();
  PluginOutputToStderr(const PluginOutputToStderr&) = delete;
  PluginOutputToStderr& operator=(const PluginOutputToStderr&) = delete;

 private:
  int saved_ = -1;
};

// Colour only on a terminal and when NO_COLOR is unset.
bool UseColour();
std::string Coloured(const std::string& text, const char* sgr);

}  // namespace skyfw::tool
