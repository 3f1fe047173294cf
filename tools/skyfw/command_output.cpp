#include "command_output.h"

#include <cstdio>

namespace skyfw::tool {
namespace {

bool emitted = false;
std::vector<std::string>& Warnings() {
  static std::vector<std::string> warnings;
  return warnings;
}

}  // namespace

const char* ErrorKind(int exit_code) {
  switch (exit_code) {
    case 2:
      return "usage";
    case 3:
      return "plugin";
    case 4:
      return "no_device";
    case 5:
      return "not_found";
    case 6:
      return "document";
    case 7:
      return "install_failed";
    default:
      return "failed";
  }
}

void EmitJson(const GlobalOptions& options, nlohmann::json body, int exit_code,
              const CommandError* error) {
  if (emitted) return;
  emitted = true;
  nlohmann::ordered_json document;
  document["schema_version"] = 1;
  document["command"] =
      options.command.empty() ? nlohmann::json() : nlohmann::json(options.command);
  document["ok"] = exit_code == 0;
  document["exit_code"] = exit_code;
  if (exit_code != 0) {
    nlohmann::ordered_json shape;
    shape["kind"] = ErrorKind(exit_code);
    shape["message"] = error != nullptr ? error->message : "the command failed";
    if (error != nullptr && !error->result.is_null()) shape["result"] = error->result;
    if (error != nullptr && error->has_cause) shape["cause"] = error->cause;
    document["error"] = shape;
  }
  if (!Warnings().empty()) document["warnings"] = Warnings();
  if (body.is_object()) {
    for (auto& [key, value] : body.items()) {
      if (!document.contains(key)) document[key] = value;
    }
  }
  // Names and paths may hold bytes that are not UTF-8: replaced, never thrown.
  std::string text = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

bool JsonEmitted() { return emitted; }

int Fail(const GlobalOptions& options, int exit_code, const std::string& message,
         nlohmann::json body) {
  CommandError error;
  error.message = message;
  return Fail(options, exit_code, error, std::move(body));
}

int Fail(const GlobalOptions& options, int exit_code, const CommandError& error,
         nlohmann::json body) {
  if (options.json) {
    EmitJson(options, std::move(body), exit_code, &error);
    return exit_code;
  }
  std::fprintf(stderr, "skyfw: %s\n", error.message.c_str());
  for (const std::string& line : error.cause) std::fprintf(stderr, "  %s\n", line.c_str());
  return exit_code;
}

void Warn(const GlobalOptions& options, const std::string& warning) {
  std::fprintf(stderr, "skyfw: warning: %s\n", warning.c_str());
  if (options.json) Warnings().push_back(warning);
}

}  // namespace skyfw::tool
