// State the entry points share from load to unload of the library.
//
// The host calls one entry point at a time, so the state has no lock of its
// own; only the trace log's lines are locked.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/catalogue.h"
#include "update/device_record.h"

namespace skyfw {

inline constexpr size_t kResultTextUnits = 512;

struct LibraryState {
  // Switched on by oem_get_debug_info; nothing switches it off.
  bool tracing = false;
  // Replaced by every oem_get_debug_info; empty: lines reach the debugger only.
  std::string tracePath;
  // oem_text_for_error_code answers with this buffer's address every time.
  std::array<char16_t, kResultTextUnits> resultText{};
  // Outcome of the last flash request; 1 at load, never reset between calls.
  int32_t flashOutcome = 1;
  // Rebuilt by every call that builds it, left in place afterwards.
  DeviceInventory inventory;
  // Grow across calls and are never cleared.
  CatalogueTable catalogue;
  bool catalogueLoaded = false;
};

LibraryState& Library();

// Load and unload of the library: the trace lock and the state's initial
// values, and their release.
void LibraryLoad();
void LibraryUnload();

// Opens the trace log for one entry point call when the host switched it on.
void OpenTraceForCall();

}  // namespace skyfw
