// The plug-in's load and unload on Windows: the process attach and detach
// notifications do what the shared object's constructor and destructor do
// elsewhere (plugin_exports.cpp).
#include "diag/event_log.h"
#include "host/library_state.h"
#include "plugin/platform_root.h"

// Last: its macros clash with the seam's names.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
  try {
    switch (reason) {
      case DLL_PROCESS_ATTACH:
        skyfw::InstallProcessPlatform();
        skyfw::LibraryLoad();
        skyfw::RegisterEventSourceAtLoad();
        break;
      case DLL_PROCESS_DETACH:
        // reserved is set when the process is ending: its other threads are
        // gone, possibly holding the locks the unload would take, and the
        // system takes the memory back anyway. FreeLibrary unloads for real.
        if (reserved == nullptr) {
          skyfw::LibraryUnload();
          skyfw::UninstallProcessPlatform();
        }
        break;
      default:
        break;
    }
  } catch (...) {
    // Nothing at load or unload stops the host: failures are the entry
    // points' to report.
  }
  return TRUE;
}
