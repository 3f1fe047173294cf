// A backup of an adapter holding 16 MiB of NVRAM data, through the whole
// oem_get_full_flash_dump_PCI call (library start, inventory, reading every
// item from the driver, writing the package beside the target and renaming
// it). Its peer is a plain copy of a file of the same size.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_machine.h"
#include "builders.h"
#include "host/entry_points.h"
#include "host/library_state.h"

namespace skyfw {
namespace {

constexpr int kBulkItems = 8;
constexpr size_t kNvramBytes = 16u << 20;

std::string Hex(const tool::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

// One Skyline S1 whose NVRAM holds 16 MiB of item data: its own few items
// and eight large ones of filler bytes.
void InstallBigNvramMachine() {
  nlohmann::json adapter = bench::SkylineS1Adapter(0);
  const size_t item_bytes = kNvramBytes / kBulkItems;
  for (int i = 0; i < kBulkItems; ++i) {
    adapter["nvram_items"].push_back(
        {{"type", 0x20 + i},
         {"length", item_bytes},
         {"hex", Hex(tool::FillerBytes(item_bytes, static_cast<uint32_t>(i)))}});
  }
  bench::InstallMachine("big-nvram", bench::MachineOf({adapter}, {bench::SkylineS1Port(0)}));
}

void BackupThroughEntryPoint(benchmark::State& state) {
  InstallBigNvramMachine();
  const std::filesystem::path target = bench::WorkDirectory() / "backup.pkg";
  const std::u16string path = bench::HostPath(target);
  LibraryLoad();
  for (auto _ : state) {
    if (GetFullFlashDumpPci(path.c_str(), 0, bench::kFirstBus, 0, 0) != 0) {
      state.SkipWithError("backup failed");
      break;
    }
  }
  LibraryUnload();
  platform::Install(nullptr);
  std::error_code error;
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(target, error));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kNvramBytes));
}
BENCHMARK(BackupThroughEntryPoint)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace skyfw

BENCHMARK_MAIN();
