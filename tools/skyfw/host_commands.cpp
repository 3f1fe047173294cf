// The host commands: skyfw drives the plug-in through its exported entry
// points exactly as a vendor's update host does.
//
//   discover   discovery document and a table of the adapters
//   flash      discovery, then install what it proposes (one adapter per call)
//   flash-pci  one package onto the adapter at SEG:BUS:DEV.FN
//   dump       back the adapter at SEG:BUS:DEV.FN up into a package file
//   info       the adapter-information array

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command_registry.h"
#include "diag/text_conversion.h"
#include "host_session.h"
#include "platform/standard_streams.h"
#include "request_document.h"

namespace skyfw::tool {
namespace {

using Clock = std::chrono::steady_clock;

std::u16string Wide(const std::string& text) {
  std::u16string wide;
  Utf8ToUtf16(text, wide);
  return wide;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Or(const std::string& text, const char* empty) { return text.empty() ? empty : text; }

std::string ActionColoured(const std::string& action) {
  if (action == "upgrade") return Coloured(action, "32");
  if (action == "downgrade") return Coloured(action, "33");
  return action;
}

// Plain fixed-width columns; the widths follow the longest value.
void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths(header.size());
  for (size_t c = 0; c < header.size(); ++c) widths[c] = header[c].size();
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], row[c].size());
    }
  }
  auto print_row = [&](const std::vector<std::string>& row, bool colour_action) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      std::string cell = row[c];
      std::string padding(widths[c] - std::min(widths[c], cell.size()), ' ');
      if (colour_action && header[c] == "ACTION") cell = ActionColoured(cell);
      line += cell;
      if (c + 1 < row.size()) line += padding + "  ";
    }
    std::printf("%s\n", line.c_str());
  };
  print_row(header, false);
  for (const auto& row : rows) print_row(row, true);
}

nlohmann::json DeviceJson(const DocumentDevice& device) {
  nlohmann::json items = nlohmann::json::array();
  for (const DocumentItem& item : device.items) {
    items.push_back({{"firmware_file", item.file},
                     {"version", item.version},
                     {"active_version", item.activeVersion},
                     {"action", item.action},
                     {"action_status", item.actionStatus}});
  }
  char pci[64];
  std::snprintf(pci, sizeof pci, "%04x:%02x:%02x.%x", device.segment, device.bus, device.device,
                device.function);
  return {{"device_id", device.deviceId},
          {"pci", pci},
          {"product", device.product},
          {"mac", device.mac},
          {"items", items}};
}

void PrintDiscoveryTable(const DiscoveryDocument& document) {
  std::vector<std::vector<std::string>> rows;
  for (const DocumentDevice& device : document.devices) {
    for (const DocumentItem& item : device.items) {
      rows.push_back({device.deviceId, device.product, device.mac, Or(item.activeVersion, "-"),
                      Or(item.file, "-"), Or(item.version, "-"), Or(item.action, "-")});
    }
  }
  PrintTable({"PCI LOCATION", "PRODUCT", "MAC", "CURRENT", "PACKAGE", "VERSION", "ACTION"}, rows);
}

// Runs a discovery into path; the plug-in's result.
int32_t Discover(const GlobalOptions& options, const HostPlugin& host, const std::string& path,
                 const std::string& firmware) {
  PluginOutputToStderr quiet(options.json);
  return host.discover(Wide(path).c_str(), Wide(firmware).c_str());
}

// ---- discover ---------------------------------------------------------------

struct DiscoverOptions {
  std::string fw;
  std::string output = "discovery.xml";
};

