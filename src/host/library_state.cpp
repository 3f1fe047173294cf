#include "host/library_state.h"

#include "diag/trace_log.h"

namespace skyfw {

// Created on first use and freed by LibraryUnload; a plain pointer has no
// static destructor, which at process exit may run before the unload function.
LibraryState* library_state = nullptr;

LibraryState& Library() {
  if (library_state == nullptr) library_state = new LibraryState();
  return *library_state;
}

void LibraryLoad() {
  TraceCreateLock();
  Library() = LibraryState{};
}

void LibraryUnload() {
  delete library_state;
  library_state = nullptr;
  TraceDestroyLock();
}

void OpenTraceForCall() {
  if (Library().tracing) TraceOpen(Library().tracePath.c_str());
}

}  // namespace skyfw
