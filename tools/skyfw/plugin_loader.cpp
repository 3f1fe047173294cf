#include "plugin_loader.h"

#include <cstdio>

#include "diag/text_conversion.h"
#include "platform/file_names.h"
#include "skyfw/oem.h"

namespace skyfw::tool {

namespace {

#if defined(_WIN32)
constexpr char kPluginFileName[] = "skyfw.dll";
#else
constexpr char kPluginFileName[] = "libskyfw.so";
#endif

}  // namespace

bool LoadedPlugin::Open(const std::string& path, std::string& error) {
  path_ = path;
  // A bare name is a file in the current folder: the host names a file.
  return library_.Open(path, error);
}

void* LoadedPlugin::Find(const char* name) const { return library_.Find(name); }

std::string DefaultPluginPath() {
  std::string folder = platform::ProgramFolder();
  if (folder.empty()) return kPluginFileName;
  return folder + platform::kPathSeparator + kPluginFileName;
}

void ReportMissingEntryPoint(const LoadedPlugin& plugin, const char* name) {
  std::fprintf(stderr, "skyfw: the plug-in %s has no entry point %s\n", plugin.path().c_str(),
               name);
}

int OpenHostPlugin(const GlobalOptions& options, LoadedPlugin& plugin) {
  std::string path = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  std::string error;
  if (!plugin.Open(path, error)) {
    std::fprintf(stderr, "skyfw: cannot load the plug-in %s: %s\n", path.c_str(), error.c_str());
    return kExitPluginError;
  }
  if (!options.trace.empty()) {
    decltype(&oem_get_debug_info) get_debug_info = nullptr;
    if (!ResolveEntryPoint(plugin, "oem_get_debug_info", get_debug_info)) return kExitPluginError;
    std::u16string trace_path;
    Utf8ToUtf16(options.trace, trace_path);
    get_debug_info(trace_path.c_str());
  }
  return kExitOk;
}

}  // namespace skyfw::tool