int RunDiscover(const GlobalOptions& options, const DiscoverOptions& discover) {
  HostPlugin host;
  if (int status = OpenHost(options, host); status != kExitOk) return status;
  std::string firmware = FirmwareDirectory(discover.fw);
  int32_t result = Discover(options, host, discover.output, firmware);

  DiscoveryDocument document;
  std::string error;
  bool have_document = result == 0 && ReadDiscoveryDocument(discover.output, document, error);
  if (options.json) {
    nlohmann::json answer = {{"result", ResultJson(host, result)},
                             {"document", discover.output},
                             {"firmware", firmware}};
    nlohmann::json devices = nlohmann::json::array();
    for (const DocumentDevice& device : document.devices) devices.push_back(DeviceJson(device));
    answer["devices"] = devices;
    if (result == 0 && !have_document) answer["error"] = error;
    PrintJson(answer);
  } else if (result != 0) {
    std::fprintf(stderr, "skyfw: discovery failed: %d %s\n", result,
                 host.ResultText(result).c_str());
  } else if (!have_document) {
    std::fprintf(stderr, "skyfw: %s\n", error.c_str());
  } else {
    PrintDiscoveryTable(document);
    std::printf("\n%zu adapter(s); discovery document: %s\n", document.devices.size(),
                discover.output.c_str());
  }
  if (result == 0 && !have_document) return kExitDocument;
  return ExitCodeForResult(result);
}

// ---- flash ------------------------------------------------------------------

struct FlashOptions {
  std::string fw;
  std::string document = "request.xml";
  std::vector<std::string> skip;
  bool dryRun = false;
};

// Shows which adapter is being flashed: one rewritten line on a terminal,
// plain lines otherwise, nothing under --json.
class Progress {
 public:
  explicit Progress(bool quiet) : quiet_(quiet), terminal_(platform::StandardOutputIsTerminal()) {}
  void Start(size_t n, size_t total, const DocumentDevice& device) {
    if (quiet_) return;
    char line[512];
    std::snprintf(line, sizeof line, "[%zu/%zu] flashing %s %s (%.1fs elapsed)", n, total,
                  device.deviceId.c_str(), device.product.c_str(), Seconds(started_));
    if (terminal_) {
      std::printf("\r\033[K%s", line);
      std::fflush(stdout);
    } else {
      std::printf("%s\n", line);
    }
  }
  void Done(size_t total) {
    if (quiet_) return;
    if (terminal_) std::printf("\r\033[K");
    std::printf("flashed %zu adapter(s) in %.1fs\n", total, Seconds(started_));
  }

 private:
  bool quiet_;
  bool terminal_;
  Clock::time_point started_ = Clock::now();
};

// The worse of two flash results: a call that could not run at all (11, 101,
// 102) over a failed installation over a missing file over success.
int32_t Worse(int32_t a, int32_t b) {
  auto rank = [](int32_t r) { return r == 0 || r == 1 ? 0 : r == 8 ? 1 : r == 106 ? 2 : 3; };
  return rank(b) > rank(a) ? b : a;
}

bool Skipped(const std::vector<std::string>& skip, const DocumentDevice& device) {
  for (const std::string& entry : skip) {
    std::string wanted = Lower(entry);
    if (wanted == "all" || wanted == Lower(device.deviceId) || wanted == Lower(device.mac)) {
      return true;
    }
  }
  return false;
}

