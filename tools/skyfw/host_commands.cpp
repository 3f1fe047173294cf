// The host commands: skyfw drives the plug-in through its exported entry
// points exactly as a vendor's update host does.
//
//   discover   discovery document and a table of the adapters
//   flash      discovery (or a prepared request), then install what it
//              proposes, one adapter per call, and read the versions back
//   flash-pci  one package onto the adapter at a PCI location
//   dump       back the adapter at a PCI location up into a package file
//   info       the adapter-information array

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "adapter_address.h"
#include "base/result_codes.h"
#include "base/text_conversion.h"
#include "command_output.h"
#include "command_registry.h"
#include "display_width.h"
#include "host_session.h"
#include "os/file_names.h"
#include "os/file_reader.h"
#include "os/file_writer.h"
#include "os/standard_streams.h"
#include "request_document.h"
#include "scratch_folder.h"

namespace skyfw::tool {
namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

// A UTF-8 text as the entry points take it (WCHAR units on Windows).
std::basic_string<OemChar16> Wide(const std::string& text) {
  std::u16string wide;
  Utf8ToUtf16(text, wide);
  return std::basic_string<OemChar16>(wide.begin(), wide.end());
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Or(const std::string& text, const char* empty) { return text.empty() ? empty : text; }

Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

// The one spelling of a MAC; the text as given when it is not one.
std::string MacShown(const std::string& text) {
  std::optional<MacAddress> mac = ParseMacAddress(text);
  return mac ? FormatMacAddress(*mac) : text;
}

std::string ActionColoured(const std::string& action) {
  if (action == "upgrade") return Coloured(action, "32");
  if (action == "downgrade") return Coloured(action, "33");
  return action;
}

// Columns padded by display width, so that names with accented or wide
// letters keep the table straight; the widths follow the longest value.
void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths(header.size());
  for (size_t c = 0; c < header.size(); ++c) widths[c] = DisplayWidth(header[c]);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  auto print_row = [&](const std::vector<std::string>& row, bool colour) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      std::string cell = c + 1 < row.size() ? PadToWidth(row[c], widths[c]) : row[c];
      // Colour wraps the padded cell, so that escapes never count as width.
      if (colour && header[c] == "ACTION") cell = ActionColoured(cell);
      if (colour && header[c] == "STATUS" && row[c].rfind("installed", 0) != 0 &&
          row[c].rfind("skipped", 0) != 0 && row[c].rfind("would", 0) != 0) {
        cell = Coloured(cell, "31");
      }
      line += cell;
      if (c + 1 < row.size()) line += "  ";
    }
    std::printf("%s\n", line.c_str());
  };
  print_row(header, false);
  for (const auto& row : rows) print_row(row, true);
}

// ---- adapters as the commands show them ------------------------------------

// Where an item stands in flash and flash-pci.
enum class InstallStatus {
  kNotAttempted,  // planned, but no call installed it (also before the plan)
  kSkipped,
  kWouldInstall,  // a dry run's plan
  kInstalled,
  kFailed,
  kPackageNotFound,
};

// The names --json prints, and the ones the text output starts from.
constexpr std::array<std::pair<InstallStatus, const char*>, 6> kInstallStatusNames = {{
    {InstallStatus::kNotAttempted, "not_attempted"},
    {InstallStatus::kSkipped, "skipped"},
    {InstallStatus::kWouldInstall, "would_install"},
    {InstallStatus::kInstalled, "installed"},
    {InstallStatus::kFailed, "failed"},
    {InstallStatus::kPackageNotFound, "package_not_found"},
}};

const char* InstallStatusName(InstallStatus status) {
  for (const auto& [value, name] : kInstallStatusNames) {
    if (value == status) return name;
  }
  return "failed";  // unreachable: the table names every status
}

// One row: an adapter with one firmware item of the document.
struct AdapterRow {
  size_t device = 0;  // index in the document
  size_t item = 0;    // index of the item in the device
  std::string pci;
  std::string mac;
  std::string product;
  std::string currentVersion;
  std::string package;
  std::string packageVersion;
  std::string action;
  // flash and flash-pci
  InstallStatus installStatus = InstallStatus::kNotAttempted;
  std::string reason;
  std::optional<int> code;
  std::vector<std::string> cause;
  bool hasCause = false;
  std::string versionAfter;
  bool readBack = false;
  bool inPlace = false;
};

std::vector<AdapterRow> RowsOf(const DiscoveryDocument& document) {
  std::vector<AdapterRow> rows;
  for (size_t d = 0; d < document.devices.size(); ++d) {
    const DocumentDevice& device = document.devices[d];
    for (size_t i = 0; i < device.items.size(); ++i) {
      const DocumentItem& item = device.items[i];
      AdapterRow row;
      row.device = d;
      row.item = i;
      row.pci = FormatPciLocation(device.location);
      row.mac = MacShown(device.mac);
      row.product = device.product;
      row.currentVersion = item.activeVersion;
      row.package = item.file;
      row.packageVersion = item.file.empty() ? std::string() : item.version;
      row.action = item.file.empty() ? std::string() : item.action;
      rows.push_back(row);
    }
  }
  return rows;
}

