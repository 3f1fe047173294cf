// What the host commands share: the plug-in's entry points, the discovery
// document as the program reads it, result texts, exit codes and output.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "adapter_address.h"
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
  std::string tracePath;  // the plug-in's trace log; empty when off

  // The result's text from the plug-in, without its line end.
  std::string ResultText(int32_t result) const;
};

// Loads the plug-in and resolves all entry points; on failure prints why (as
// JSON under --json) and returns the exit code. The trace log goes to --trace,
// else to trace when given, so that a failure's cause can be shown.
int OpenHost(const GlobalOptions& options, HostPlugin& host, const std::string& trace = {});

// Where the program's data lives: beside it in a build tree (firmware/,
// dev_signing_private.pem), else the installed share/skyfw.
std::string DataFolder();

// The firmware directory to use: --fw, or the demo firmware.
std::string FirmwareDirectory(const std::string& fw_option);

// The plug-in's trace log from a position on: what it writes during one call.
class TraceWindow {
 public:
  explicit TraceWindow(const std::string& path);
  // Lines written since construction that tell why something failed (not the
  // INFO lines), without their leading blank.
  std::vector<std::string> CauseLines() const;
  bool active() const { return !path_.empty(); }

 private:
  std::string path_;
  uintmax_t start_ = 0;
};

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
  std::string mac;       // as the document has it, e.g. 020A3B1C2D4E
  PciLocation location;  // from the segment, bus, device and function numbers
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

// The plug-in's {code, text} of a result.
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
