#include <string>
#include <vector>

#include "command_registry.h"
#include "host_session.h"
#include "platform/environment.h"
#include "platform/standard_streams.h"

int main(int argc, char** argv) {
  using namespace skyfw::tool;
  skyfw::platform::UseBinaryStandardStreams();
  CLI::App app{"skyfw: firmware updates for Norvane Skyline adapters"};
  app.require_subcommand(1);
  GlobalOptions options;
  app.add_option("--plugin", options.plugin, "Plug-in to load (default: the one beside skyfw)");
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
    if (!options.machine.empty())
      skyfw::platform::SetEnvironmentText("SKYFW_MACHINE", options.machine);
  });

  // UTF-8 arguments on every platform (Windows passes argv in its code page).
  std::vector<std::string> arguments = skyfw::platform::ProgramArguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  try {
    app.parse(static_cast<int>(utf8_argv.size()), utf8_argv.data());
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  return exit_code;
}
