// A discovery in package mode (no catalogue): every package file of the
// firmware directory is a candidate for every adapter. Compare 8 adapters
// against 1, each with the same 40 packages (256 KiB or 1 MiB), of which only
// the last passes verification (so every adapter tries all 40). With each
// file read and verified once per call, the 8-adapter discovery should cost
// at most about 1.5 times the 1-adapter one; what remains per adapter is the
// reading of its current version, which every candidate repeats.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "builders.h"
#include "host/entry_points.h"
#include "host/library_state.h"
#include "package/package_check_cache.h"
#include "platform/platform.h"
#include "sim/machine.h"

namespace skyfw {
namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 40;

fs::path WorkDirectory() {
  static const fs::path path = [] {
    fs::path dir =
        fs::temp_directory_path() / ("skyfw_discovery_bench_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
  }();
  return path;
}

void WriteBytes(const fs::path& path, const tool::Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  std::fclose(file);
}

// 40 packages for the S1 model with images of `payload` bytes; all but the
// last have a broken package CRC.
std::string FirmwareDirectory(size_t payload) {
  static std::map<size_t, std::string>* made = new std::map<size_t, std::string>();
  std::string& path = (*made)[payload];
  if (path.empty()) {
    fs::path dir = WorkDirectory() / ("firmware" + std::to_string(payload));
    fs::create_directories(dir);
    auto signer = tool::ImageSigner::Development();
    for (int i = 0; i < kPackages; ++i) {
      tool::PackagePlan plan;
      plan.version = "20.6.1";
      plan.device_ids = {0x0B04};
      plan.subsystem_vendor = 0x1D6A;
      plan.subsystem_id = 0x0002;
      tool::PackageItemPlan item;
      item.type = 6;
      item.data = tool::BuildTrailerSignedImage(*signer, 6, tool::FillerBytes(payload, 100 + i));
      plan.items.push_back(std::move(item));
      tool::Bytes bytes;
      if (tool::BuildPackage(plan, bytes) != NVCRETVAL_SUCCESS) std::abort();
      if (i + 1 < kPackages) bytes.back() ^= 0x01;
      char name[32];
      std::snprintf(name, sizeof name, "pkg-%02d.pkg", i);
      WriteBytes(dir / name, bytes);
    }
    path = dir.string();
  }
  return path;
}

// The demo machine's S1 adapter cloned `adapters` times, one port each.
std::string MachineJson(int adapters) {
  nlohmann::json demo = nlohmann::json::parse(sim::DemoMachineJson());
  nlohmann::json model_adapter;
  nlohmann::json model_device;
  for (const auto& adapter : demo["adapters"]) {
    if (adapter["id"] == "nx1") model_adapter = adapter;
  }
  for (const auto& device : demo["devices"]) {
    if (device.value("adapter", "") == "nx1") {
      model_device = device;
      break;
    }
  }
  nlohmann::json machine = demo;
  machine["adapters"] = nlohmann::json::array();
  machine["devices"] = nlohmann::json::array();
  for (int i = 0; i < adapters; ++i) {
    char text[64];
    nlohmann::json adapter = model_adapter;
    adapter["id"] = "nb" + std::to_string(i);
    std::snprintf(text, sizeof text, "0x1D6A0B0400B2D4%02X", i);
    adapter["nvm_option1"] = text;
    nlohmann::json device = model_device;
    device["adapter"] = adapter["id"];
    device["location"]["bus"] = 0x10 + i;
    std::snprintf(text, sizeof text, "PCI\\VEN_1D6A&DEV_0B04&SUBSYS_00021D6A&REV_01\\6&%08X&0&0028",
                  i);
    device["instance_id"] = text;
    device["description"] = "Norvane Skyline S1 10GbE Adapter #" + std::to_string(i + 1);
    device.erase("friendly_name");
    std::snprintf(text, sizeof text, "{9B4E7D21-3C5A-4E8F-A1B2-7C6D5E4F%04X}", i);
    device["class_values"]["NetCfgInstanceId"] = text;
    std::snprintf(text, sizeof text, "02:0A:3B:55:61:%02X", i);
    device["port"]["permanent_mac"] = text;
    machine["adapters"].push_back(adapter);
    machine["devices"].push_back(device);
  }
  return machine.dump(2);
}

// One machine per adapter count, opened once and kept for the process.
platform::Platform& Machine(int adapters) {
  static std::map<int, std::unique_ptr<platform::Platform>>* machines =
      new std::map<int, std::unique_ptr<platform::Platform>>();
  auto& platform = (*machines)[adapters];
  if (!platform) {
    fs::path dir = WorkDirectory() / ("machine" + std::to_string(adapters));
    std::string error;
    if (!sim::InitMachine(dir, MachineJson(adapters), error) ||
        !sim::OpenMachine(dir, platform, error)) {
      std::fprintf(stderr, "bench machine: %s\n", error.c_str());
      std::abort();
    }
  }
  return *platform;
}

void DiscoveryPackageMode(benchmark::State& state) {
  const int adapters = static_cast<int>(state.range(0));
  std::string firmware = FirmwareDirectory(static_cast<size_t>(state.range(1)) * 1024);
  platform::Install(&Machine(adapters));
  LibraryLoad();
  std::u16string document;
  for (char c : (WorkDirectory() / "discovery.xml").string()) document += static_cast<char16_t>(c);
  std::u16string directory(firmware.begin(), firmware.end());
  for (auto _ : state) {
    HostResultCode result = DoDiscoveryWithFiles(document.c_str(), directory.c_str());
    if (result != 0) {
      state.SkipWithError("discovery failed");
      break;
    }
  }
  state.counters["adapters"] = static_cast<double>(Library().inventory.size());
  state.counters["package_reads_per_call"] = static_cast<double>(CheckedPackageReads());
  LibraryUnload();
  platform::Install(nullptr);
}
// Arguments: adapters, image payload in KiB.
BENCHMARK(DiscoveryPackageMode)
    ->ArgsProduct({{1, 8}, {256, 1024}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace skyfw

BENCHMARK_MAIN();
