#include "system/sweep_scene.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "diag/trace_log.h"
#include "host/entry_points.h"
#include "host/library_state.h"
#include "host/xml_helpers.h"
#include "nmapi/library_state.h"
#include "nmapi/nmapi_log.h"
#include "package/package_verifier.h"
#include "platform/platform.h"
#include "sim/driver/nvram_file.h"
#include "sim/machine/machine.h"
#include "sim/machine/machine_mutexes.h"
#include "support/fault_injecting_platform.h"
#include "support/sim_adapter.h"
#include "support/temp_dir.h"

namespace skyfw::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAdapterId = "s2";
constexpr const char* kPackageName = "skyline-s2-21.8.0.pkg";
// Every run stamps the same time, so a successful install leaves the same bytes.
constexpr std::time_t kFixedNow = 1767225600;  // 2026-01-01 00:00:00 UTC

// The machine's common application-data folder, below its directory.
constexpr const char* kCommonAppData = "/ProgramData";

std::u16string U16(const std::string& text) { return {text.begin(), text.end()}; }

std::string AdapterLibraryLog(const RunPaths& paths) {
  return ReadFile(LogFolderPath(paths.machine + kCommonAppData) + "/ngnmapi.log");
}

// One S2 adapter, the first of the machine (its port on bus kBus).
MachineBuilder SweepMachine() {
  static_assert(kBus == 3);
  MachineBuilder builder;
  AddS2Adapter(
      builder, S2Adapter(kAdapterId, "SN0001", "21.6.2"), 0,
      {{"class_values", {{"Characteristics", 132}, {"ComponentId", "pci\\ven_1d6a&dev_0b10"}}}});
  return builder;
}

// The adapter's firmware as the sweep compares it: every NVRAM item but the
// update area, whose data only stages a package on its way in.
std::string FirmwareOf(const std::string& machine) {
  std::string bytes = ReadFile(machine + "/nvram/" + kAdapterId + ".nvram");
  sim::NvramFile file;
  std::string error;
  ByteView view(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!sim::DecodeNvramFile(view, file, error)) return "unreadable NVRAM: " + error;
  std::string state;
  for (const sim::NvramItem& item : file.nvram.items) {
    if (item.type == sim::kItemTypeUpdateArea) continue;
    state += "item " + std::to_string(item.type) + "/" + std::to_string(item.ordinal) + "/" +
             std::to_string(item.ext) + " attr " + std::to_string(item.attr) + " length " +
             std::to_string(item.item_length) + ": ";
    state.append(item.data.begin(), item.data.end());
    state += "\n";
  }
  return state;
}

std::set<std::string> FileNames(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

bool ResultFromTable(HostResultCode result, bool backs_up) {
  if (HostResultTextOf(result) != nullptr) return true;
  return backs_up && result < 0 && NvmStatusName(result) != nullptr;
}

bool IsSuccess(HostResultCode result) {
  return result == kHostSuccess || result == kHostSuccessRebootRequired;
}

void CheckAdapterLibraryStopped(HostResultCode result, const std::string& context) {
  NmapiState& state = State();
  EXPECT_EQ(state.referenceCount, 0u) << context;
  EXPECT_TRUE(state.adapters.empty()) << context;
  EXPECT_FALSE(state.instanceMutex) << context;
  EXPECT_FALSE(state.logMutex) << context;
  // Only a start that failed leaves its log open, for the next start or stop.
  if (result != kHostNmapiInitFailed) {
    EXPECT_FALSE(state.logFile) << context;
  }
}

// Every named mutex the machine has seen is free: nobody holds a handle or
// owns it, and another process can create and take it.
void CheckNoMutexHeld(const std::string& machine, const std::string& context) {
  std::unique_ptr<platform::Platform> outside;
  std::string error;
  ASSERT_TRUE(sim::OpenMachine(machine, outside, error)) << error;
  for (const sim::MutexState& mutex : sim::ListMutexes(machine)) {
    EXPECT_FALSE(mutex.exists || mutex.owned) << context << ": " << mutex.name;
    std::unique_ptr<platform::NamedMutex> handle;
    EXPECT_EQ(outside->mutexes().CreateMutex(nullptr, true, mutex.name, handle),
              platform::ERROR_SUCCESS)
        << context << ": " << mutex.name;
    if (handle) {
      EXPECT_EQ(handle->Release(), platform::ERROR_SUCCESS) << context;
    }
  }
}

// A fresh folder for the scene. The simulated machine syncs every file it
// writes; in memory (/dev/shm) that costs nothing, which makes the thousands
// of runs an order of magnitude faster than on a disk.
std::string MakeSceneFolder() {
  std::error_code error;
  fs::path folder;
  if (fs::is_directory("/dev/shm", error)) folder = MakeTempDirectory("skyfw-sweep-", "/dev/shm");
  if (folder.empty()) folder = MakeTempDirectory("skyfw-sweep-");
  if (folder.empty()) ADD_FAILURE() << "no scene folder";
  return folder.string();
}

}  // namespace

