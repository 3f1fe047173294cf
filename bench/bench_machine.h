// Simulated machines and files for the host benchmarks, built in code so
// that the figures do not move when the demo machine changes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace skyfw::bench {

// A directory of this process under the temporary directory, removed at exit.
const std::filesystem::path& WorkDirectory();

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A path as the host hands it over.
std::u16string HostPath(const std::filesystem::path& path);

// Skyline S1 adapter number `index` (its own serial, MAC and NVM option 1)
// with one port at bus 0x10 + index, as a machine description's entries.
nlohmann::json SkylineS1Adapter(int index);
nlohmann::json SkylineS1Port(int index);
inline constexpr int kFirstBus = 0x10;

// A machine description of these adapters and ports.
nlohmann::json MachineOf(const std::vector<nlohmann::json>& adapters,
                         const std::vector<nlohmann::json>& ports);

// Creates the machine `name` in the work directory and installs it as the
// process platform. The platform lives until the process ends.
void InstallMachine(const std::string& name, const nlohmann::json& description);

}  // namespace skyfw::bench
