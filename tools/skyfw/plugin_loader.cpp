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

std::string DefaultPluginPath() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "libskyfw.so";
  return (program.parent_path() / "libskyfw.so").string();
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
