// skyfw text CODE: the plug-in's text for a result code.
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "command_output.h"
#include "command_registry.h"
#include "base/text_conversion.h"
#include "host/oem_text.h"
#include "plugin_loader.h"
#include "skyfw/oem.h"

namespace skyfw::tool {
namespace {

// The plug-in's result buffer holds 512 units with its end mark.
constexpr size_t kResultTextUnits = 512;

int RunText(const GlobalOptions& options, int32_t code) {
  LoadedPlugin plugin;
  std::string error;
  if (int status = OpenHostPlugin(options, plugin, error); status != kExitOk) {
    return Fail(options, status, error);
  }
  decltype(&oem_text_for_error_code) text_for_error_code = nullptr;
  if (!ResolveEntryPoint(plugin, "oem_text_for_error_code", text_for_error_code)) {
    if (!options.json) return kExitPluginError;  // the loader has said why
    return Fail(options, kExitPluginError,
                "the plug-in " + plugin.path() + " has no entry point oem_text_for_error_code");
  }

  std::string text;
  Utf16ToUtf8(TextUpToZero(FromOemText(text_for_error_code(code)), kResultTextUnits), text);
  if (options.json) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    EmitJson(options, {{"result", {{"code", code}, {"text", text}}}}, kExitOk);
  } else {
    // Exactly the text, line end or not: scripts compare it byte for byte.
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return kExitOk;
}

[[maybe_unused]] const bool registered =
    RegisterCommandGroup("text", [](CLI::App& app, GlobalOptions& options, int& exit_code) {
      auto* command = app.add_subcommand(
          "text", "Print the plug-in's text for a result code, exactly as the plug-in gives it");
      auto code = std::make_shared<int32_t>(0);
      command->add_option("CODE", *code, "Result code (a signed 32-bit number)")->required();
      command->footer(
          "With --json: \"result\": {\"code\": CODE, \"text\": \"...\"}, the text without its line "
          "end");
      command->callback([&options, &exit_code, code] { exit_code = RunText(options, *code); });
    });

}  // namespace
}  // namespace skyfw::tool
