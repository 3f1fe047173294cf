#include "bench_machine.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "base/text_conversion.h"
#include "sim/machine/machine.h"

namespace skyfw::bench {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "benchmark setup: %s\n", what.c_str());
  std::abort();
}

[[gnu::format(printf, 1, 2)]] std::string Printed(const char* format, ...) {
  char text[96];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace

const fs::path& WorkDirectory() {
  // On the heap and never destroyed: an exit handler registered while a
  // static is being made runs only after that static has been destroyed.
  static const fs::path* path = [] {
    auto* dir =
        new fs::path(fs::temp_directory_path() / ("skyfw_bench_" + std::to_string(getpid())));
    fs::remove_all(*dir);
    fs::create_directories(*dir);
    // Packages and NVRAM images come to tens of MiB; leave nothing behind.
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(WorkDirectory(), ignored);
    });
    return dir;
  }();
  return *path;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) Fail("cannot create " + path.string());
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) Fail("cannot write " + path.string());
}

std::u16string HostPath(const fs::path& path) {
  std::u16string text;
  if (!Utf8ToUtf16(path.string(), text)) Fail("not UTF-8: " + path.string());
  return text;
}

nlohmann::json SkylineS1Adapter(int index) {
  return {{"id", "s1-" + std::to_string(index)},
          {"pci",
           {{"vendor_id", "0x1D6A"},
            {"device_id", "0x0B04"},
            {"subsystem_id", "0x0002"},
            {"subsystem_vendor_id", "0x1D6A"},
            {"revision", "0x01"}}},
          {"nvm_option1", Printed("0x1D6A0B0400B2D4%02X", index)},
          {"vpd",
           {{"identifier", "Norvane Skyline S1 10GbE SFP+ Adapter"},
            {"read_only",
             {{"PN", "SKY-S1-10S"},
              {"EC", "B01"},
              {"MN", "1D6A"},
              {"SN", Printed("NV2307B%05d", index)},
              {"VA", "20.4.1"}}}}},
          {"package_log", {{"2023-11-14 09:20:03", "nvmupd", "20.4.1", "SKY-S1-10S", "ok"}}},
          {"nvram_items",
           {{{"type", 3}, {"length", 16384}, {"text", "SKYLINE BOOT 4.1.9"}},
            {{"type", 6}, {"length", 65536}, {"text", "SKYLINE S1 MAIN FIRMWARE"}}}}};
}

nlohmann::json SkylineS1Port(int index) {
  return {{"adapter", "s1-" + std::to_string(index)},
          {"location", {{"bus", kFirstBus + index}, {"device", 0}, {"function", 0}}},
          {"instance_id",
           Printed("PCI\\VEN_1D6A&DEV_0B04&SUBSYS_00021D6A&REV_01\\6&%08X&0&0028", index)},
          {"description", "Norvane Skyline S1 10GbE Adapter #" + std::to_string(index + 1)},
          {"class_values",
           {{"Characteristics", 132},
            {"ComponentId", "pci\\ven_1d6a&dev_0b04&subsys_00021d6a"},
            {"NetCfgInstanceId", Printed("{9B4E7D21-3C5A-4E8F-A1B2-7C6D5E4F%04X}", index)},
            {"DriverVersion", "2.14.3.0"}}},
          {"port", {{"permanent_mac", Printed("02:0A:3B:55:61:%02X", index)}}}};
}

nlohmann::json MachineOf(const std::vector<nlohmann::json>& adapters,
                         const std::vector<nlohmann::json>& ports) {
  return {{"computer_name", "BENCHHOST"}, {"adapters", adapters}, {"devices", ports}};
}

void InstallMachine(const std::string& name, const nlohmann::json& description) {
  static auto* machines = new std::map<std::string, std::unique_ptr<platform::Platform>>();
  auto& platform = (*machines)[name];
  if (!platform) {
    fs::path dir = WorkDirectory() / name;
    std::string error;
    if (!sim::InitMachine(dir, description.dump(), error) ||
        !sim::OpenMachine(dir, platform, error)) {
      Fail("machine " + name + ": " + error);
    }
  }
  platform::Install(platform.get());
}

}  // namespace skyfw::bench
