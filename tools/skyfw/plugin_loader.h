// Loads the plug-in as a vendor's host does (dlopen or LoadLibraryW, entry
// points by their exported names). Host commands share it.
#pragma once

#include <string>

#include "command_registry.h"
#include "platform/shared_library.h"

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

// The plug-in (libskyfw.so, skyfw.dll) in the directory of the running program.
std::string DefaultPluginPath();

// Loads the plug-in named by --plugin (or the default one) and, when --trace
// was given, hands the trace path to oem_get_debug_info first. Prints the
// reason and returns kExitPluginError on failure, kExitOk otherwise.
int OpenHostPlugin(const GlobalOptions& options, LoadedPlugin& plugin);

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
