// What a run of skyfw prints as its answer. Under --json that is exactly one
// JSON document on standard output, with the same common fields and one error
// shape for every command; otherwise failures are one line on standard error.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "command_registry.h"

namespace skyfw::tool {

// The error kind that goes with an exit code (docs/cli-json.md).
const char* ErrorKind(int exit_code);

// Why a command failed, beyond its exit code.
struct CommandError {
  std::string message;
  nlohmann::json result;           // the plug-in's {code, text} when it caused it; null otherwise
  std::vector<std::string> cause;  // the plug-in's trace lines saying why; may be empty
  bool has_cause = false;          // whether the trace was read (cause may still be empty)
};

// Prints the run's JSON document: the common fields, then body's. Adds
// "error" when exit_code is not 0. Only the first call of a run prints.
void EmitJson(const GlobalOptions& options, nlohmann::json body, int exit_code,
              const CommandError* error = nullptr);

// Whether the run has printed its JSON document.
bool JsonEmitted();

// A failure of the command: as JSON (with body's fields) or as one line on
// standard error. Returns exit_code.
int Fail(const GlobalOptions& options, int exit_code, const std::string& message,
         nlohmann::json body = nlohmann::json::object());
int Fail(const GlobalOptions& options, int exit_code, const CommandError& error,
         nlohmann::json body = nlohmann::json::object());

// Warnings go to standard error and, under --json, into the document's
// "warnings".
void Warn(const GlobalOptions& options, const std::string& warning);

}  // namespace skyfw::tool
