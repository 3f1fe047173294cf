#include "plugin_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "diag/text_conversion.h"
#include "skyfw/oem.h"

namespace skyfw::tool {

LoadedPlugin::~LoadedPlugin() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool LoadedPlugin::Open(const std::string& path, std::string& error) {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
  path_ = path;
  // A bare name would make dlopen search the library path; the host names a file.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown error";
    return false;
  }
  return true;
}

void* LoadedPlugin::Find(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return program.parent_path().string();
}

std::string DefaultPluginPath() {
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
  const std::string& trace_path = trace.empty() ? options.trace : trace;
  if (!trace_path.empty()) {
    decltype(&oem_get_debug_info) get_debug_info = nullptr;
    if (!ResolveEntryPoint(plugin, "oem_get_debug_info", get_debug_info)) {
      error = "the plug-in " + path + " has no entry point oem_get_debug_info";
      return kExitPluginError;
    }
    std::u16string wide_path;
    Utf8ToUtf16(trace_path, wide_path);
    get_debug_info(wide_path.c_str());
  }
  return kExitOk;
}

}  // namespace skyfw::tool
