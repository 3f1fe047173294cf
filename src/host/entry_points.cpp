#include "host/entry_points.h"

#include <algorithm>
#include <string>

#include "diag/text_conversion.h"
#include "diag/trace_log.h"
#include "host/host_path.h"
#include "host/library_state.h"

namespace skyfw {

HostResultCode GetDebugInfo(const char16_t* trace_path) {
  LibraryState& state = Library();
  // A path that cannot be converted whole is not cut into another file's
  // name: lines then reach the debugger only, as with an empty path.
  std::string path;
  ConvertHostPath(trace_path, path);
  state.tracePath = std::move(path);
  state.tracing = true;
  TraceRearmOpen();
  return kHostSuccess;
}

const char16_t* TextForErrorCode(HostResultCode code) {
  LibraryState& state = Library();
  OpenTraceForCall();
  TraceInfo("Enter oem_text_for_error_code:\n");

  const char* text = HostResultTextOf(code);
  std::u16string wide;
  Utf8ToUtf16(text != nullptr ? text : kUnsupportedErrorCodeText, wide);
  // The buffer always keeps its end mark.
  size_t units = std::min(wide.size(), state.resultText.size() - 1);
  std::copy_n(wide.begin(), units, state.resultText.begin());
  state.resultText[units] = u'\0';

  TraceInfo("Leave oem_text_for_error_code:\n");
  TraceClose();
  return state.resultText.data();
}

}  // namespace skyfw
