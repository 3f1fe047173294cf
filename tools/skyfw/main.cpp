#include <cstdlib>

#include "command_registry.h"
#include "host_session.h"

int main(int argc, char** argv) {
  using namespace skyfw::tool;
  CLI::App app{"skyfw: firmware updates for Norvane Skyline adapters"};
  app.require_subcommand(1);
  GlobalOptions options;
  app.add_option("--plugin", options.plugin, "Plug-in to load (default: libskyfw.so beside skyfw)");
  app.add_option("--trace", options.trace, "Write the plug-in's trace log to FILE");
  app.add_option("--machine", options.machine, "Simulated machine directory (sets SKYFW_MACHINE)");
  app.add_flag("--json", options.json, "Pure JSON on standard output");
  app.footer(skyfw::tool::ExitCodesHelp());
  // Global options are also taken after the command (skyfw discover --json);
  // commands inherit this when they are added.
  app.fallthrough();

  int exit_code = kExitOk;
  for (const auto& [name, add] : CommandGroups()) add(app, options, exit_code);
  app.parse_complete_callback([&options] {
    if (!options.machine.empty()) setenv("SKYFW_MACHINE", options.machine.c_str(), 1);
  });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  return exit_code;
}