std::string SweepMachineJson() { return SweepMachine().Text(); }

SweepScene::SweepScene() {
  root_ = MakeSceneFolder();
  template_ = root_ + "/template";
  RunPaths paths = PathsIn(template_);
  fs::create_directories(paths.documents);
  fs::create_directories(paths.firmware);
  fs::create_directories(paths.catalogue);

  std::string error;
  if (!SweepMachine().WriteTo(paths.machine, error)) {
    ADD_FAILURE() << "machine description refused: " << error;
    return;
  }
  tool::Bytes package;
  if (tool::BuildPackage(S2Package("21.8.0"), package) != 0) {
    ADD_FAILURE() << "package not built";
    return;
  }
  WriteFile(paths.package, std::string(package.begin(), package.end()));
  fs::copy_file(paths.package, paths.catalogue + "/" + kPackageName);
  WriteFile(paths.catalogue + "/NICFWData.xml", R"(<?xml version="1.0"?>
<nic_fw_package>
  <a><nic name="Skyline S2" devid="0B10" subdevid="0001" nvm="21.8.0"
          nvmFile="skyline-s2-21.8.0.pkg"/></a>
</nic_fw_package>
)");

  // The adapter library's own log is on: its file and its mutex are then
  // part of every run, and its lines tell the story of a run that went wrong.
  std::string configuration = ConfigurationFilePath(paths.machine + kCommonAppData);
  fs::create_directories(fs::path(configuration).parent_path());
  WriteFile(configuration, "ngnmapi 1\n");
  // The documents a host has at hand: a discovery of this machine, which is
  // also the request (the upgrade is proposed), and an earlier backup.
  {
    std::unique_ptr<platform::Platform> machine;
    if (!sim::OpenMachine(paths.machine, machine, error)) {
      ADD_FAILURE() << "machine not opened: " << error;
      return;
    }
    platform::Install(machine.get());
    LibraryLoad();
    HostResultCode result =
        DoDiscoveryWithFiles(U16(paths.discovery).c_str(), U16(paths.firmware).c_str());
    LibraryUnload();
    platform::Install(nullptr);
    EXPECT_EQ(result, kHostSuccess) << "discovery of the scene:\n" << AdapterLibraryLog(paths);
  }
  fs::copy_file(paths.discovery, paths.request);
  WriteFile(paths.backup, "an earlier backup, kept until a new one is complete");
  for (const std::string& name : FileNames(paths.documents)) {
    documents_[name] = ReadFile(paths.documents + "/" + name);
  }
  factory_ = FirmwareOf(paths.machine);
}

SweepScene::~SweepScene() { RemoveTree(platform::PathFromUtf8(root_)); }

RunPaths SweepScene::PathsIn(const std::string& root) const {
  RunPaths paths;
  paths.machine = root + "/machine";
  paths.documents = root + "/documents";
  paths.discovery = paths.documents + "/discovery.xml";
  paths.request = paths.documents + "/request.xml";
  paths.backup = paths.documents + "/backup.pkg";
  paths.new_discovery = paths.documents + "/new-discovery.xml";
  paths.new_backup = paths.documents + "/new-backup.pkg";
  paths.trace = root + "/trace.log";
  // The firmware is read only: every run uses the template's.
  paths.firmware = template_ + "/firmware";
  paths.catalogue = template_ + "/catalogue";
  paths.package = paths.firmware + "/" + kPackageName;
  return paths;
}

