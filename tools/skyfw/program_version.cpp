#include "program_version.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "command_output.h"
#include "os/file_names.h"
#include "plugin_loader.h"

namespace skyfw::tool {
namespace {

// The version in an installed plug-in's real file name (libskyfw.so.1.0.0 ->
// 1.0.0); empty when the name carries none.
std::string PluginFileVersion(const std::string& path) {
  std::error_code error;
  std::filesystem::path real = std::filesystem::canonical(path, error);
  if (error) return {};
  const std::string name = platform::FromFileSystemPath(real.filename());
  const std::string stem = "libskyfw.so.";
  if (name.rfind(stem, 0) != 0) return {};
  std::string version = name.substr(stem.size());
  // Only the full X.Y.Z: the SONAME link alone says just the major version.
  return std::count(version.begin(), version.end(), '.') == 2 ? version : std::string();
}

}  // namespace

int RunVersion(const GlobalOptions& options) {
  const std::string path = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  LoadedPlugin plugin;
  std::string error;
  const bool loaded = plugin.Open(path, error);
  const std::string plugin_version = PluginFileVersion(path);
  const bool development = SKYFW_SIGNING_KEY_IS_DEVELOPMENT != 0;
  const std::string key_note =
      development ? "DEVELOPMENT KEY: published with the sources; any firmware signed with it "
                    "is accepted. Not for production."
                  : "production key";
  if (options.json) {
    nlohmann::json plugin_json = {
        {"path", path},
        {"version", plugin_version.empty() ? nlohmann::json() : nlohmann::json(plugin_version)},
        {"loaded", loaded}};
    if (!loaded) plugin_json["load_error"] = error;
    EmitJson(
        options,
        {{"program", {{"name", "skyfw"}, {"version", SKYFW_PROGRAM_VERSION}}},
         {"plugin", plugin_json},
         {"signing_key", {{"sha256", SKYFW_SIGNING_KEY_SHA256}, {"development", development}}}},
        kExitOk);
    return kExitOk;
  }
  std::printf("skyfw %s\n", SKYFW_PROGRAM_VERSION);
  std::printf("plug-in %s %s%s\n", path.c_str(),
              plugin_version.empty() ? "(version unknown)" : plugin_version.c_str(),
              loaded ? "" : (" - cannot be loaded: " + error).c_str());
  std::printf("firmware-signing key sha256:%s\n  %s\n", SKYFW_SIGNING_KEY_SHA256, key_note.c_str());
  return kExitOk;
}

namespace {

[[maybe_unused]] const bool registered =
    RegisterCommandGroup("version", [](CLI::App& app, GlobalOptions& options, int& exit_code) {
      auto* command = app.add_subcommand(
          "version", "The program's, the plug-in's and the signing key's identity");
      command->callback([&options, &exit_code] { exit_code = RunVersion(options); });
    });

}  // namespace
}  // namespace skyfw::tool
