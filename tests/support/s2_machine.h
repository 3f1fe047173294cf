// A machine for hosts of the plug-in: one Skyline S2 adapter (S2Adapter "a0",
// serial "NV1", package 21.6.2 installed) with one port at PCI 03:00.0, which
// the plug-in's inventory lists as "0000:03:00:0".
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace skyfw::testing {

inline constexpr const char* kS2Location = "0000:03:00:0";

// Writes the machine, with the adapter's factory NVRAM file, into
// `directory`/machine and returns that path; fails the test when the
// description is refused.
std::string WriteS2Machine(const TempDir& directory);

// The adapter's NVRAM file in a machine written by WriteS2Machine.
inline std::string S2NvramPath(const std::string& machine) { return machine + "/nvram/a0.nvram"; }

}  // namespace skyfw::testing
