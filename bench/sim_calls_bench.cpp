// What one call of the plug-in into the simulated machine costs, beside the
// system call every such call makes: a registry value read through an open
// key, a key opened and closed, and a driver method (a register read through
// the WMI transport, as the plug-in reads chip registers). The floor is one
// fstat of an open file, which each of these calls makes to see at once a
// registry or NVRAM file that another process, or a hand, changed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "bench_machine.h"
#include "nvm/nvm_operations.h"
#include "platform/platform.h"

namespace skyfw {
namespace {

constexpr const char* kKey = "SOFTWARE\\Norvane\\Bench";

void OneAdapterMachine() {
  bench::InstallMachine("calls", bench::MachineOf({bench::SkylineS1Adapter(0)},
                                                  {bench::SkylineS1Port(0)}));
  static const bool made = [] {
    std::unique_ptr<platform::RegistryKey> key;
    if (platform::Current().registry().CreateKey(kKey, platform::KEY_ALL_ACCESS, key, nullptr) !=
            platform::ERROR_SUCCESS ||
        key->SetValue("Count", platform::RegistryValue::Dword(7)) != platform::ERROR_SUCCESS) {
      std::abort();
    }
    return true;
  }();
  (void)made;
}

void RegistryQueryValue(benchmark::State& state) {
  OneAdapterMachine();
  std::unique_ptr<platform::RegistryKey> key;
  if (platform::Current().registry().OpenKey(kKey, platform::KEY_READ, key) !=
      platform::ERROR_SUCCESS) {
    state.SkipWithError("key not there");
    return;
  }
  platform::RegistryValue value;
  for (auto _ : state) {
    if (key->QueryValue("Count", value) != platform::ERROR_SUCCESS) state.SkipWithError("no value");
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(RegistryQueryValue);

void RegistryOpenKey(benchmark::State& state) {
  OneAdapterMachine();
  for (auto _ : state) {
    std::unique_ptr<platform::RegistryKey> key;
    if (platform::Current().registry().OpenKey(kKey, platform::KEY_READ, key) !=
        platform::ERROR_SUCCESS) {
      state.SkipWithError("key not there");
    }
    benchmark::DoNotOptimize(key);
  }
}
BENCHMARK(RegistryOpenKey);

void DriverRegisterRead(benchmark::State& state) {
  OneAdapterMachine();
  uint32_t value = 0;
  for (auto _ : state) {
    if (velonvmReadRegister("Norvane Skyline S1 10GbE Adapter #1", 0x10, value) !=
        NVCRETVAL_SUCCESS) {
      state.SkipWithError("register read failed");
      break;
    }
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(DriverRegisterRead);

void FstatOfAnOpenFile(benchmark::State& state) {
  const std::string path = (bench::WorkDirectory() / "stat-me").string();
  bench::WriteFile(path, {1, 2, 3});
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    state.SkipWithError("cannot open the file");
    return;
  }
  struct stat status {};
  for (auto _ : state) {
    benchmark::DoNotOptimize(::fstat(fd, &status));
  }
  ::close(fd);
}
BENCHMARK(FstatOfAnOpenFile);

}  // namespace
}  // namespace skyfw

BENCHMARK_MAIN();