Json AdapterJson(const AdapterRow& row, bool with_install, bool with_read_back) {
  Json adapter = {{"pci", row.pci},
                  {"mac", TextOrNull(row.mac)},
                  {"product", row.product},
                  {"current_version", TextOrNull(row.currentVersion)},
                  {"package", TextOrNull(row.package)},
                  {"package_version", TextOrNull(row.packageVersion)},
                  {"action", TextOrNull(row.action)}};
  if (with_install) {
    Json install = {{"status", InstallStatusName(row.installStatus)},
                    {"code", row.code ? Json(*row.code) : Json()}};
    if (!row.reason.empty()) install["reason"] = row.reason;
    if (row.hasCause) install["cause"] = row.cause;
    adapter["install"] = install;
  }
  if (with_read_back) {
    adapter["version_after"] = row.readBack ? TextOrNull(row.versionAfter) : Json();
    adapter["in_place"] = row.inPlace;
    adapter["pending_reboot"] = row.inPlace;
  }
  return adapter;
}

Json AdaptersJson(const std::vector<AdapterRow>& rows, bool with_install, bool with_read_back) {
  Json adapters = Json::array();
  for (const AdapterRow& row : rows)
    adapters.push_back(AdapterJson(row, with_install, with_read_back));
  return adapters;
}

// Runs a discovery into path; the plug-in's result.
int32_t Discover(const GlobalOptions& options, const HostPlugin& host, const std::string& path,
                 const std::string& firmware) {
  PluginOutputToStderr quiet(options.json);
  return host.discover(Wide(path).c_str(), Wide(firmware).c_str());
}

// A failure the plug-in answered with: its result and the trace lines of the
// call.
CommandError PluginError(const HostPlugin& host, const std::string& what, int32_t result,
                         const TraceWindow& trace) {
  CommandError error;
  error.message = what + ": " + std::to_string(result) + " " + host.ResultText(result);
  error.result = ResultJson(host, result);
  error.has_cause = trace.active();
  if (trace.active()) error.cause = trace.CauseLines();
  return error;
}

// Versions on the adapters now, by PCI location, from a fresh discovery into
// the scratch folder (the user's documents stay as they are).
std::map<std::string, std::string> ReadVersionsBack(const GlobalOptions& options,
                                                    const HostPlugin& host,
                                                    const ScratchFolder& scratch) {
  std::map<std::string, std::string> versions;
  const std::string path = scratch.File("read-back.xml");
  if (Discover(options, host, path, scratch.EmptyFolder()) != kHostSuccess) return versions;
  DiscoveryDocument document;
  std::string error;
  if (!ReadDiscoveryDocument(path, document, error)) return versions;
  for (const DocumentDevice& device : document.devices) {
    if (!device.items.empty()) {
      versions[FormatPciLocation(device.location)] = device.items.front().activeVersion;
    }
  }
  return versions;
}

void ApplyReadBack(std::vector<AdapterRow>& rows,
                   const std::map<std::string, std::string>& versions) {
  for (AdapterRow& row : rows) {
    auto found = versions.find(row.pci);
    row.readBack = found != versions.end();
    if (row.readBack) row.versionAfter = found->second;
    row.inPlace = row.readBack && row.installStatus == InstallStatus::kInstalled &&
                  !row.packageVersion.empty() && row.versionAfter == row.packageVersion;
  }
}

bool AnyPendingReboot(const std::vector<AdapterRow>& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const AdapterRow& row) { return row.inPlace; });
}

std::string AdapterList(const std::vector<AdapterRow>& rows) {
  std::string list;
  for (const AdapterRow& row : rows) {
    if (row.item != 0) continue;
    list += (list.empty() ? "" : ", ") + row.pci + (row.mac.empty() ? "" : " (" + row.mac + ")");
  }
  return list.empty() ? "none" : list;
}

void PrintReadBack(const std::vector<AdapterRow>& rows) {
  for (const AdapterRow& row : rows) {
    if (row.installStatus != InstallStatus::kInstalled) continue;
    if (row.inPlace) {
      std::printf("%s: %s in place (pending reboot)\n", row.pci.c_str(), row.versionAfter.c_str());
    } else {
      std::printf("%s: %s NOT in place (the adapter reports %s)\n", row.pci.c_str(),
                  row.packageVersion.c_str(), Or(row.versionAfter, "no version").c_str());
    }
  }
}

// ---- discover ---------------------------------------------------------------

struct DiscoverOptions {
  std::string fw;
  std::string output = "discovery.xml";
};

