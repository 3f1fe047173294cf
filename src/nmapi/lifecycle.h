// Internal steps of starting and stopping the library.
#pragma once

#include "base/nmapi_result.h"

namespace skyfw {

// Creates the instance mutex, owned by the caller: 0, or 19 when it exists
// already or cannot be created (logged; the start goes on).
NmapiResult ngNmapiInitializeEx();

// Builds the adapter list (library lock held): the result of ReadConfig;
// on failure the nodes already built are freed.
NmapiResult InitInternalData();

// Frees every node, closing a device handle a diagnostic session left open.
void FreeInternalData();

}  // namespace skyfw