RunOutcome SweepScene::Run(const EntryPoint& entry, uint64_t fail_at) {
  RunOutcome outcome;
  std::string root = root_ + "/run-" + std::to_string(++runs_);
  fs::create_directories(root);
  fs::copy(PathsIn(template_).machine, root + "/machine", fs::copy_options::recursive);
  fs::copy(PathsIn(template_).documents, root + "/documents", fs::copy_options::recursive);
  RunPaths paths = PathsIn(root);

  std::unique_ptr<platform::Platform> machine;
  std::string error;
  if (!sim::OpenMachine(paths.machine, machine, error)) {
    ADD_FAILURE() << "machine not opened: " << error;
    return outcome;
  }
  {
    FaultInjectingPlatform faults(*machine);
    faults.FixClock(kFixedNow);
    platform::Install(machine.get());
    LibraryLoad();
    GetDebugInfo(U16(paths.trace).c_str());

    // Only the entry point's own calls are counted.
    platform::Install(&faults);
    faults.FailCall(fail_at);
    outcome.result = entry.call(paths);
    platform::Install(machine.get());

    outcome.failable_calls = faults.FailableCalls();
    outcome.other_calls = faults.OtherCalls();
    outcome.injected = faults.FailureInjected();
    outcome.call_names = faults.CallNames();
    int64_t open_handles = faults.OpenHandles();
    int64_t com_initializations = faults.ComInitializations();

    std::string context = std::string(entry.name) + ", call " + std::to_string(fail_at);
    if (fail_at != 0 && fail_at <= outcome.call_names.size()) {
      context += " (" + outcome.call_names[fail_at - 1] + ")";
    }
    context += " failed, result " + std::to_string(outcome.result);
    EXPECT_EQ(open_handles, 0) << context << ": platform handles left open";
    EXPECT_EQ(com_initializations, 0) << context << ": COM left initialized";
    CheckAfterRun(entry, paths, fail_at, outcome, context);
    if (::testing::Test::HasFailure()) {
      // What the run said about itself, for the first run that went wrong.
      std::string names;
      for (uint64_t n = fail_at > 5 ? fail_at - 5 : 1; n <= fail_at + 5; ++n) {
        if (n > outcome.call_names.size()) break;
        names += "  " + std::to_string(n) + " " + outcome.call_names[n - 1] + "\n";
      }
      ADD_FAILURE() << context << "\ncalls around it:\n"
                    << names << "trace log:\n"
                    << ReadFile(paths.trace) << "adapter library log:\n"
                    << AdapterLibraryLog(paths);
    }

    LibraryUnload();
    platform::Install(nullptr);
  }
  machine.reset();
  RemoveTree(platform::PathFromUtf8(root));
  return outcome;
}

void SweepScene::CheckAfterRun(const EntryPoint& entry, const RunPaths& paths, uint64_t fail_at,
                               const RunOutcome& outcome, const std::string& context) {
  EXPECT_TRUE(ResultFromTable(outcome.result, entry.backs_up)) << context;
  CheckAdapterLibraryStopped(outcome.result, context);
  EXPECT_FALSE(TraceFileIsOpen()) << context;
  EXPECT_EQ(TraceLevelMask(), 0u) << context;
  CheckNoMutexHeld(paths.machine, context);

  // The host's folder holds what it held, and the file the call creates
  // only after a success: nothing half-written beside them.
  std::set<std::string> expected_names;
  for (const auto& [name, bytes] : documents_) expected_names.insert(name);
  std::string created = entry.creates == nullptr ? "" : paths.documents + "/" + entry.creates;
  if (!created.empty() && IsSuccess(outcome.result)) expected_names.insert(entry.creates);
  EXPECT_EQ(FileNames(paths.documents), expected_names) << context;
  std::map<std::string, std::string> changed;
  for (const auto& [name, before] : documents_) {
    std::string after = ReadFile(paths.documents + "/" + name);
    if (after != before) changed[paths.documents + "/" + name] = after;
  }
  if (!created.empty() && fs::exists(created)) changed[created] = ReadFile(created);
  for (const auto& [path, after] : changed) {
    if (path.ends_with(".pkg")) {
      // A backup lands only whole, and only when the call succeeds.
      EXPECT_EQ(outcome.result, kHostSuccess) << context << ": " << path;
      ByteView package(reinterpret_cast<const uint8_t*>(after.data()), after.size());
      EXPECT_EQ(VerifyPackage(package), 0) << context << ": " << path;
    } else {
      EXPECT_TRUE(XmlDocument(path)) << context << ": " << path << " is not well-formed";
    }
  }

  // The firmware is as it was, or exactly as the upgrade leaves it.
  std::string firmware = FirmwareOf(paths.machine);
  if (entry.installs && fail_at == 0) installed_ = firmware;  // what the upgrade leaves
  if (entry.installs) {
    bool as_installed = firmware == installed_;
    EXPECT_TRUE(firmware == factory_ || as_installed) << context << ": firmware torn";
    // A success that changed nothing would be a failure reported as success.
    if (IsSuccess(outcome.result)) {
      EXPECT_TRUE(as_installed) << context << ": success reported, firmware not installed";
    }
  } else {
    EXPECT_TRUE(firmware == factory_) << context << ": firmware changed";
  }
}

}  // namespace skyfw::testing