int RunDiscover(const GlobalOptions& options, const DiscoverOptions& discover) {
  ScratchFolder scratch;
  HostPlugin host;
  if (int status = OpenHost(options, host, scratch.File("trace.log")); status != kExitOk) {
    return status;
  }
  std::string firmware = FirmwareDirectory(discover.fw);
  TraceWindow trace(host.tracePath);
  int32_t result = Discover(options, host, discover.output, firmware);
  Json body = {{"document", discover.output},
               {"firmware", firmware},
               {"result", ResultJson(host, result)},
               {"adapters", Json::array()}};
  if (result != kHostSuccess) {
    return Fail(options, ExitCodeForResult(result),
                PluginError(host, "discovery failed", result, trace), body);
  }
  DiscoveryDocument document;
  std::string error;
  if (!ReadDiscoveryDocument(discover.output, document, error)) {
    return Fail(options, kExitDocument, error, body);
  }
  std::vector<AdapterRow> rows = RowsOf(document);
  if (options.json) {
    body["adapters"] = AdaptersJson(rows, false, false);
    EmitJson(options, body, kExitOk);
    return kExitOk;
  }
  std::vector<std::vector<std::string>> table;
  for (const AdapterRow& row : rows) {
    table.push_back({row.pci, row.product, Or(row.mac, "-"), Or(row.currentVersion, "-"),
                     Or(row.package, "-"), Or(row.packageVersion, "-"), Or(row.action, "-")});
  }
  PrintTable({"PCI LOCATION", "PRODUCT", "MAC", "CURRENT", "PACKAGE", "VERSION", "ACTION"}, table);
  std::printf("\n%zu adapter(s); discovery document: %s\n", document.devices.size(),
              discover.output.c_str());
  return kExitOk;
}

// ---- flash ------------------------------------------------------------------

struct FlashOptions {
  std::string fw;
  std::string document;
  std::string request;
  std::vector<std::string> skip;
  bool dryRun = false;
  bool allowReinstall = false;
  bool allowOlder = false;
};

