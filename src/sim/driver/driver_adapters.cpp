#include "sim/driver/driver_adapters.h"

#include <cstdio>
#include <system_error>

#include "os/file_names.h"
#include "sim/driver/initial_nvram.h"
#include "sim/driver/nvram_store.h"
#include "sim/driver/wide_text.h"

namespace skyfw::sim {
namespace {

constexpr uint16_t kOptionAdapterIdentity = 1;

std::vector<uint8_t> LittleEndian64(uint64_t value) {
  std::vector<uint8_t> bytes;
  ByteWriter(bytes).PutU64(value);
  return bytes;
}

}  // namespace

std::filesystem::path NvramFilePath(const std::filesystem::path& machine_directory,
                                    const AdapterDescription& adapter) {
  return machine_directory / "nvram" / (adapter.id + ".nvram");
}

AdapterDriverFacts DriverFactsOf(const AdapterDescription& adapter, std::string nvram_path) {
  AdapterDriverFacts facts;
  facts.nvram_path = std::move(nvram_path);
  facts.nvm_options[kOptionAdapterIdentity] = LittleEndian64(adapter.nvm_option1);
  facts.registers = adapter.registers;
  facts.faults = adapter.faults;
  return facts;
}

DriverAdapters::DriverAdapters(const MachineContext& machine) : description_(machine.description) {
  std::error_code ignored;
  std::filesystem::create_directories(machine.directory / "nvram", ignored);
  for (const AdapterDescription& adapter : description_->adapters) {
    std::string path = platform::FromFileSystemPath(NvramFilePath(machine.directory, adapter));
    std::string error;
    if (!CreateNvramFileIfMissing(
            path, [&adapter] { return BuildInitialNvram(adapter); }, error)) {
      std::fprintf(stderr, "skyfw sim driver: adapter %s: %s\n", adapter.id.c_str(), error.c_str());
    }
    drivers_.emplace_back(DriverFactsOf(adapter, path));
  }
  for (size_t a = 0; a < description_->adapters.size(); ++a) {
    const std::vector<PortDescription>& ports = description_->adapters[a].ports;
    for (size_t p = 0; p < ports.size(); ++p) {
      PortNames names{PortRef{a, p}, Utf8ToUtf16(ports[p].title),
                      Utf8ToUtf16(ports[p].interface_id)};
      names.title_hash = HashIgnoringCase(names.title);
      port_names_.push_back(std::move(names));
    }
  }
}

std::optional<PortRef> DriverAdapters::FindByTitle(std::u16string_view title) const {
  // Titles of one model differ only at their end: the hash spares comparing
  // them whole with every port.
  const size_t hash = HashIgnoringCase(title);
  for (const PortNames& names : port_names_) {
    if (names.title_hash == hash && EqualsNoCase(names.title, title)) return names.port;
  }
  return std::nullopt;
}

std::optional<PortRef> DriverAdapters::FindByInterfaceId(std::u16string_view interface_id) const {
  for (const PortNames& names : port_names_) {
    if (EqualsNoCase(names.interface_id, interface_id)) return names.port;
  }
  return std::nullopt;
}

SixteenBitInputs DriverAdapters::sixteen_bit_inputs() const {
  for (const AdapterDescription& adapter : description_->adapters) {
    if (adapter.faults.sixteen_bit_inputs != SixteenBitInputs::kUint16) {
      return adapter.faults.sixteen_bit_inputs;
    }
  }
  return SixteenBitInputs::kUint16;
}

}  // namespace skyfw::sim
