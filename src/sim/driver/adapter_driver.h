// The simulated driver of one physical adapter: the firmware's NVM, option,
// clock and register commands, each one call on the adapter's NVRAM file.
//
// Every call holds the NVRAM file's lock from start to end, so calls from
// several processes run one after the other as they would in one kernel
// driver. A call that fails leaves its error number as the driver's last
// error (GetNvmLastError). Faults of the description strike here, before the
// command runs.
//
// Each operation takes the name of the call it serves: the WMI method
// ("Read") or the direct request ("FWCMD_NVM_READ"); faults are matched by it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_reader.h"
#include "sim/driver/firmware_install.h"
#include "sim/driver/nvram_file.h"
#include "sim/driver/nvram_store.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

struct AdapterDriverFacts {
  std::string nvram_path;
  // NVM options by number; option 1 (8 bytes) identifies the physical adapter.
  std::map<uint16_t, std::vector<uint8_t>> nvm_options;
  // 32-bit registers by offset (chip identity, base addresses); others read 0.
  std::map<uint32_t, uint32_t> registers;
  DriverFaults faults;
};

struct NvmOptionQuery {
  uint16_t length = 0;  // bits
  uint16_t option_num = 0;
  uint16_t dimensions = 0;
  std::array<uint16_t, 4> index{};
};

// Whether the call went through and, when it did not, the error number it
// left (which a fault may set to 0).
struct DriverOutcome {
  bool ok = true;
  uint16_t error = 0;
};

class AdapterDriver {
 public:
  explicit AdapterDriver(AdapterDriverFacts facts)
      : facts_(std::move(facts)), store_(facts_.nvram_path) {}

  const AdapterDriverFacts& facts() const { return facts_; }

  DriverOutcome GetDirectoryInfo(std::string_view call, uint32_t& count, uint32_t& entry_length);
  DriverOutcome GetDirectoryEntries(std::string_view call, uint32_t capacity,
                                    std::vector<uint8_t>& buffer);
  DriverOutcome FindDirEntry(std::string_view call, uint16_t type, uint16_t ordinal, uint16_t ext,
                             uint32_t& index, uint32_t& item_length);
  DriverOutcome Read(std::string_view call, uint32_t index, uint32_t offset, uint32_t length,
                     std::vector<uint8_t>& buffer);
  DriverOutcome Create(std::string_view call, uint16_t type, uint16_t ordinal, uint16_t ext,
                       uint16_t attr, uint32_t item_length, uint32_t& index);
  // Writes the first `length` bytes of `buffer`.
  DriverOutcome Modify(std::string_view call, uint32_t index, uint32_t offset, uint32_t length,
                       ByteView buffer);
  DriverOutcome InstallUpdate(std::string_view call, uint32_t install_type,
                              InstallOutcome& outcome);
  DriverOutcome GetNvmOpt(std::string_view call, const NvmOptionQuery& query,
                          std::vector<uint8_t>& value);
  DriverOutcome SetFwTime(std::string_view call, const FirmwareTime& time);
  DriverOutcome ReadReg32(std::string_view call, uint32_t offset, uint32_t& value);
  DriverOutcome GetNvmLastError(std::string_view call, uint16_t& code);

  // The version of the package last installed (field 2 of the package log's
  // last record); nothing when there is none. False when the NVRAM cannot be
  // read.
  bool InstalledPackageVersion(std::optional<std::string>& version);

 private:
  // `changes` lists what the work changed in the NVRAM's items; the driver
  // memory is written along with any change.
  using Work = std::function<DriverError(NvramFile& file, NvramChanges& changes, bool& changed)>;
  DriverOutcome Call(std::string_view call, const Work& work);

  AdapterDriverFacts facts_;
  NvramStore store_;
};

}  // namespace skyfw::sim