// Shows which adapter is being flashed: one rewritten line on a terminal,
// plain lines otherwise, nothing under --json.
class Progress {
 public:
  explicit Progress(bool quiet) : quiet_(quiet), terminal_(platform::StandardOutputIsTerminal()) {}
  void Start(size_t n, size_t total, const AdapterRow& row) {
    if (quiet_) return;
    std::string line = "[" + std::to_string(n) + "/" + std::to_string(total) + "] flashing " +
                       row.pci + " " + row.product;
    char elapsed[64];
    std::snprintf(elapsed, sizeof elapsed, " (%.1fs elapsed)", Seconds(started_));
    line += elapsed;
    if (terminal_) {
      std::printf("\r\033[K%s", line.c_str());
      std::fflush(stdout);
    } else {
      std::printf("%s\n", line.c_str());
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

// The worse of two flash results: a call that could not run at all (the
// request not readable, the adapter library or the discovery failing) over a
// failed installation over a missing file over success.
int32_t Worse(int32_t a, int32_t b) {
  auto rank = [](int32_t r) {
    if (r == kHostSuccess || r == kHostSuccessRebootRequired) return 0;
    if (r == kHostFirmwareFileNotFound) return 1;
    if (r == kHostFlashFailed) return 2;
    return 3;
  };
  return rank(b) > rank(a) ? b : a;
}

// One --skip entry: all, a PCI location or a MAC.
struct SkipEntry {
  std::string text;
  bool all = false;
  std::optional<PciLocation> location;
  std::optional<MacAddress> mac;
  bool matched = false;
};

std::optional<SkipEntry> ParseSkipEntry(const std::string& text) {
  SkipEntry entry;
  entry.text = text;
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  entry.all = lower == "all";
  entry.location = ParsePciLocation(text);
  entry.mac = ParseMacAddress(text);
  if (!entry.all && !entry.location && !entry.mac) return std::nullopt;
  return entry;
}

bool SkipMatches(SkipEntry& entry, const DocumentDevice& device) {
  bool match = entry.all || (entry.location && *entry.location == device.location) ||
               (entry.mac && ParseMacAddress(device.mac) == entry.mac);
  entry.matched = entry.matched || match;
  return match;
}

// Why an item is left alone, or empty when it is to be installed.
std::string SkipReason(const FlashOptions& flash, bool skipped_by_user, const DocumentItem& item) {
  if (skipped_by_user) return "--skip";
  std::string action = item.action;
  for (char& c : action) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (action == "skip") return "marked skip in the request";
  if (item.file.empty()) return "no package";
  // A prepared request is processed as the user wrote it.
  if (!flash.request.empty()) return {};
  if (action == "rewrite" && !flash.allowReinstall) return "rewrite needs --allow-reinstall";
  if (action == "downgrade" && !flash.allowOlder) return "downgrade needs --allow-older";
  return {};
}

// The status as the table shows it: its name in words, with the reason or
// the code.
std::string StatusShown(const AdapterRow& row) {
  std::string shown = InstallStatusName(row.installStatus);
  std::replace(shown.begin(), shown.end(), '_', ' ');
  if (row.installStatus == InstallStatus::kSkipped) return shown + " (" + row.reason + ")";
  if (row.installStatus == InstallStatus::kFailed && row.code) {
    return shown + " (" + std::to_string(*row.code) + ")";
  }
  return shown;
}

// What flash is to do: every row with its status (skipped, with the reason,
// or to be installed), the devices to install on in order, and the request
// with the items left alone marked "skip".
struct FlashPlan {
  std::vector<AdapterRow> rows;
  std::vector<size_t> devices;  // indexes in the document
  RequestDocument request;
};

// Plans from a new discovery into the scratch folder, or from the prepared
// request. kExitOk, or the exit code of the failure it has reported (with
// body as it stands).
int PlanFlash(const GlobalOptions& options, const FlashOptions& flash, const HostPlugin& host,
              const ScratchFolder& scratch, const std::string& firmware,
              std::vector<SkipEntry> skips, Json& body, FlashPlan& plan) {
  std::string source = flash.request;
  if (source.empty()) {
    source = scratch.File("discovery.xml");
    TraceWindow trace(host.tracePath);
    int32_t discovered = Discover(options, host, source, firmware);
    if (discovered != kHostSuccess) {
      body["result"] = ResultJson(host, discovered);
      return Fail(options, ExitCodeForResult(discovered),
                  PluginError(host, "discovery failed", discovered, trace), body);
    }
  }
  DiscoveryDocument document;
  std::string error;
  if (!ReadDiscoveryDocument(source, document, error) || !plan.request.Read(source)) {
    return Fail(options, kExitDocument, "cannot read the request document " + source, body);
  }

  // What to install: every item not left alone, and why the others are.
  plan.rows = RowsOf(document);
  std::vector<bool> skipped_by_user(document.devices.size(), false);
  for (size_t d = 0; d < document.devices.size(); ++d) {
    for (SkipEntry& entry : skips) {
      if (SkipMatches(entry, document.devices[d])) skipped_by_user[d] = true;
    }
  }
  for (const SkipEntry& entry : skips) {
    if (!entry.matched) {
      body["adapters"] = AdaptersJson(plan.rows, false, false);
      return Fail(options, kExitUsage,
                  "--skip " + entry.text + " matches no adapter; the adapters are " +
                      AdapterList(plan.rows),
                  body);
    }
  }
  for (size_t d = 0; d < document.devices.size(); ++d) {
    std::vector<std::string> left_alone;
    bool installs = false;
    for (AdapterRow& row : plan.rows) {
      if (row.device != d) continue;
      const DocumentItem& item = document.devices[d].items[row.item];
      row.reason = SkipReason(flash, skipped_by_user[d], item);
      if (!row.reason.empty()) {
        row.installStatus = InstallStatus::kSkipped;
        left_alone.push_back(item.file);
      } else {
        row.installStatus =
            flash.dryRun ? InstallStatus::kWouldInstall : InstallStatus::kNotAttempted;
        installs = true;
      }
    }
    plan.request.MarkSkipped(d, [&](const std::string& file) {
      return std::find(left_alone.begin(), left_alone.end(), file) != left_alone.end();
    });
    if (installs) plan.devices.push_back(d);
  }
  return kExitOk;
}

// Installs the plan one device per call (each call gets a request holding
// that device alone), takes each call's statuses into the rows and the
// request, writes the request to output and reads the versions back. outcome
// goes in as the plan's result and comes out as the worst of it and the
// calls'. kExitOk, or the exit code of the failure it has reported.
int InstallPlan(const GlobalOptions& options, const HostPlugin& host, const ScratchFolder& scratch,
                const std::string& firmware, const std::string& output, const Json& body,
                FlashPlan& plan, int32_t& outcome) {
  std::vector<AdapterRow>& rows = plan.rows;
  Progress progress(options.json);
  const std::string single = scratch.File("device.xml");
  for (size_t n = 0; n < plan.devices.size(); ++n) {
    const size_t d = plan.devices[n];
    const auto first_row = std::find_if(rows.begin(), rows.end(),
                                        [&](const AdapterRow& row) { return row.device == d; });
    progress.Start(n + 1, plan.devices.size(), *first_row);
    if (!plan.request.WriteSingleDevice(d, single)) {
      return Fail(options, kExitDocument, "cannot write the request document " + single, body);
    }
    TraceWindow trace(host.tracePath);
    int32_t result = kHostSuccess;
    {
      PluginOutputToStderr quiet(options.json);
      result = host.flash(Wide(single).c_str(), Wide(firmware).c_str());
    }
    outcome = Worse(outcome, result);
    plan.request.TakeStatuses(d, single);
    DiscoveryDocument statuses;
    std::string error;
    bool have_statuses =
        ReadDiscoveryDocument(single, statuses, error) && !statuses.devices.empty();
    for (AdapterRow& row : rows) {
      if (row.device != d || row.installStatus == InstallStatus::kSkipped) continue;
      std::string status;
      if (have_statuses && row.item < statuses.devices.front().items.size()) {
        status = statuses.devices.front().items[row.item].actionStatus;
      }
      if (!status.empty()) {
        row.code = std::atoi(status.c_str());
        row.installStatus = *row.code == kHostSuccessRebootRequired ? InstallStatus::kInstalled
                                                                    : InstallStatus::kFailed;
      } else {
        // The package was not under the firmware path, or the call did not
        // get as far as this adapter (or the plug-in does not know it).
        row.installStatus = result == kHostFirmwareFileNotFound ? InstallStatus::kPackageNotFound
                                                                : InstallStatus::kNotAttempted;
      }
      if (row.installStatus != InstallStatus::kInstalled && trace.active()) {
        row.hasCause = true;
        row.cause = trace.CauseLines();
      }
    }
  }
  progress.Done(plan.devices.size());
  plan.request.SetTakesEffect("immediate");
  if (!plan.request.Write(output)) {
    return Fail(options, kExitDocument, "cannot write the request document " + output, body);
  }
  ApplyReadBack(rows, ReadVersionsBack(options, host, scratch));
  return kExitOk;
}

// The answer, as JSON or as the table followed by the read-back, the causes
// of what failed and the result; the exit code.
int ReportFlash(const GlobalOptions& options, const FlashOptions& flash, const HostPlugin& host,
                const FlashPlan& plan, int32_t outcome, Json body) {
  const std::vector<AdapterRow>& rows = plan.rows;
  const bool reboot = AnyPendingReboot(rows);
  const int exit_code = flash.dryRun ? kExitOk : ExitCodeForResult(outcome);
  body["reboot_required"] = reboot;
  body["adapters"] = AdaptersJson(rows, true, !flash.dryRun);
  if (!flash.dryRun) body["result"] = ResultJson(host, outcome);
  if (options.json) {
    CommandError failure;
    if (exit_code != kExitOk) {
      size_t failed = 0;
      for (const AdapterRow& row : rows) {
        if (row.installStatus == InstallStatus::kFailed ||
            row.installStatus == InstallStatus::kPackageNotFound ||
            row.installStatus == InstallStatus::kNotAttempted) {
          ++failed;
          failure.cause.insert(failure.cause.end(), row.cause.begin(), row.cause.end());
        }
      }
      failure.message = std::to_string(failed) + " of " + std::to_string(plan.devices.size()) +
                        " adapter(s) not flashed: " + std::to_string(outcome) + " " +
                        host.ResultText(outcome);
      failure.result = ResultJson(host, outcome);
      failure.has_cause = !host.tracePath.empty();
    }
    EmitJson(options, body, exit_code, &failure);
    return exit_code;
  }

  std::vector<std::vector<std::string>> table;
  for (const AdapterRow& row : rows) {
    std::vector<std::string> line = {row.pci,
                                     row.product,
                                     Or(row.currentVersion, "-"),
                                     Or(row.package, "-"),
                                     Or(row.packageVersion, "-"),
                                     Or(row.action, "-"),
                                     StatusShown(row)};
    table.push_back(line);
  }
  PrintTable({"PCI LOCATION", "PRODUCT", "CURRENT", "PACKAGE", "VERSION", "ACTION", "STATUS"},
             table);
  if (flash.dryRun) {
    std::printf("\ndry run: %zu adapter(s) would be flashed; nothing was installed or written\n",
                plan.devices.size());
    return kExitOk;
  }
  if (plan.devices.empty()) std::printf("\nnothing to install\n");
  std::printf("\n");
  PrintReadBack(rows);
  for (const AdapterRow& row : rows) {
    if (row.cause.empty()) continue;
    std::printf("%s: %s:\n", row.pci.c_str(), StatusShown(row).c_str());
    for (const std::string& line : row.cause) std::printf("  %s\n", line.c_str());
  }
  std::printf("result %d: %s\n", outcome, host.ResultText(outcome).c_str());
  if (reboot) std::printf("A reboot is required for the new firmware to take effect.\n");
  return exit_code;
}

int RunFlash(const GlobalOptions& options, const FlashOptions& flash) {
  std::vector<SkipEntry> skips;
  for (const std::string& text : flash.skip) {
    std::optional<SkipEntry> entry = ParseSkipEntry(text);
    if (!entry) {
      return Fail(options, kExitUsage,
                  "--skip " + text +
                      ": give a PCI location (0000:03:00.0, 03:00.0 or 0000:03:00:0), a MAC "
                      "(02:0a:3b:1c:2d:4e or 020a3b1c2d4e) or all");
    }
    skips.push_back(*entry);
  }
  ScratchFolder scratch;
  if (!scratch.ok()) return Fail(options, kExitFailure, "cannot create a temporary folder");
  HostPlugin host;
  if (int status = OpenHost(options, host, scratch.File("trace.log")); status != kExitOk) {
    return status;
  }
  const std::string firmware = FirmwareDirectory(flash.fw);
  // Statuses are kept in --document; a prepared request keeps its own unless
  // --document names another file. A dry run writes nothing.
  const std::string output = !flash.document.empty()
                                 ? flash.document
                                 : (!flash.request.empty() ? flash.request : "request.xml");
  Json body = {{"dry_run", flash.dryRun},
               {"document", flash.dryRun ? Json() : Json(output)},
               {"firmware", firmware},
               {"reboot_required", false},
               {"adapters", Json::array()}};

  // Planning and installing are separate steps: whatever must hold the
  // machine across both, or ask before anything is installed, goes around
  // them or between them.
  FlashPlan plan;
  if (int status = PlanFlash(options, flash, host, scratch, firmware, std::move(skips), body, plan);
      status != kExitOk) {
    return status;
  }
  // Nothing to install is a success that needs no reboot.
  int32_t outcome = plan.devices.empty() ? kHostSuccess : kHostSuccessRebootRequired;
  if (!flash.dryRun) {
    if (int status = InstallPlan(options, host, scratch, firmware, output, body, plan, outcome);
        status != kExitOk) {
      return status;
    }
  }
  return ReportFlash(options, flash, host, plan, outcome, std::move(body));
}

// ---- flash-pci and dump -------------------------------------------------------

struct PciOptions {
  std::string file;
  std::string pci;
  bool allowOlder = false;
};

const char* kPciHelp =
    "SEG:BUS:DEV.FN, BUS:DEV.FN or SEG:BUS:DEV:FN, hexadecimal (e.g. 0000:03:00.0)";

// The adapter at location as a discovery with the firmware folder shows it; nullopt when the
// discovery fails or does not list it.
std::optional<AdapterRow> AdapterAt(const GlobalOptions& options, const HostPlugin& host,
                                    const ScratchFolder& scratch, const PciLocation& location,
                                    const std::string& firmware) {
  const std::string path = scratch.File("adapter.xml");
  if (Discover(options, host, path, firmware) != kHostSuccess) return std::nullopt;
  DiscoveryDocument document;
  std::string error;
  if (!ReadDiscoveryDocument(path, document, error)) return std::nullopt;
  for (const AdapterRow& row : RowsOf(document)) {
    if (row.pci == FormatPciLocation(location)) return row;
  }
  return std::nullopt;
}

// A folder in the scratch folder holding a copy of package alone; the empty
// folder when the package cannot be copied (the install then says why). The
// copy is read as a regular file and written by the one writer, like every
// file the program makes.
std::string FolderWithOnly(const ScratchFolder& scratch, const std::string& package) {
  const std::filesystem::path folder = platform::PathFromUtf8(scratch.path()) / "candidate";
  std::error_code error;
  std::filesystem::create_directory(folder, error);
  if (error) return scratch.EmptyFolder();
  const std::string copy = platform::FromFileSystemPath(
      folder / platform::PathFromUtf8(package).filename());
  std::vector<uint8_t> bytes;
  if (platform::ReadRegularFile(package, bytes) != 0) return scratch.EmptyFolder();
  if (platform::WriteWholeFile(copy, bytes) != 0) return scratch.EmptyFolder();
  return platform::FromFileSystemPath(folder);
}

int RunPci(const GlobalOptions& options, const PciOptions& pci, bool backup) {
  std::optional<PciLocation> location = ParsePciLocation(pci.pci);
  if (!location) return Fail(options, kExitUsage, "--pci " + pci.pci + ": give " + kPciHelp);
  ScratchFolder scratch;
  if (!scratch.ok()) return Fail(options, kExitFailure, "cannot create a temporary folder");
  HostPlugin host;
  if (int status = OpenHost(options, host, scratch.File("trace.log")); status != kExitOk) {
    return status;
  }
  // What the adapter carries and, for an install, what the package would do
  // to it, as the plug-in itself judges it.
  // (Discovery takes a folder: the package alone, copied into one.)
  AdapterRow row = AdapterAt(options, host, scratch, *location,
                             backup ? scratch.EmptyFolder() : FolderWithOnly(scratch, pci.file))
                       .value_or(AdapterRow{});
  row.pci = FormatPciLocation(*location);
  if (backup) {
    row.package.clear();
    row.packageVersion.clear();
    row.action.clear();
  } else {
    row.package = pci.file;
  }
  Json body = {{"adapters", Json::array()}};
  if (!backup && row.action == "downgrade" && !pci.allowOlder) {
    body["adapters"].push_back(AdapterJson(row, false, false));
    return Fail(options, kExitUsage,
                pci.file + " would downgrade " + row.pci + " from " + row.currentVersion + " to " +
                    row.packageVersion + "; give --allow-older to do so",
                body);
  }

  auto started = Clock::now();
  TraceWindow trace(host.tracePath);
  int32_t result = kHostSuccess;
  {
    PluginOutputToStderr quiet(options.json);
    result = backup
                 ? host.flashDumpPci(
                       Wide(pci.file).c_str(), nullptr, static_cast<int32_t>(location->segment),
                       static_cast<int32_t>(location->bus), static_cast<int32_t>(location->device),
                       static_cast<int32_t>(location->function))
                 : host.fullFlashPci(
                       Wide(pci.file).c_str(), nullptr, static_cast<int32_t>(location->segment),
                       static_cast<int32_t>(location->bus), static_cast<int32_t>(location->device),
                       static_cast<int32_t>(location->function));
  }
  const double seconds = Seconds(started);
  // The backup answers with 0 or a negative package status, which the
  // result table does not name.
  Json result_json = ResultJson(host, result);
  if (backup && result == kHostSuccess) result_json["text"] = "the backup was written";
  if (result < 0) {
    result_json["text"] = "the backup failed (package status " + std::to_string(result) + ")";
  }
  const bool succeeded = backup ? result == kHostSuccess : result == kHostSuccessRebootRequired;
  CommandError failure;
  if (!succeeded) {
    failure =
        PluginError(host, backup ? "the backup failed" : "the installation failed", result, trace);
    failure.message = (backup ? "the backup of " : "the installation on ") + row.pci +
                      " failed: " + result_json["text"].get<std::string>();
    failure.result = result_json;
  }
  if (backup) {
    Json backup_json = {
        {"status", succeeded ? "written" : "failed"}, {"code", result}, {"file", pci.file}};
    if (!succeeded && failure.has_cause) backup_json["cause"] = failure.cause;
    Json adapter = AdapterJson(row, false, false);
    for (const char* field : {"package", "package_version", "action"}) adapter.erase(field);
    adapter["backup"] = backup_json;
    body["adapters"].push_back(adapter);
  } else {
    row.installStatus =
        result == kHostSuccessRebootRequired ? InstallStatus::kInstalled : InstallStatus::kFailed;
    row.code = result;
    if (!succeeded) {
      row.hasCause = failure.has_cause;
      row.cause = failure.cause;
    }
    std::vector<AdapterRow> rows = {row};
    ApplyReadBack(rows, ReadVersionsBack(options, host, scratch));
    row = rows.front();
    body["adapters"].push_back(AdapterJson(row, true, true));
    body["reboot_required"] = row.inPlace;
  }
  body["result"] = result_json;
  body["seconds"] = seconds;
  const int exit_code = ExitCodeForResult(result);

  if (options.json) {
    EmitJson(options, body, exit_code, succeeded ? nullptr : &failure);
    return exit_code;
  }
  if (!succeeded) return Fail(options, exit_code, failure);
  std::printf("result %d: %s\n", result, result_json["text"].get<std::string>().c_str());
  if (backup) {
    std::printf("backup of %s written to %s\n", row.pci.c_str(), pci.file.c_str());
  } else {
    std::vector<AdapterRow> rows = {row};
    PrintReadBack(rows);
    if (row.inPlace) std::printf("A reboot is required for the new firmware to take effect.\n");
  }
  return exit_code;
}

// ---- info -------------------------------------------------------------------

// A fixed wide field of the host's structures as UTF-8.
template <typename Unit, size_t N>
std::string FieldText(const Unit (&field)[N]) {
  return Utf16ToUtf8(TextFieldOf(field));
}

std::string Hex4(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

int RunInfo(const GlobalOptions& options, const std::string& fw) {
  ScratchFolder scratch;
  HostPlugin host;
  if (int status = OpenHost(options, host, scratch.File("trace.log")); status != kExitOk) {
    return status;
  }
  std::string firmware = FirmwareDirectory(fw);
  const std::basic_string<OemChar16> firmware_wide = Wide(firmware);

  TraceWindow trace(host.tracePath);
  int32_t count = 0;
  std::optional<PluginOutputToStderr> quiet;
  quiet.emplace(options.json);
  int32_t result = host.adapterInfo(nullptr, &count, firmware_wide.c_str());
  std::vector<OemAdapterInfoElement> elements;
  if (result == kHostSuccess && count > 0) {
    // The array has no stated capacity: room for adapters that appear between
    // the two calls, and a check that none more did.
    size_t room = static_cast<size_t>(count) + 8;
    elements.assign(room, OemAdapterInfoElement{});
    int32_t filled = 0;
    result = host.adapterInfo(elements.data(), &filled, firmware_wide.c_str());
    if (filled < 0 || static_cast<size_t>(filled) > room) {
      quiet.reset();
      return Fail(options, kExitFailure, "the adapter count changed while it was read");
    }
    elements.resize(static_cast<size_t>(filled));
  }
  quiet.reset();

  Json adapters = Json::array();
  std::vector<std::vector<std::string>> rows;
  for (const OemAdapterInfoElement& element : elements) {
    Json firmware_entries = Json::array();
    std::string current, image, file;
    for (uint32_t j = 0; j < element.firmwareCount && j < OEM_MAX_FIRMWARE_ENTRIES; ++j) {
      const OemFirmwareEntry& entry = element.firmware[j];
      current = std::to_string(entry.currentMajor) + "." + std::to_string(entry.currentMinor) +
                "." + std::to_string(entry.currentBuild);
      file = FieldText(entry.firmwareFile);
      image = file.empty()
                  ? std::string()
                  : std::to_string(entry.imageMajor) + "." + std::to_string(entry.imageMinor) +
                        "." + std::to_string(entry.imageBuild);
      firmware_entries.push_back({{"type", FieldText(entry.firmwareType)},
                                  {"package", TextOrNull(file)},
                                  {"current_version", current},
                                  {"package_version", TextOrNull(image)}});
    }
    const std::string name = FieldText(element.adapterName);
    const std::string mac = MacShown(FieldText(element.macAddress));
    const std::string pci = FormatPciLocation(
        {element.segment, element.busNumber, element.deviceNumber, element.functionNumber});
    adapters.push_back({{"pci", pci},
                        {"mac", TextOrNull(mac)},
                        {"product", name},
                        {"current_version", TextOrNull(current)},
                        {"package", TextOrNull(file)},
                        {"package_version", TextOrNull(image)},
                        {"interface", FieldText(element.interfaceText)},
                        {"vendor_id", Hex4(element.vendorId)},
                        {"device_id", Hex4(element.deviceId)},
                        {"subsystem_vendor_id", Hex4(element.subVendorId)},
                        {"subsystem_id", Hex4(element.subDeviceId)},
                        {"firmware", firmware_entries}});
    rows.push_back({pci, name,
                    Hex4(element.vendorId) + ":" + Hex4(element.deviceId) + " " +
                        Hex4(element.subVendorId) + ":" + Hex4(element.subDeviceId),
                    Or(mac, "-"), Or(current, "-"), Or(image, "-"), Or(file, "-")});
  }
  Json body = {
      {"firmware", firmware}, {"result", ResultJson(host, result)}, {"adapters", adapters}};
  if (result != kHostSuccess) {
    return Fail(options, ExitCodeForResult(result),
                PluginError(host, "adapter information failed", result, trace), body);
  }
  if (options.json) {
    EmitJson(options, body, kExitOk);
  } else {
    PrintTable({"PCI LOCATION", "PRODUCT", "IDS", "MAC", "CURRENT", "VERSION", "PACKAGE"}, rows);
  }
  return kExitOk;
}

void AddFirmwareOption(CLI::App* command, std::string& fw) {
  command->add_option("--fw", fw, "Firmware directory (default: the demo firmware)");
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
      "flash",
      "Discover, then install the proposed upgrades one adapter at a time, and read the "
      "versions back");
  AddFirmwareOption(flash_command, flash->fw);
  flash_command->add_option(
      "--document", flash->document,
      "Request document kept with the statuses (default: request.xml, or the --request file)");
  flash_command->add_option("--request", flash->request,
                            "Process this prepared request document as it is, without a new "
                            "discovery");
  flash_command->add_option("--skip", flash->skip,
                            "Leave an adapter alone: its PCI location, its MAC (with or without "
                            "colons) or all (repeatable; each must match an adapter)");
  flash_command->add_flag("--allow-reinstall", flash->allowReinstall,
                          "Also install packages of the version already on the adapter");
  flash_command->add_flag("--allow-older", flash->allowOlder,
                          "Also install packages older than the one on the adapter");
  flash_command->add_flag("--dry-run", flash->dryRun,
                          "Show what would be installed; install and write nothing");
  flash_command->footer(ExitCodesHelp());
  flash_command->callback([&options, &exit_code, flash] { exit_code = RunFlash(options, *flash); });

  auto flash_pci = std::make_shared<PciOptions>();
  auto* flash_pci_command =
      app.add_subcommand("flash-pci", "Install one package file on the adapter at a PCI location");
  flash_pci_command->add_option("PACKAGE", flash_pci->file, "Package file")->required();
  flash_pci_command->add_option("--pci", flash_pci->pci, kPciHelp)->required();
  flash_pci_command->add_flag("--allow-older", flash_pci->allowOlder,
                              "Install also when the package is older than the adapter's");
  flash_pci_command->footer(ExitCodesHelp());
  flash_pci_command->callback(
      [&options, &exit_code, flash_pci] { exit_code = RunPci(options, *flash_pci, false); });

  auto dump = std::make_shared<PciOptions>();
  auto* dump_command = app.add_subcommand(
      "dump", "Back the NVRAM of the adapter at a PCI location up into a package file");
  dump_command->add_option("FILE", dump->file, "Backup package file to create")->required();
  dump_command->add_option("--pci", dump->pci, kPciHelp)->required();
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
