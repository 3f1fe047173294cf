#include <cstdlib>

#include "command_registry.h"

int main(int argc, char** argv) {
  using namespace skyfw::tool;
  CLI::App app{"skyfw: firmware updates for Norvane Skyline adapters"};
  app.require_subcommand(1);
  GlobalOptions options;
  app.add_option("--plugin", options.plugin, "Plug-in to load (default: libskyfw.so beside skyfw)");
  app.add_option("--trace", options.trace, "Write the plug-in's trace log to FILE");
  app.add_option("--machine", options.machine, "Simulated machine directory (sets SKYFW_MACHINE)");
  app.add_flag("--json", options.json, "Pure JSON on standard output");
  app.footer(
      "Exit codes: 0 success, 1 the operation failed, 2 bad command line, "
      "3 plug-in not loadable or lacking an entry point.");

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
