#include "plugin_loader.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/text_conversion.h"
#include "host/oem_text.h"
#include "os/file_names.h"
#include "os/shared_library.h"
#include "skyfw/oem.h"

namespace skyfw::tool {

namespace {

#if defined(_WIN32)
constexpr char kPluginFileName[] = "skyfw.dll";
#endif

}  // namespace

bool LoadedPlugin::Open(const std::string& path, std::string& error) {
  path_ = path;
  // A bare name is a file in the current folder: the host names a file.
  return library_.Open(path, error);
}

void* LoadedPlugin::Find(const char* name) const { return library_.Find(name); }

std::string ProgramFolder() {
  std::string folder = platform::ProgramFolder();
  return folder.empty() ? "." : folder;
}

std::string DefaultPluginPath() {
#if defined(_WIN32)
  return ProgramFolder() + platform::kPathSeparator + kPluginFileName;
#else
  // Beside the program in a build tree; by its SONAME in the library folder
  // of an installed tree, wherever that tree was moved.
  const std::filesystem::path folder = ProgramFolder();
  const std::filesystem::path candidates[] = {
      folder / SKYFW_PLUGIN_SONAME,
      folder / SKYFW_LIBDIR_FROM_BINDIR / SKYFW_PLUGIN_SONAME,
  };
  for (const std::filesystem::path& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  return candidates[1].lexically_normal().string();
#endif
}

void ReportMissingEntryPoint(const LoadedPlugin& plugin, const char* name) {
  std::fprintf(stderr, "skyfw: the plug-in %s has no entry point %s\n", plugin.path().c_str(),
               name);
}

int OpenHostPlugin(const GlobalOptions& options, LoadedPlugin& plugin, std::string& error,
                   const std::string& trace) {
  std::string path = options.plugin.empty() ? DefaultPluginPath() : options.plugin;
  std::string reason;
  if (!plugin.Open(path, reason)) {
    error = "cannot load the plug-in " + path + ": " + reason;
    return kExitPluginError;
  }
  // The user's --trace wins: the host reads the trace back from there.
  const std::string& trace_path = options.trace.empty() ? trace : options.trace;
  if (!trace_path.empty()) {
    decltype(&oem_get_debug_info) get_debug_info = nullptr;
    if (!ResolveEntryPoint(plugin, "oem_get_debug_info", get_debug_info)) {
      error = "the plug-in " + path + " has no entry point oem_get_debug_info";
      return kExitPluginError;
    }
    std::u16string wide_path;
    Utf8ToUtf16(trace_path, wide_path);
    get_debug_info(ToOemText(wide_path.c_str()));
  }
  return kExitOk;
}

}  // namespace skyfw::tool
