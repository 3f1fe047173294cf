// The work behind the exported oem_ functions (the plug-in's exports only
// forward here, so tests can call the same code without loading the plug-in).
#pragma once

#include <cstdint>

#include "host/result_codes.h"

namespace skyfw {

// oem_get_debug_info: records the trace-log path and switches tracing on.
HostResultCode GetDebugInfo(const char16_t* trace_path);

// oem_text_for_error_code: the code's text in the library's result buffer.
const char16_t* TextForErrorCode(HostResultCode code);

}  // namespace skyfw