int RunFlash(const GlobalOptions& options, const FlashOptions& flash) {
  HostPlugin host;
  if (int status = OpenHost(options, host); status != kExitOk) return status;
  std::string firmware = FirmwareDirectory(flash.fw);

  int32_t discovered = Discover(options, host, flash.document, firmware);
  if (discovered != 0) {
    if (options.json) {
      PrintJson({{"result", ResultJson(host, discovered)}, {"stage", "discovery"}});
    } else {
      std::fprintf(stderr, "skyfw: discovery failed: %d %s\n", discovered,
                   host.ResultText(discovered).c_str());
    }
    return ExitCodeForResult(discovered);
  }
  DiscoveryDocument document;
  RequestDocument request;
  std::string error;
  if (!ReadDiscoveryDocument(flash.document, document, error) || !request.Read(flash.document)) {
    return Fail(options, kExitDocument, "cannot read the discovery document " + flash.document);
  }

  // The items to install: a package was found and the user did not skip it.
  std::vector<size_t> plan;
  for (size_t d = 0; d < document.devices.size(); ++d) {
    const DocumentDevice& device = document.devices[d];
    bool skip_device = Skipped(flash.skip, device);
    request.MarkSkipped(d, [&](const std::string& file) { return skip_device || file.empty(); });
    bool installs = false;
    for (DocumentItem& item : document.devices[d].items) {
      if (skip_device || item.file.empty()) {
        item.action = "skip";
      } else {
        installs = true;
      }
    }
    if (installs) plan.push_back(d);
  }

  // Nothing to install is a success that needs no reboot.
  int32_t outcome = plan.empty() ? 0 : 1;
  if (!flash.dryRun) {
    Progress progress(options.json);
    std::string single = flash.document + ".device.xml";
    for (size_t n = 0; n < plan.size(); ++n) {
      size_t d = plan[n];
      progress.Start(n + 1, plan.size(), document.devices[d]);
      if (!request.WriteSingleDevice(d, single)) {
        return Fail(options, kExitDocument, "cannot write the request document " + single);
      }
      int32_t result = 0;
      {
        PluginOutputToStderr quiet(options.json);
        result = host.flash(Wide(single).c_str(), Wide(firmware).c_str());
      }
      outcome = Worse(outcome, result);
      request.TakeStatuses(d, single);
    }
    std::remove(single.c_str());
    progress.Done(plan.size());
    request.SetTakesEffect("immediate");
    if (!request.Write(flash.document)) {
      return Fail(options, kExitDocument, "cannot write the request document " + flash.document);
    }
    ReadDiscoveryDocument(flash.document, document, error);
  }

  if (options.json) {
    nlohmann::json devices = nlohmann::json::array();
    for (const DocumentDevice& device : document.devices) devices.push_back(DeviceJson(device));
    nlohmann::json answer = {{"dry_run", flash.dryRun},
                             {"document", flash.document},
                             {"firmware", firmware},
                             {"devices", devices}};
    if (!flash.dryRun) answer["result"] = ResultJson(host, outcome);
    PrintJson(answer);
  } else {
    std::vector<std::vector<std::string>> rows;
    for (const DocumentDevice& device : document.devices) {
      for (const DocumentItem& item : device.items) {
        std::string status = "-";
        if (flash.dryRun) {
          status = item.action == "skip" ? "skipped" : "would install";
        } else if (item.action == "skip") {
          status = "skipped";
        } else if (!item.actionStatus.empty()) {
          int code = std::atoi(item.actionStatus.c_str());
          status = item.actionStatus + (code == 1     ? " installed"
                                        : code == 106 ? " failed"
                                        : code == 9   ? " firmware path unusable"
                                                      : "");
          if (code != 1) status = Coloured(status, "31");
        }
        rows.push_back({device.deviceId, device.product, Or(item.activeVersion, "-"),
                        Or(item.file, "-"), Or(item.version, "-"), Or(item.action, "-"), status});
      }
    }
    PrintTable({"PCI LOCATION", "PRODUCT", "CURRENT", "PACKAGE", "VERSION", "ACTION", "STATUS"},
               rows);
    if (flash.dryRun) {
      std::printf("\ndry run: %zu adapter(s) would be flashed; nothing was installed\n",
                  plan.size());
    } else {
      if (plan.empty()) std::printf("\nnothing to install\n");
      std::printf("\nresult %d: %s\n", outcome, host.ResultText(outcome).c_str());
      if (outcome == 1) std::printf("A reboot is required for the new firmware to take effect.\n");
    }
  }
  return flash.dryRun ? kExitOk : ExitCodeForResult(outcome);
}

// ---- flash-pci and dump -------------------------------------------------------

struct PciOptions {
  std::string file;
  std::string pci;
};

