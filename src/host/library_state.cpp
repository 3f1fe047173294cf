#include "host/library_state.h"

#include <utility>

#include "base/never_destroyed.h"
#include "diag/trace_log.h"

namespace skyfw {

LibraryState& Library() {
  // Never destroyed by the image's static destructors: at process exit they
  // may run before the unload function, which still releases the contents.
  return NeverDestroyed<LibraryState>();
}

void LibraryLoad() {
  TraceCreateLock();
  Library() = LibraryState{};
}

void LibraryUnload() {
  // Release what the state holds now (a swap, since assigning an empty
  // string may keep the old buffer); the object itself goes with the image.
  LibraryState released;
  std::swap(Library(), released);
  TraceDestroyLock();
}

void OpenTraceForCall() {
  if (Library().tracing) TraceOpen(Library().tracePath.c_str());
}

}  // namespace skyfw
