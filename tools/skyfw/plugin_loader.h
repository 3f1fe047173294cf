// Loads the plug-in as a vendor's host does (dlopen or LoadLibraryW, entry
// points by their exported names). Host commands share it.
#pragma once

#include <string>

#include "command_registry.h"
#include "os/shared_library.h"

namespace skyfw::tool {

class LoadedPlugin {
 public:
  LoadedPlugin() = default;
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  // Loads the library at path; on failure error says why.
  bool Open(const std::string& path, std::string& error);
  void* Find(const char* name) const;
  const std::string& path() const { return path_; }

 private:
  platform::SharedLibrary library_;
  std::string path_;
};

// The folder of the running program ("." when it cannot be told).
std::string ProgramFolder();

// The plug-in: skyfw.dll beside skyfw.exe on Windows; elsewhere by its SONAME
// beside the program (a build tree), else in the installed library folder
// relative to it.
std::string DefaultPluginPath();

// Loads the plug-in named by --plugin (or the default one) and, when a trace
// file is given (--trace, else trace: a command's own temporary one), hands
// it to oem_get_debug_info first.
// Returns kExitPluginError with error set on failure, kExitOk otherwise.
int OpenHostPlugin(const GlobalOptions& options, LoadedPlugin& plugin, std::string& error,
                   const std::string& trace = {});

// Looks an entry point up by its exported name; prints the reason and returns
// false when the plug-in lacks it.
template <typename Function>
bool ResolveEntryPoint(const LoadedPlugin& plugin, const char* name, Function*& out);

// Out of line: prints "the plug-in PATH has no entry point NAME".
void ReportMissingEntryPoint(const LoadedPlugin& plugin, const char* name);

template <typename Function>
bool ResolveEntryPoint(const LoadedPlugin& plugin, const char* name, Function*& out) {
  void* symbol = plugin.Find(name);
  if (symbol == nullptr) {
    ReportMissingEntryPoint(plugin, name);
    return false;
  }
  out = reinterpret_cast<Function*>(symbol);
  return true;
}

}  // namespace skyfw::tool
