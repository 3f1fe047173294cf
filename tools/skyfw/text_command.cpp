// skyfw text CODE: the plug-in's text for a result code.
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "command_registry.h"
#include "diag/text_conversion.h"
#include "plugin_loader.h"
#include "skyfw/oem.h"

namespace skyfw::tool {
namespace {

// The plug-in's result buffer holds 512 units with its end mark.
constexpr size_t kResultTextUnits = 512;

int RunText(const GlobalOptions& options, int32_t code) {
  LoadedPlugin plugin;
  if (int status = OpenHostPlugin(options, plugin); status != kExitOk) return status;
  decltype(&oem_text_for_error_code) text_for_error_code = nullptr;
  if (!ResolveEntryPoint(plugin, "oem_text_for_error_code", text_for_error_code)) {
    return kExitPluginError;
  }

  std::string text;
  Utf16ToUtf8(BoundedWideText(text_for_error_code(code), kResultTextUnits), text);
  if (options.json) {
    std::string document = nlohmann::json{{"code", code}, {"text", text}}.dump();
    std::printf("%s\n", document.c_str());
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
      command->footer("With --json: {\"code\":CODE,\"text\":\"...\"}");
      command->callback([&options, &exit_code, code] { exit_code = RunText(options, *code); });
    });

}  // namespace
}  // namespace skyfw::tool
