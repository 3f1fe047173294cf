// Faults of the simulated driver and firmware, as a machine description
// lists them for one physical adapter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace skyfw::sim {

// A driver call failing with `error` as its last error. `call` names a WMI
// method ("Read", "InstallUpdate", "GetNvmLastError", …) or a direct request
// ("FWCMD_NVM_READ", …). `at` 0 strikes every call, n only the n-th call of
// that name on the adapter (counted across processes, from 1).
struct MethodFault {
  std::string call;
  uint16_t error = 0;
  uint32_t at = 0;
};

// The firmware refusing an installation with this result byte and problem
// item, always (`at` 0) or at the n-th InstallUpdate.
struct InstallRefusalFault {
  uint8_t result = 0xFF;
  uint8_t problem_item = 0xFF;
  uint32_t at = 0;
};

// How the driver's method signatures declare their 16-bit inputs. Some
// driver builds declare them signed or 32-bit; the caller must still get the
// value through.
enum class SixteenBitInputs { kUint16, kSint16, kUint32, kSint32 };

// What the NRVN_NVRAMPackage instance does with its Version property.
enum class VersionPropertyFault {
  kNone,
  kMissing,  // an older driver without the property
  kTooLong,  // the version padded with blanks to 512 characters
};

struct DriverFaults {
  std::vector<MethodFault> calls;
  std::optional<InstallRefusalFault> install_refusal;
  SixteenBitInputs sixteen_bit_inputs = SixteenBitInputs::kUint16;
  VersionPropertyFault version_property = VersionPropertyFault::kNone;
};

}  // namespace skyfw::sim
