// The firmware's installation of the package staged in the update area.
//
// The package is read and checked whole first; only then are its items
// written into the directory (each replacing the item of the same type,
// ordinal and extension, or created anew) and a record appended to the
// package log. A refused package changes nothing but the update area, whose
// staged data every attempt consumes, so a later, shorter package is never
// read together with the tail of an earlier one.
#pragma once

#include <cstdint>

#include "sim/driver/firmware_package.h"
#include "sim/driver/nvram_image.h"

namespace skyfw::sim {

// Size given to a package log the firmware has to create.
inline constexpr uint32_t kDefaultPackageLogSize = 4096;

struct InstallOutcome {
  uint8_t result = 0;  // 0, or the refusal as a signed status byte
  uint8_t problem_item = kNoProblemItem;
  uint8_t reset_required = 0;
  uint64_t installed_items = 0;  // bit k: packaged item k was written
};

InstallOutcome InstallStagedPackage(NvramImage& nvram, uint32_t install_type,
                                    const FirmwareTime& clock);

// The refusal the firmware gives without looking at the package (a fault of
// the machine description); the staged data is consumed all the same.
InstallOutcome RefuseStagedPackage(NvramImage& nvram, uint8_t result, uint8_t problem_item);

}  // namespace skyfw::sim
