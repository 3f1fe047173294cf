// What the adapter's driver management classes tell about an adapter: its
// base addresses and chip identity (root\wmi) and its SR-IOV settings
// (root\standardcimv2).
#pragma once

#include <cstdint>

#include "nmapi/adapter_node.h"
#include "base/nmapi_result.h"
#include "nvm/chip_registers.h"

namespace skyfw {

// Number, revision and metal combined, in 32 bits, on the full values.
uint32_t ChipId(uint32_t number, uint32_t revision, uint32_t metal);

// bar[0..3] from the base address registers; a failed read stores 0.
void ReadBaseAddresses(AdapterNode& node);

// chipId: 0, 5 (no node or not the current driver) or 43 (a register read
// failed; chipId unchanged).
NmapiResult VeloGetChipInfo(AdapterNode* node);

// sriovState, numVfs, numAllocatedVfs: 0, 5 or 43. Once determined, the
// state is kept for the life of the node.
NmapiResult GetSriovInfo(AdapterNode* node);

}  // namespace skyfw
