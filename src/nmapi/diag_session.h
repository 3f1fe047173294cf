// Diagnostic sessions: one process's exclusive use of one adapter, held by a
// machine-wide named mutex and an open handle to the adapter's NDIS device.
#pragma once

#include <string>

#include "nmapi/adapter_node.h"
#include "base/nmapi_result.h"

namespace skyfw {

inline constexpr uint32_t kInitDiagTries = 20;
inline constexpr uint32_t kInitDiagRetryMs = 10;

// "Global\\{FBCBECF0-...}" followed by interfaceId without a leading "\\?\".
std::string DiagnosticLockName(const AdapterNode& node);

// With the library lock held: 0, 13 (device node not usable, or the device
// would not open) or 24 (the lock is held elsewhere or cannot be created).
NmapiResult InitDiag(AdapterNode& node);
NmapiResult UnInitDiag(AdapterNode& node);

// Whether the adapter's device node is started and not disabled.
bool IsNICEnabled(const AdapterNode& node);

}  // namespace skyfw