int RunPci(const GlobalOptions& options, const PciOptions& pci, bool backup) {
  PciAddress address;
  if (!ParsePciAddress(pci.pci, address)) {
    return Fail(options, kExitUsage,
                "--pci wants SEG:BUS:DEV.FN in hexadecimal, e.g. 0000:3b:00.0");
  }
  HostPlugin host;
  if (int status = OpenHost(options, host); status != kExitOk) return status;
  auto started = Clock::now();
  int32_t result = 0;
  {
    PluginOutputToStderr quiet(options.json);
    result = backup ? host.flashDumpPci(Wide(pci.file).c_str(), nullptr, address.segment,
                                        address.bus, address.device, address.function)
                    : host.fullFlashPci(Wide(pci.file).c_str(), nullptr, address.segment,
                                        address.bus, address.device, address.function);
  }
  // The backup answers with 0 or a negative package status, which the
  // result table does not name.
  std::string text = host.ResultText(result);
  if (backup && result == 0) text = "the backup was written";
  if (result < 0) text = "the backup failed (package status " + std::to_string(result) + ")";
  if (options.json) {
    nlohmann::json answer = {{"result", ResultJson(host, result)},
                             {"file", pci.file},
                             {"pci", pci.pci},
                             {"seconds", Seconds(started)}};
    answer["result"]["text"] = text;
    PrintJson(answer);
  } else {
    std::printf("result %d: %s\n", result, text.c_str());
    if (result == 1) std::printf("A reboot is required for the new firmware to take effect.\n");
    if (backup && result == 0) std::printf("backup written to %s\n", pci.file.c_str());
  }
  return ExitCodeForResult(result);
}

// ---- info -------------------------------------------------------------------

// A fixed wide field up to its end mark (or whole when it has none).
std::string FieldText(const char16_t* field, size_t units) {
  std::u16string_view view(field, units);
  std::string text;
  Utf16ToUtf8(view.substr(0, std::min(view.find(u'\0'), units)), text);
  return text;
}

int RunInfo(const GlobalOptions& options, const std::string& fw) {
  HostPlugin host;
  if (int status = OpenHost(options, host); status != kExitOk) return status;
  std::string firmware = FirmwareDirectory(fw);
  std::u16string firmware_wide = Wide(firmware);

  int32_t count = 0;
  std::optional<PluginOutputToStderr> quiet;
  quiet.emplace(options.json);
  int32_t result = host.adapterInfo(nullptr, &count, firmware_wide.c_str());
  std::vector<OemAdapterInfoElement> elements;
  if (result == 0 && count > 0) {
    // The array has no stated capacity: room for adapters that appear between
    // the two calls, and a check that none more did.
    size_t room = static_cast<size_t>(count) + 8;
    elements.assign(room, OemAdapterInfoElement{});
    int32_t filled = 0;
    result = host.adapterInfo(elements.data(), &filled, firmware_wide.c_str());
    if (filled < 0 || static_cast<size_t>(filled) > room) {
      return Fail(options, kExitFailure, "the adapter count changed while it was read");
    }
    elements.resize(static_cast<size_t>(filled));
  }
  quiet.reset();

  nlohmann::json adapters = nlohmann::json::array();
  std::vector<std::vector<std::string>> rows;
  for (const OemAdapterInfoElement& element : elements) {
    nlohmann::json firmware_entries = nlohmann::json::array();
    std::string current, image, file;
    for (uint32_t j = 0; j < element.firmwareCount && j < OEM_MAX_FIRMWARE_ENTRIES; ++j) {
      const OemFirmwareEntry& entry = element.firmware[j];
      current = std::to_string(entry.currentMajor) + "." + std::to_string(entry.currentMinor) +
                "." + std::to_string(entry.currentBuild);
      image = std::to_string(entry.imageMajor) + "." + std::to_string(entry.imageMinor) + "." +
              std::to_string(entry.imageBuild);
      file = FieldText(entry.firmwareFile, 1024);
      firmware_entries.push_back({{"type", FieldText(entry.firmwareType, 256)},
                                  {"file", file},
                                  {"current", current},
                                  {"image", image}});
    }
    std::string name = FieldText(element.adapterName, 1024);
    std::string location = FieldText(element.interfaceText, 256);
    std::string mac = FieldText(element.macAddress, 20);
    char ids[64];
    std::snprintf(ids, sizeof ids, "%04X:%04X %04X:%04X", element.vendorId, element.deviceId,
                  element.subVendorId, element.subDeviceId);
    char pci[64];
    std::snprintf(pci, sizeof pci, "%04x:%02x:%02x.%x", element.segment, element.busNumber,
                  element.deviceNumber, element.functionNumber);
    adapters.push_back({{"name", name},
                        {"interface", location},
                        {"vendor_id", element.vendorId},
                        {"device_id", element.deviceId},
                        {"subsystem_vendor_id", element.subVendorId},
                        {"subsystem_id", element.subDeviceId},
                        {"segment", element.segment},
                        {"bus", element.busNumber},
                        {"device", element.deviceNumber},
                        {"function", element.functionNumber},
                        {"mac", mac},
                        {"firmware", firmware_entries}});
    rows.push_back({pci, name, ids, mac, current.empty() ? "-" : current,
                    image.empty() ? "-" : image, file.empty() ? "-" : file});
  }
  if (options.json) {
    PrintJson({{"result", ResultJson(host, result)}, {"count", count}, {"adapters", adapters}});
  } else if (result != 0) {
    std::fprintf(stderr, "skyfw: adapter information failed: %d %s\n", result,
                 host.ResultText(result).c_str());
  } else {
    PrintTable({"PCI", "NAME", "IDS", "MAC", "CURRENT", "IMAGE", "PACKAGE"}, rows);
  }
  return ExitCodeForResult(result);
}

