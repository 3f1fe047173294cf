// A discovery in package mode (no catalogue): every package file of the
// firmware directory is a candidate for every adapter. Compare 8 adapters
// against 1, each with the same 40 packages (256 KiB or 1 MiB), of which only
// the last passes verification (so every adapter tries all 40). Each file is
// read and verified once per call, whatever the number of adapters; what
// grows with the adapters is that every candidate reads the adapter's
// identity and installed version again (about five driver calls each, so
// some 200 per adapter). With 256 KiB packages these calls weigh as much as
// the verification and 8 adapters cost well over 1.5 times one; with 1 MiB
// packages the verification dominates and the ratio stays near 1.5.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench_machine.h"
#include "builders.h"
#include "host/entry_points.h"
#include "host/library_state.h"
#include "update/package_check_cache.h"

namespace skyfw {
namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 40;

// 40 packages for the S1 model with images of `payload` bytes; all but the
// last have a broken package CRC.
const fs::path& FirmwareDirectory(size_t payload) {
  static auto* made = new std::map<size_t, fs::path>();
  fs::path& path = (*made)[payload];
  if (path.empty()) {
    path = bench::WorkDirectory() / ("firmware" + std::to_string(payload));
    fs::create_directories(path);
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
      bench::WriteFile(path / name, bytes);
    }
  }
  return path;
}

// `adapters` Skyline S1 adapters, one port each.
void InstallMachineOf(int adapters) {
  std::vector<nlohmann::json> descriptions;
  std::vector<nlohmann::json> ports;
  for (int i = 0; i < adapters; ++i) {
    descriptions.push_back(bench::SkylineS1Adapter(i));
    ports.push_back(bench::SkylineS1Port(i));
  }
  bench::InstallMachine("machine" + std::to_string(adapters),
                        bench::MachineOf(descriptions, ports));
}

void DiscoveryPackageMode(benchmark::State& state) {
  const int adapters = static_cast<int>(state.range(0));
  const std::u16string directory =
      bench::HostPath(FirmwareDirectory(static_cast<size_t>(state.range(1)) * 1024));
  const std::u16string document = bench::HostPath(bench::WorkDirectory() / "discovery.xml");
  InstallMachineOf(adapters);
  LibraryLoad();
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
