// The NVRAM an adapter leaves the factory with, built from its description:
// the VPD item, the package log with the description's records, the update
// area, then the further items of the description, in that order.
#pragma once

#include "sim/driver/nvram_file.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

// Size of the VPD item: room to rewrite the VPD with longer keywords.
inline constexpr uint32_t kVpdItemLength = 1024;

NvramFile BuildInitialNvram(const AdapterDescription& adapter);

// What the items of that NVRAM allocate together, without building it: a
// description is checked against the 32-bit flash before any NVRAM is made.
uint64_t InitialNvramBytes(const AdapterDescription& adapter);

}  // namespace skyfw::sim
