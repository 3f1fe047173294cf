// The simulated machine: opening a machine directory as a Platform, the
// machine.json reader, the demo machine, and creating machine directories.
//
// A machine directory holds:
//   machine.json    the description (docs/machine.md)
//   registry.json   registry writes made while the machine ran
//   events.jsonl    the Application event log, one JSON object per line
//   nvram/          one NVRAM image per physical adapter (the driver's files)
//   locks/          lock files of named mutexes and of the registry
//   ProgramData/    the common application-data folder
//   Windows/System32/  the system directory
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "sim/machine/machine_description.h"

namespace skyfw::sim {

// Reads a machine description. On a bad description returns false with a
// message naming the field and why, e.g.
// "devices[2].adapter: no adapter with id \"nx9\"".
bool ParseMachineDescription(std::string_view json_text, MachineDescription& description,
                             std::string& error);

// The built-in demo machine, as machine.json text.
std::string_view DemoMachineJson();

// Creates `directory` (and its parents) holding `machine_json`, after
// checking it parses. Refuses a directory that already holds a machine.json.
bool InitMachine(const std::filesystem::path& directory, std::string_view machine_json,
                 std::string& error);

// Opens the machine in `directory`: a Platform whose registry, devices,
// device I/O, IP helper, services, WMI, event log, mutexes and system facts
// are those of the machine, with the simulated driver behind WMI and device
// I/O. False with a message when machine.json is missing or bad.
bool OpenMachine(const std::filesystem::path& directory,
                 std::unique_ptr<platform::Platform>& platform, std::string& error);

// The directory of the machine a process uses: $SKYFW_MACHINE when set and
// not empty, else ${XDG_STATE_HOME:-$HOME/.local/state}/skyfw/machine.
std::filesystem::path DefaultMachineDirectory();

// Opens DefaultMachineDirectory(); when SKYFW_MACHINE is not set and no
// machine is there yet, writes the demo machine there first.
bool OpenDefaultMachine(std::unique_ptr<platform::Platform>& platform, std::string& error);

}  // namespace skyfw::sim
