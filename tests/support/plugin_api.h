// The plug-in's seven entry points, looked up in a library loaded as a
// vendor's host does (dlopen, LoadLibraryW).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "os/shared_library.h"
#include "skyfw/oem.h"

namespace skyfw::testing {

// The entry points as a host holding its texts in char16_t calls them: the
// same 16-bit units as the header's OemChar16 (WCHAR on Windows), so the same
// functions.
struct PluginApi {
  int32_t (*discover)(const char16_t*, const char16_t*) = nullptr;
  int32_t (*flash)(const char16_t*, const char16_t*) = nullptr;
  int32_t (*fullFlashPci)(const char16_t*, void*, int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*flashDumpPci)(const char16_t*, void*, int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*adapterInfo)(OemAdapterInfoElement*, int32_t*, const char16_t*) = nullptr;
  int32_t (*debugInfo)(const char16_t*) = nullptr;
  const char16_t* (*textForErrorCode)(int32_t) = nullptr;
};
#ifndef _WIN32
// Where OemChar16 is char16_t these are exactly the header's declarations.
static_assert(
    std::is_same_v<decltype(PluginApi::discover), decltype(&oem_do_discovery_with_files)>);
static_assert(std::is_same_v<decltype(PluginApi::flash), decltype(&oem_do_flash_with_file)>);
static_assert(std::is_same_v<decltype(PluginApi::fullFlashPci), decltype(&oem_do_full_flash_PCI)>);
static_assert(
    std::is_same_v<decltype(PluginApi::flashDumpPci), decltype(&oem_get_full_flash_dump_PCI)>);
static_assert(std::is_same_v<decltype(PluginApi::adapterInfo), decltype(&oem_get_adapter_info)>);
static_assert(std::is_same_v<decltype(PluginApi::debugInfo), decltype(&oem_get_debug_info)>);
static_assert(
    std::is_same_v<decltype(PluginApi::textForErrorCode), decltype(&oem_text_for_error_code)>);
#endif

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
