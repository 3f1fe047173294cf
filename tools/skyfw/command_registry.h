// The skyfw program is a set of command groups (text, pkg, sim, host
// commands ...), each in its own file, registering itself at start-up so that
// groups can be added without touching main.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace skyfw::tool {

// Options shared by every command.
struct GlobalOptions {
  std::string plugin;    // --plugin: the plug-in to load; empty means the one beside skyfw
  std::string trace;     // --trace: trace-log file handed to oem_get_debug_info
  std::string machine;   // --machine: simulated machine directory (sets SKYFW_MACHINE)
  bool json = false;     // --json: pure JSON on standard output
  bool version = false;  // --version
  std::string command;   // the command as typed ("pkg inspect"); empty when none was named
};

// Exit codes of the program (documented in --help).
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,       // the operation ran and failed
  kExitUsage = 2,         // bad command line
  kExitPluginError = 3,   // the plug-in could not be loaded or lacks an entry point
  kExitFileNotFound = 5,  // a firmware folder, package file or machine that is not there
};

using CommandAdder = std::function<void(CLI::App& app, GlobalOptions& options, int& exit_code)>;

// Adds a command group; called from a static object in the group's file.
bool RegisterCommandGroup(const char* name, CommandAdder adder);
const std::vector<std::pair<std::string, CommandAdder>>& CommandGroups();

}  // namespace skyfw::tool
