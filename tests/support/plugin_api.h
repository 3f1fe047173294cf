// The plug-in's seven entry points, looked up in a library loaded as a
// vendor's host does (dlopen, LoadLibraryW).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/shared_library.h"
#include "skyfw/oem.h"

namespace skyfw::testing {

struct PluginApi {
  decltype(&oem_do_discovery_with_files) discover = nullptr;
  decltype(&oem_do_flash_with_file) flash = nullptr;
  decltype(&oem_do_full_flash_PCI) fullFlashPci = nullptr;
  decltype(&oem_get_full_flash_dump_PCI) flashDumpPci = nullptr;
  decltype(&oem_get_adapter_info) adapterInfo = nullptr;
  decltype(&oem_get_debug_info) debugInfo = nullptr;
  decltype(&oem_text_for_error_code) textForErrorCode = nullptr;
};

// Fills `api` from the loaded library; an entry point it lacks is a test
// failure (and stays null).
inline void ResolvePluginApi(const platform::SharedLibrary& plugin, PluginApi& api) {
  auto resolve = [&plugin](const char* name, auto& out) {
    out = reinterpret_cast<std::remove_reference_t<decltype(out)>>(plugin.Find(name));
    if (out == nullptr) ADD_FAILURE() << "no entry point " << name;
  };
  resolve("oem_do_discovery_with_files", api.discover);
  resolve("oem_do_flash_with_file", api.flash);
  resolve("oem_do_full_flash_PCI", api.fullFlashPci);
  resolve("oem_get_full_flash_dump_PCI", api.flashDumpPci);
  resolve("oem_get_adapter_info", api.adapterInfo);
  resolve("oem_get_debug_info", api.debugInfo);
  resolve("oem_text_for_error_code", api.textForErrorCode);
}

// Loads the library into `plugin` and fills `api`; a library that does not
// load is a test failure.
inline bool LoadPluginApi(const std::string& path, platform::SharedLibrary& plugin,
                          PluginApi& api) {
  std::string error;
  if (!plugin.Open(path, error)) {
    ADD_FAILURE() << path << ": " << error;
    return false;
  }
  ResolvePluginApi(plugin, api);
  return true;
}

}  // namespace skyfw::testing
