#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "command_output.h"
#include "command_registry.h"
#include "host_session.h"
#include "os/environment.h"
#include "os/standard_streams.h"
#include "program_version.h"

namespace {

using namespace skyfw::tool;

// "pkg inspect": the chain of commands CLI11 has taken so far.
std::string CommandPath(const CLI::App& app) {
  std::string path;
  const CLI::App* current = &app;
  while (!current->get_subcommands().empty()) {
    current = current->get_subcommands().front();
    path += (path.empty() ? "" : " ") + current->get_name();
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  skyfw::platform::UseBinaryStandardStreams();
  CLI::App app{"skyfw: firmware updates for Norvane Skyline adapters"};
  // Options are spelt the same on Windows: a word beginning with "/" is a
  // path (under Wine, /tmp/m), never an option. Inherited by every command.
  app.allow_windows_style_options(false);
  app.require_subcommand(0, 1);
  GlobalOptions options;
  app.add_option("--plugin", options.plugin,
                 "Plug-in to load (default: " SKYFW_PLUGIN_SONAME
                 " beside skyfw or in the installed library folder)");
  app.add_option("--trace", options.trace, "Write the plug-in's trace log to FILE");
  app.add_option("--machine", options.machine, "Simulated machine directory (sets SKYFW_MACHINE)");
  app.add_flag("--json", options.json,
               "One JSON document on standard output, also on failure (docs/cli-json.md)");
  app.add_flag("--version", options.version,
               "The program's, the plug-in's and the signing key's identity");
  app.footer(ExitCodesHelp());
  // Global options are also taken after the command (skyfw discover --json);
  // commands inherit this when they are added.
  app.fallthrough();
  // A usage error must be JSON too, before CLI11 has taken --json in.
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) options.json = true;
  }

  int exit_code = kExitOk;
  for (const auto& [name, add] : CommandGroups()) add(app, options, exit_code);
  app.parse_complete_callback([&app, &options] {
    options.command = CommandPath(app);
    if (!options.machine.empty())
      skyfw::platform::SetEnvironmentText("SKYFW_MACHINE", options.machine);
  });

  // UTF-8 arguments on every platform (Windows passes argv in its code page).
  std::vector<std::string> arguments = skyfw::platform::ProgramArguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& argument : arguments) utf8_argv.push_back(argument.data());
  try {
    app.parse(static_cast<int>(utf8_argv.size()), utf8_argv.data());
    if (options.command.empty()) {
      exit_code = options.version ? RunVersion(options)
                                  : Fail(options, kExitUsage,
                                         "a command is required (skyfw --help lists them)");
    }
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help
    options.command = CommandPath(app);
    if (!options.json) {
      app.exit(error);
      return kExitUsage;
    }
    exit_code = Fail(options, kExitUsage, error.what());
  } catch (const std::exception& error) {
    exit_code = Fail(options, kExitFailure, std::string("unexpected failure: ") + error.what());
  }
  // Every run under --json answers with one document, whatever path it took.
  if (options.json && !JsonEmitted()) EmitJson(options, nlohmann::json::object(), exit_code);
  return exit_code;
}