void AddFirmwareOption(CLI::App* command, std::string& fw) {
  command->add_option("--fw", fw, "Firmware directory (default: the demo firmware beside skyfw)");
}

[[maybe_unused]] const bool registered = RegisterCommandGroup("host", [](CLI::App& app,
                                                                         GlobalOptions& options,
                                                                         int& exit_code) {
  auto discover = std::make_shared<DiscoverOptions>();
  auto* discover_command = app.add_subcommand(
      "discover", "Find the adapters and the package the plug-in would install on each");
  AddFirmwareOption(discover_command, discover->fw);
  discover_command->add_option("-o,--output", discover->output,
                               "Discovery document to write (default: discovery.xml)");
  discover_command->footer(ExitCodesHelp());
  discover_command->callback(
      [&options, &exit_code, discover] { exit_code = RunDiscover(options, *discover); });

  auto flash = std::make_shared<FlashOptions>();
  auto* flash_command = app.add_subcommand(
      "flash", "Discover, then install the proposed packages, one adapter at a time");
  AddFirmwareOption(flash_command, flash->fw);
  flash_command->add_option("--document", flash->document,
                            "Request document kept with the statuses (default: request.xml)");
  flash_command->add_option("--skip", flash->skip,
                            "Leave an adapter alone: its PCI location (as discover shows it), "
                            "its MAC, or all (repeatable)");
  flash_command->add_flag("--dry-run", flash->dryRun,
                          "Show what would be installed; install nothing");
  flash_command->footer(ExitCodesHelp());
  flash_command->callback([&options, &exit_code, flash] { exit_code = RunFlash(options, *flash); });

  auto flash_pci = std::make_shared<PciOptions>();
  auto* flash_pci_command =
      app.add_subcommand("flash-pci", "Install one package file on the adapter at the PCI numbers");
  flash_pci_command->add_option("PACKAGE", flash_pci->file, "Package file")->required();
  flash_pci_command->add_option("--pci", flash_pci->pci, "SEG:BUS:DEV.FN, hexadecimal")->required();
  flash_pci_command->footer(ExitCodesHelp());
  flash_pci_command->callback(
      [&options, &exit_code, flash_pci] { exit_code = RunPci(options, *flash_pci, false); });

  auto dump = std::make_shared<PciOptions>();
  auto* dump_command = app.add_subcommand(
      "dump", "Back the NVRAM of the adapter at the PCI numbers up into a package file");
  dump_command->add_option("FILE", dump->file, "Backup package file to create")->required();
  dump_command->add_option("--pci", dump->pci, "SEG:BUS:DEV.FN, hexadecimal")->required();
  dump_command->footer(ExitCodesHelp());
  dump_command->callback(
      [&options, &exit_code, dump] { exit_code = RunPci(options, *dump, true); });

  auto info_fw = std::make_shared<std::string>();
  auto* info_command =
      app.add_subcommand("info", "The adapter-information array the plug-in fills");
  AddFirmwareOption(info_command, *info_fw);
  info_command->footer(ExitCodesHelp());
  info_command->callback(
      [&options, &exit_code, info_fw] { exit_code = RunInfo(options, *info_fw); });
});

}  // namespace
}  // namespace skyfw::tool
