#include "host/library_state.h"

#include "diag/trace_log.h"

namespace skyfw {

LibraryState& Library() {
  // Never destroyed by the image's static destructors: at process exit they
  // may run before the unload function, which still releases the contents.
  static auto* state = new LibraryState();
  return *state;
}

void LibraryLoad() {
  TraceCreateLock();
  Library() = LibraryState{};
}

void LibraryUnload() {
  // Release what the state holds now; the object itself goes with the image.
  Library() = LibraryState{};
  TraceDestroyLock();
}

void OpenTraceForCall() {
  if (Library().tracing) TraceOpen(Library().tracePath.c_str());
}

}  // namespace skyfw
