#include "fuzz_machine.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "builders.h"
#include "host/library_state.h"
#include "platform/platform.h"
#include "sim/machine/machine.h"
#include "support/temp_dir.h"

namespace skyfw::fuzz {
namespace {

[[noreturn]] void Die(const std::string& why) {
  std::fprintf(stderr, "fuzz machine: %s\n", why.c_str());
  std::abort();
}

void WriteBytes(const std::string& path, const tool::Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) Die("cannot write " + path);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, tool::Bytes(text.begin(), text.end()));
}

// Small packages keep every install cheap: one plain data item each, no
// signed image to check.
tool::Bytes Package(const std::string& version, uint16_t device_id, uint16_t subsystem_vendor,
                    uint16_t subsystem_id) {
  tool::PackagePlan plan;
  plan.description = "fuzz package " + version;
  plan.version = version;
  plan.device_ids = {device_id};
  plan.subsystem_vendor = subsystem_vendor;
  plan.subsystem_id = subsystem_id;
  plan.items = {{.type = 0x40, .item_length = 256, .data = tool::FillerBytes(48, 5)}};
  tool::Bytes package;
  if (tool::BuildPackage(plan, package) != 0) Die("package " + version + " not built");
  return package;
}

constexpr const char* kCatalogue = R"(<?xml version="1.0" encoding="UTF-8"?>
<nic_fw_package>
  <adapter>
    <nic name="Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter" venid="1d6a" devid="0b10"
         subvenid="1d6a" subdevid="0001" nvm="21.8.0" nvmFile="s2.pkg" />
  </adapter>
</nic_fw_package>
)";

class Holder {
 public:
  Holder() {
    std::filesystem::path root = testing::MakeTempDirectory("skyfw-fuzz-");
    if (root.empty()) Die("no temporary directory");
    machine_.root = platform::FromFileSystemPath(root);
    machine_.machine = machine_.root + "/machine";
    machine_.firmware = machine_.root + "/firmware";
    machine_.document = machine_.root + "/request.xml";

    std::string error;
    if (!sim::InitMachine(machine_.machine, FuzzMachineJson(), error)) Die(error);
    if (!sim::OpenMachine(machine_.machine, platform_, error)) Die(error);

    std::filesystem::create_directories(machine_.firmware);
    WriteText(machine_.firmware + "/NICFWData.xml", kCatalogue);
    WriteBytes(machine_.firmware + "/" + kFuzzAdapterPackage, Package("21.8.0", 0x0B10, 0x1D6A, 1));
    WriteBytes(machine_.firmware + "/" + kFuzzForeignPackage, Package("1.2.0", 0x165F, 0x1028, 2));
    WriteText(machine_.firmware + "/" + kFuzzNotAPackage, "not a package\n");

    platform::Install(platform_.get());
    LibraryLoad();
  }
  ~Holder() {
    LibraryUnload();
    platform::Install(nullptr);
    platform_.reset();
    testing::RemoveTree(platform::PathFromUtf8(machine_.root));
  }
  const FuzzMachine& machine() const { return machine_; }

 private:
  FuzzMachine machine_;
  std::unique_ptr<platform::Platform> platform_;
};

}  // namespace

const FuzzMachine& TheFuzzMachine() {
  static Holder holder;
  return holder.machine();
}

std::string FuzzMachineJson() {
  return R"json({
  "computer_name": "FUZZHOST",
  "adapters": [{
    "id": "s2",
    "pci": {"vendor_id": "0x1D6A", "device_id": "0x0B10", "subsystem_id": "0x0001",
            "subsystem_vendor_id": "0x1D6A", "revision": "0x02"},
    "nvm_option1": "0x1D6A0B1000A1C3E5",
    "chip": {"number": "0x4", "revision": "0x1", "metal": "0x0"},
    "vpd": {
      "identifier": "Norvane Skyline S2 Dual Port 25GbE SFP28 Adapter",
      "read_only": {"PN": "SKY-S2-25D", "EC": "A03", "MN": "1D6A", "SN": "NV2419A00731",
                    "VA": "21.6.2"},
      "read_write": {"V1": "Skyline S2"}
    },
    "package_log": [["2024-06-02 16:40:10", "nvmupd", "21.6.2", "SKY-S2-25D", "ok"]],
    "package_log_length": 1024,
    "update_area_length": 4096,
    "nvram_items": [{"type": 3, "length": 1024, "text": "SKYLINE BOOT 4.2.7"}]
  }],
  "devices": [{
    "adapter": "s2",
    "location": {"bus": 3, "device": 0, "function": 0},
    "description": "Norvane Skyline S2 25GbE Adapter",
    "class_values": {
      "Characteristics": 132,
      "ComponentId": "pci\\ven_1d6a&dev_0b10&subsys_00011d6a",
      "NetCfgInstanceId": "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}",
      "DriverVersion": "2.14.3.0"
    },
    "port": {"permanent_mac": "02:0A:3B:1C:2D:4E"}
  }]
})json";
}

}  // namespace skyfw::fuzz
