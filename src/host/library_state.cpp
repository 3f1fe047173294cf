#include "host/library_state.h"

#include "diag/trace_log.h"

namespace skyfw {

LibraryState& Library() {
  static LibraryState state;
  return state;
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
