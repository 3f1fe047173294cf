// The adapter management library: the interface the rest of the plug-in
// uses. Every function returns an NMAPI result code (nmapi_result.h).
//
// A host call starts the library with ngNmapiInitialize(216, 0, 41), lists
// the adapters and stops it with ngNmapiUninitialize(). Records handed out
// are copies, refreshed from the driver and the network stack at hand-out.
#pragma once

#include <cstdint>

#include "nmapi/adapter_info.h"
#include "base/nmapi_result.h"

namespace skyfw {

// The version words the library accepts.
inline constexpr uint32_t kNmapiVersionA = 216;
inline constexpr uint32_t kNmapiVersionB = 0;
inline constexpr uint32_t kNmapiVersionC = 41;

NmapiResult ngNmapiInitialize(uint32_t a, uint32_t b, uint32_t c);
NmapiResult ngNmapiUninitialize();

NmapiResult ngNmapiGetNumPhyNic(uint32_t* count);
// Fills at most `count` records of `array`, one per adapter in list order.
NmapiResult ngNmapiGetAllPhyNic(AdapterInfo* array, uint32_t count);
NmapiResult ngNmapiGetPhyNic(uint32_t handle, AdapterInfo* record);

// A diagnostic session: exclusive use of one adapter across processes.
NmapiResult ngNmapiInitDiag(uint32_t handle);
NmapiResult ngNmapiUnInitDiag(uint32_t handle);

}  // namespace skyfw
