#include "sim/driver/adapter_driver.h"

#include <cstdio>

#include "sim/driver/nvram_store.h"
#include "sim/driver/package_log.h"

namespace skyfw::sim {
namespace {

// Counting calls rewrites the NVRAM file, so only calls a fault waits for
// are counted.
bool IsCounted(const DriverFaults& faults, std::string_view call) {
  for (const MethodFault& fault : faults.calls) {
    if (fault.at != 0 && fault.call == call) return true;
  }
  return faults.install_refusal && faults.install_refusal->at != 0 && call == "InstallUpdate";
}

const MethodFault* StrikingFault(const DriverFaults& faults, std::string_view call,
                                 uint32_t count) {
  for (const MethodFault& fault : faults.calls) {
    if (fault.call == call && (fault.at == 0 || fault.at == count)) return &fault;
  }
  return nullptr;
}

uint32_t CallCount(const NvramFile& file, std::string_view call) {
  auto found = file.driver.method_calls.find(std::string(call));
  return found == file.driver.method_calls.end() ? 0 : found->second;
}

}  // namespace

DriverOutcome AdapterDriver::Call(std::string_view call, const Work& work) {
  DriverOutcome outcome;
  std::string store_error;
  bool stored = store_.Update(
      [&](NvramFile& file, NvramChanges& changes) {
        outcome = {};  // the work may run twice
        bool changed = false;
        if (IsCounted(facts_.faults, call)) {
          ++file.driver.method_calls[std::string(call)];
          changed = true;
        }
        DriverError error = kDriverOk;
        if (const MethodFault* fault = StrikingFault(facts_.faults, call, CallCount(file, call))) {
          outcome = {false, fault->error};
        } else if ((error = work(file, changes, changed)) != kDriverOk) {
          outcome = {false, error};
        }
        if (!outcome.ok) {
          file.driver.last_error = outcome.error;
          changed = true;
        }
        return changed;
      },
      store_error);
  if (!stored) {
    // A machine whose NVRAM cannot be used is broken, not just failing: say so.
    std::fprintf(stderr, "skyfw sim driver: %s\n", store_error.c_str());
    return {false, kDriverFailure};
  }
  return outcome;
}

DriverOutcome AdapterDriver::GetDirectoryInfo(std::string_view call, uint32_t& count,
                                              uint32_t& entry_length) {
  return Call(call, [&](NvramFile& file, NvramChanges&, bool&) {
    count = static_cast<uint32_t>(file.nvram.items.size());
    entry_length = file.nvram.entry_length;
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::GetDirectoryEntries(std::string_view call, uint32_t capacity,
                                                 std::vector<uint8_t>& buffer) {
  return Call(call, [&](NvramFile& file, NvramChanges&, bool&) {
    buffer = DirectoryBytes(file.nvram, capacity,
                            [&](size_t index) { return store_.ItemChecksum(index); });
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::FindDirEntry(std::string_view call, uint16_t type, uint16_t ordinal,
                                          uint16_t ext, uint32_t& index, uint32_t& item_length) {
  return Call(call, [&](NvramFile& file, NvramChanges&, bool&) {
    std::optional<size_t> found = FindItem(file.nvram, type, ordinal, ext);
    if (!found) return kDriverItemNotFound;
    index = static_cast<uint32_t>(*found);
    item_length = file.nvram.items[*found].item_length;
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::Read(std::string_view call, uint32_t index, uint32_t offset,
                                  uint32_t length, std::vector<uint8_t>& buffer) {
  return Call(call, [&](NvramFile& file, NvramChanges&, bool&) {
    return ReadItem(file.nvram, index, offset, length, buffer);
  });
}

DriverOutcome AdapterDriver::Create(std::string_view call, uint16_t type, uint16_t ordinal,
                                    uint16_t ext, uint16_t attr, uint32_t item_length,
                                    uint32_t& index) {
  return Call(call, [&](NvramFile& file, NvramChanges& changes, bool& changed) {
    DriverError error = CreateItem(file.nvram, type, ordinal, ext, attr, item_length, index);
    if (error != kDriverOk) return error;
    changes.Replaced(index);
    changed = true;
    return error;
  });
}

DriverOutcome AdapterDriver::Modify(std::string_view call, uint32_t index, uint32_t offset,
                                    uint32_t length, ByteView buffer) {
  return Call(call, [&](NvramFile& file, NvramChanges& changes, bool& changed) {
    if (length > buffer.size()) return kDriverInvalidLengthParameter;
    DriverError error = ModifyItem(file.nvram, index, offset, buffer.first(length));
    if (error != kDriverOk) return error;
    changes.Wrote(index, offset, length);
    changed = true;
    return error;
  });
}

DriverOutcome AdapterDriver::InstallUpdate(std::string_view call, uint32_t install_type,
                                           InstallOutcome& outcome) {
  const std::optional<InstallRefusalFault>& refusal = facts_.faults.install_refusal;
  return Call(call, [&](NvramFile& file, NvramChanges& changes, bool& changed) {
    // An install rewrites several items: the file is written whole.
    changes.All();
    changed = true;
    uint32_t count = CallCount(file, call);
    if (refusal && (refusal->at == 0 || refusal->at == count)) {
      outcome = RefuseStagedPackage(file.nvram, refusal->result, refusal->problem_item);
    } else {
      outcome = InstallStagedPackage(file.nvram, install_type, file.driver.clock);
    }
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::GetNvmOpt(std::string_view call, const NvmOptionQuery& query,
                                       std::vector<uint8_t>& value) {
  return Call(call, [&](NvramFile&, NvramChanges&, bool&) {
    auto option = facts_.nvm_options.find(query.option_num);
    if (option == facts_.nvm_options.end()) return kDriverOptionNotSupported;
    // Options the firmware knows are single values: one dimension, index 0.
    if (query.dimensions > 1 || query.index[0] != 0) return kDriverInvalidIndex;
    size_t bytes = (static_cast<size_t>(query.length) + 7) / 8;
    if (bytes == 0 || bytes > option->second.size()) return kDriverInvalidLengthParameter;
    value.assign(option->second.begin(), option->second.begin() + static_cast<long>(bytes));
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::SetFwTime(std::string_view call, const FirmwareTime& time) {
  return Call(call, [&](NvramFile& file, NvramChanges&, bool& changed) {
    DriverError error = ValidateFirmwareTime(time);
    if (error != kDriverOk) return error;
    file.driver.clock = time;
    changed = true;
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::ReadReg32(std::string_view call, uint32_t offset, uint32_t& value) {
  return Call(call, [&](NvramFile&, NvramChanges&, bool&) {
    if (offset % 4 != 0) return kDriverInvalidOffset;
    auto found = facts_.registers.find(offset);
    value = found == facts_.registers.end() ? 0 : found->second;
    return kDriverOk;
  });
}

DriverOutcome AdapterDriver::GetNvmLastError(std::string_view call, uint16_t& code) {
  return Call(call, [&](NvramFile& file, NvramChanges&, bool&) {
    code = file.driver.last_error;
    return kDriverOk;
  });
}

bool AdapterDriver::InstalledPackageVersion(std::optional<std::string>& version) {
  std::string error;
  bool read = store_.Update(
      [&](NvramFile& file) {
        std::optional<size_t> log = FindItem(file.nvram, kItemTypePackageLog, 0, 0);
        version = log ? LastPackageLogVersion(file.nvram.items[*log].data) : std::nullopt;
        return false;
      },
      error);
  if (!read) std::fprintf(stderr, "skyfw sim driver: %s\n", error.c_str());
  return read;
}

}  // namespace skyfw::sim
