// The plug-in's exported entry points and its load and unload. Compiled only
// into libskyfw.so; the work itself lives in skyfw_host.
#include "diag/event_log.h"
#include "host/entry_points.h"
#include "host/library_state.h"
#include "host/platform_root.h"
#include "skyfw/oem.h"

namespace {

// A constructor and destructor of the shared object stand in for the process
// attach and detach of the original platform.
__attribute__((constructor)) void OnLoad() {
  skyfw::InstallProcessPlatform();
  skyfw::LibraryLoad();
  skyfw::RegisterEventSourceAtLoad();
}

__attribute__((destructor)) void OnUnload() { skyfw::LibraryUnload(); }

}  // namespace

// No exception may reach the host: each export ends every path with a code.
extern "C" {

int32_t oem_get_debug_info(const char16_t* trace_path) {
  try {
    return skyfw::GetDebugInfo(trace_path);
  } catch (...) {
    return skyfw::kHostSuccess;
  }
}

const char16_t* oem_text_for_error_code(int32_t code) {
  try {
    return skyfw::TextForErrorCode(code);
  } catch (...) {
    return skyfw::Library().resultText.data();
  }
}

}  // extern "C"
